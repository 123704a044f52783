#include "platform/core/thread_pool.h"

#include <algorithm>

namespace varlo {

CThreadPool::CThreadPool(int threads) {
  const int workers = std::max(threads, 1) - 1;
  workers_.reserve(static_cast<size_t>(workers));
  for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

CThreadPool::~CThreadPool() {
  stopping_.store(true);
  generation_.fetch_add(1);
  generation_.notify_all();
  for (std::thread& w : workers_) w.join();
}

void CThreadPool::Work() {
  const std::function<void(size_t)>& part = *job_;
  for (;;) {
    const size_t p = nextPart_.fetch_add(1, std::memory_order_relaxed);
    if (p >= partCount_) return;
    if (failed_.load(std::memory_order_relaxed)) continue;
    try {
      part(p);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(errorMutex_);
      if (!error_) error_ = std::current_exception();
      failed_.store(true, std::memory_order_relaxed);
    }
  }
}

void CThreadPool::WorkerLoop() {
  std::uint64_t seen = 0;
  for (;;) {
    generation_.wait(seen, std::memory_order_acquire);
    seen = generation_.load(std::memory_order_acquire);
    if (stopping_.load()) return;
    Work();
    if (busyWorkers_.fetch_sub(1, std::memory_order_acq_rel) == 1) busyWorkers_.notify_one();
  }
}

void CThreadPool::Run(size_t parts, const std::function<void(size_t)>& part) {
  if (parts == 0) return;
  if (workers_.empty() || parts == 1) {
    for (size_t p = 0; p < parts; ++p) part(p);
    return;
  }
  job_ = &part;
  partCount_ = parts;
  nextPart_.store(0, std::memory_order_relaxed);
  failed_.store(false, std::memory_order_relaxed);
  error_ = nullptr;
  busyWorkers_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
  generation_.fetch_add(1, std::memory_order_release);
  generation_.notify_all();
  Work();
  for (int busy = busyWorkers_.load(std::memory_order_acquire); busy != 0;
       busy = busyWorkers_.load(std::memory_order_acquire)) {
    busyWorkers_.wait(busy, std::memory_order_acquire);
  }
  job_ = nullptr;
  if (error_) std::rethrow_exception(error_);
}

namespace {

std::mutex gPoolMutex;
int gWorkerThreads = 0;
std::shared_ptr<CThreadPool> gPool;

}  // namespace

void SetWorkerThreads(int threads) {
  const std::lock_guard<std::mutex> lock(gPoolMutex);
  gWorkerThreads = std::max(threads, 0);
}

int GetWorkerThreads() {
  const std::lock_guard<std::mutex> lock(gPoolMutex);
  return gWorkerThreads;
}

namespace {

int Effective(int setting) {
  if (setting > 0) return setting;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

}  // namespace

int EffectiveWorkerThreads() {
  return Effective(GetWorkerThreads());
}

std::shared_ptr<CThreadPool> SharedThreadPool() {
  const std::lock_guard<std::mutex> lock(gPoolMutex);
  const int threads = Effective(gWorkerThreads);
  // A pool still held by a run keeps working for it; the next caller gets a new one.
  if (!gPool || gPool->GetThreadCount() != threads || gPool.use_count() > 1) {
    gPool = std::make_shared<CThreadPool>(threads);
  }
  return gPool;
}

}  // namespace varlo
