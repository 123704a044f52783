// A small pool of worker threads for the data-parallel loops of the runs and the route computation.
//
// Work is handed out as numbered parts; each part writes only what belongs to it, so which thread
// runs a part never changes a result. Callers split their loops into parts that do not depend on
// the thread count either (fixed ranges, or one part per item), and combine per-part values in part
// order. That keeps every number the same for 1 and N threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace varlo {

class CThreadPool {
 public:
  // A pool of threads in all, the calling thread included (threads - 1 workers are started).
  explicit CThreadPool(int threads);
  ~CThreadPool();
  CThreadPool(const CThreadPool&) = delete;
  CThreadPool& operator=(const CThreadPool&) = delete;

  int GetThreadCount() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls part(p) for every p in [0, parts) on the pool's threads and the caller, and returns when
  // all have finished. The first exception a part throws is rethrown here once every part is done
  // (parts not yet started when it was thrown are skipped). Not reentrant: part must not call Run.
  void Run(size_t parts, const std::function<void(size_t)>& part);

  // Runs body(begin, end) over [0, count) cut into ranges of grain items (the last one shorter);
  // the cut depends only on count and grain, also when the caller runs every range itself, as it
  // does when there are fewer than partsWorthSharing ranges.
  template <class Body>
  void ForRanges(size_t count, size_t grain, Body&& body, size_t partsWorthSharing = 2) {
    if (count == 0) return;
    if (grain == 0) grain = 1;
    const size_t parts = (count + grain - 1) / grain;
    if (parts < partsWorthSharing || parts == 1 || workers_.empty()) {
      for (size_t begin = 0; begin < count; begin += grain)
        body(begin, begin + grain < count ? begin + grain : count);
      return;
    }
    Run(parts, [&](size_t p) {
      const size_t begin = p * grain;
      const size_t end = begin + grain < count ? begin + grain : count;
      body(begin, end);
    });
  }

 private:
  void WorkerLoop();
  void Work(std::uint64_t generation);

  const int awakeSpins_;  // see AwakeSpins
  std::vector<std::thread> workers_;
  const std::function<void(size_t)>* job_ = nullptr;
  std::atomic<size_t> partCount_{0};
  // The job being handed out: its generation in the high 32 bits, the next part in the low ones.
  // A worker that wakes late for a finished job cannot claim a part of the next one.
  std::atomic<std::uint64_t> claim_{0};
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<size_t> partsDone_{0};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::mutex errorMutex_;
  std::exception_ptr error_;
};

// The program-wide number of threads the runs use: 0 (the default) means every core.
void SetWorkerThreads(int threads);
int GetWorkerThreads();
// The number of threads that setting stands for (at least 1).
int EffectiveWorkerThreads();
// The pool sized to the program-wide setting, made again when the setting has changed. Use it
// from one thread at a time (a run, a route computation).
std::shared_ptr<CThreadPool> SharedThreadPool();

}  // namespace varlo
