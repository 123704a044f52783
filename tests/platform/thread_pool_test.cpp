#include "platform/core/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace varlo {
namespace {

TEST(ThreadPool, RunsEveryPartOnceAndCutsRangesIndependentlyOfTheThreads) {
  for (const int threads : {1, 2, 7}) {
    CThreadPool pool(threads);
    for (int round = 0; round < 50; ++round) {
      std::vector<std::atomic<int>> calls(1000);
      pool.Run(calls.size(), [&](size_t p) { calls[p].fetch_add(1); });
      for (const auto& c : calls) ASSERT_EQ(c.load(), 1) << threads << " threads";
    }
    // 10 items in ranges of 3: [0,3) [3,6) [6,9) [9,10), whatever the pool size.
    std::vector<std::pair<size_t, size_t>> ranges(4);
    std::atomic<int> count{0};
    pool.ForRanges(10, 3, [&](size_t begin, size_t end) {
      ranges[begin / 3] = {begin, end};
      count.fetch_add(1);
    });
    EXPECT_EQ(count.load(), 4);
    EXPECT_EQ(ranges, (std::vector<std::pair<size_t, size_t>>{{0, 3}, {3, 6}, {6, 9}, {9, 10}}));
  }
}

TEST(ThreadPool, RethrowsTheFailureOfAPartAndStaysUsable) {
  CThreadPool pool(3);
  EXPECT_THROW(pool.Run(64,
                        [](size_t p) {
                          if (p == 17) throw std::runtime_error("part 17");
                        }),
               std::runtime_error);
  std::atomic<int> sum{0};
  pool.Run(10, [&](size_t p) { sum.fetch_add(static_cast<int>(p)); });
  EXPECT_EQ(sum.load(), 45);
}

TEST(ThreadPool, SharedPoolFollowsTheProgramWideSetting) {
  const int saved = GetWorkerThreads();
  SetWorkerThreads(3);
  EXPECT_EQ(SharedThreadPool()->GetThreadCount(), 3);
  {
    // A pool a run still holds is not taken by the next caller.
    const auto held = SharedThreadPool();
    EXPECT_NE(SharedThreadPool().get(), held.get());
  }
  SetWorkerThreads(0);
  EXPECT_GE(EffectiveWorkerThreads(), 1);
  EXPECT_EQ(SharedThreadPool()->GetThreadCount(), EffectiveWorkerThreads());
  SetWorkerThreads(saved);
}

}  // namespace
}  // namespace varlo
