#include "editor/TileRenderer.h"

#include <algorithm>
#include <new>

TTileRenderer::TTileRenderer(int threads, TDeliver deliver) : deliver_(std::move(deliver)) {
    for (int i = 0; i < std::max(1, threads); ++i) workers_.emplace_back([this] { Work(); });
}

TTileRenderer::~TTileRenderer() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

int TTileRenderer::DefaultThreads() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
}

void TTileRenderer::Request(TTileJob job) {
    {
        const std::lock_guard lock(mutex_);
        for (const TTileJob& r : running_)
            if (SameTile(r, job)) return;
        for (TTileJob& q : queue_)
            if (SameTile(q, job)) {
                q.Order = job.Order;
                return;
            }
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void TTileRenderer::DropQueued() {
    const std::lock_guard lock(mutex_);
    queue_.clear();
}

void TTileRenderer::Pause() {
    std::unique_lock lock(mutex_);
    ++pauses_;
    queue_.clear();
    idle_.wait(lock, [this] { return running_.empty(); });
}

void TTileRenderer::Resume() {
    {
        const std::lock_guard lock(mutex_);
        if (pauses_ > 0) --pauses_;
    }
    wake_.notify_all();
}

bool TTileRenderer::Busy() const {
    const std::lock_guard lock(mutex_);
    return !queue_.empty() || !running_.empty();
}

void TTileRenderer::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || (pauses_ == 0 && !queue_.empty()); });
        if (stopping_) return;
        const auto next = std::min_element(queue_.begin(), queue_.end(),
                                           [](const TTileJob& a, const TTileJob& b) { return a.Order < b.Order; });
        running_.push_back(std::move(*next));
        queue_.erase(next);
        const TTileJob job = running_.back();
        lock.unlock();
        std::shared_ptr<TPixelBuffer> tile;
        try {
            tile = std::make_shared<TPixelBuffer>(job.Width, job.Height);
            job.Plan->Render(*job.Source, job.Left, job.Top, *tile);
        } catch (const std::exception&) {
            tile.reset();
        }
        deliver_(job, std::move(tile));
        lock.lock();
        running_.erase(
            std::find_if(running_.begin(), running_.end(), [&job](const TTileJob& r) { return SameTile(r, job); }));
        if (running_.empty()) idle_.notify_all();
    }
}
