#include "core/TestPictures.h"
#include "editor/TileRenderer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The workers' contract with the window: tiles arrive as the plan computes them, and between
// Pause and Resume no worker touches the picture, so that a command may change or free it.
TEST(TileRenderer, DeliversExactTilesAndReadsNothingWhilePaused) {
    const auto picture = NoisePicture(300, 200, 3);
    const auto plan = std::shared_ptr<const TResamplePlan>(TResamplePlan::Create(300, 200, 1200, 800, SplineFilter, 2));
    std::mutex mutex;
    std::vector<std::pair<TTileJob, std::shared_ptr<const TPixelBuffer>>> delivered;
    TTileRenderer renderer(2, [&](const TTileJob& job, std::shared_ptr<const TPixelBuffer> tile) {
        const std::lock_guard lock(mutex);
        delivered.emplace_back(job, std::move(tile));
    });
    const auto count = [&] {
        const std::lock_guard lock(mutex);
        return delivered.size();
    };
    const auto request = [&](std::uint64_t generation, int column, int row) {
        renderer.Request(
            TTileJob{generation, {32, column, row}, column * 100, row * 100, 100, 100, row, plan, picture.get()});
    };
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < 12; ++column) request(1, column, row);
    renderer.Pause();
    const std::size_t atPause = count();
    EXPECT_FALSE(renderer.Busy());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Asked for while paused: waits for Resume.
    request(2, 0, 0);
    request(2, 11, 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(count(), atPause);
    renderer.Resume();
    for (int i = 0; i < 2000 && renderer.Busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(count(), atPause + 2);

    const std::lock_guard lock(mutex);
    for (const auto& [job, tile] : delivered) {
        ASSERT_NE(tile, nullptr);
        TPixelBuffer expected(job.Width, job.Height);
        plan->Render(*picture, job.Left, job.Top, expected);
        EXPECT_TRUE(SamePixels(*tile, expected)) << job.Key.Column << "," << job.Key.Row;
    }
    EXPECT_EQ(delivered.back().first.Generation, 2u);
}

}  // namespace
