// Worker threads that resample tiles of the zoomed view off the window's thread.
#pragma once

#include "core/Resample.h"
#include "editor/TileCache.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct TTileJob {
    std::uint64_t Generation;  // of the picture the tile shows
    TTileKey Key;
    int Left, Top, Width, Height;  // in the view at the tile's level
    long long Order;               // smaller runs first
    std::shared_ptr<const TResamplePlan> Plan;
    const TPixelBuffer* Source;  // not changed or freed while the renderer may read it (Pause)
};

class TTileRenderer {
public:
    // Called on a worker thread with each finished tile; a tile that could not be computed
    // (no memory) comes as null.
    using TDeliver = std::function<void(const TTileJob& job, std::shared_ptr<const TPixelBuffer> tile)>;

    TTileRenderer(int threads, TDeliver deliver);
    ~TTileRenderer();
    TTileRenderer(const TTileRenderer&) = delete;
    TTileRenderer& operator=(const TTileRenderer&) = delete;

    // One worker per processor core, at least one.
    static int DefaultThreads();

    // Queues the tile unless it is queued already (then it only takes the new order) or being
    // computed.
    void Request(TTileJob job);
    // Forgets every queued tile; tiles being computed still arrive.
    void DropQueued();
    // Drops the queue, waits for the tiles being computed and starts no other until Resume:
    // the source may then change or go.
    void Pause();
    void Resume();
    // Whether tiles are queued or being computed.
    bool Busy() const;

private:
    void Work();
    static bool SameTile(const TTileJob& a, const TTileJob& b) {
        return a.Generation == b.Generation && a.Key == b.Key;
    }

    TDeliver deliver_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::vector<TTileJob> queue_;
    std::vector<TTileJob> running_;
    int pauses_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
