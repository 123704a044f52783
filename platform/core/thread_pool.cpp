#include "platform/core/thread_pool.h"

#include <algorithm>

namespace varlo {

namespace {

// A run hands out loops a few times a step, often tens of microseconds apart, and a thread put to
// sleep takes about as long again to wake. So a thread that waits (a worker for the next job, the
// caller for the last parts) first stays awake for some 4,000 pauses (about 0.1 ms), unless the
// pool has more threads than the machine has cores, where a spinning thread would hold up one that
// has work.
constexpr int kAwakeSpins = 4000;

int AwakeSpins(int threads) {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores != 0 && static_cast<unsigned>(threads) <= cores ? kAwakeSpins : 0;
}

// Spins while waiting(), at most spins times.
template <class Waiting>
void SpinWhile(int spins, Waiting&& waiting) {
  for (int i = 0; i < spins && waiting(); ++i) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
  }
}

}  // namespace

CThreadPool::CThreadPool(int threads) : awakeSpins_(AwakeSpins(threads)) {
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

void CThreadPool::Work(std::uint64_t generation) {
  for (;;) {
    std::uint64_t claim = claim_.load(std::memory_order_acquire);
    if ((claim >> 32) != (generation & 0xFFFFFFFFu)) return;
    const size_t p = static_cast<size_t>(claim & 0xFFFFFFFFu);
    if (p >= partCount_.load(std::memory_order_relaxed)) return;
    if (!claim_.compare_exchange_weak(claim, claim + 1, std::memory_order_acq_rel)) continue;
    if (!failed_.load(std::memory_order_relaxed)) {
      try {
        (*job_)(p);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(errorMutex_);
        if (!error_) error_ = std::current_exception();
        failed_.store(true, std::memory_order_relaxed);
      }
    }
    if (partsDone_.fetch_add(1, std::memory_order_acq_rel) + 1 ==
        partCount_.load(std::memory_order_relaxed)) {
      partsDone_.notify_all();
    }
  }
}

void CThreadPool::WorkerLoop() {
  std::uint64_t seen = 0;
  for (;;) {
    SpinWhile(awakeSpins_, [&] { return generation_.load(std::memory_order_acquire) == seen; });
    generation_.wait(seen, std::memory_order_acquire);
    seen = generation_.load(std::memory_order_acquire);
    if (stopping_.load()) return;
    Work(seen);
  }
}

void CThreadPool::Run(size_t parts, const std::function<void(size_t)>& part) {
  if (parts == 0) return;
  if (workers_.empty() || parts == 1) {
    for (size_t p = 0; p < parts; ++p) part(p);
    return;
  }
  const std::uint64_t generation = generation_.load(std::memory_order_relaxed) + 1;
  // Close the claims first (a worker still looking at the last job fails its exchange), then set
  // the new job up, then open its parts.
  claim_.store(((generation & 0xFFFFFFFFu) << 32) | 0xFFFFFFFFu, std::memory_order_release);
  job_ = &part;
  partCount_.store(parts, std::memory_order_relaxed);
  partsDone_.store(0, std::memory_order_relaxed);
  failed_.store(false, std::memory_order_relaxed);
  error_ = nullptr;
  claim_.store((generation & 0xFFFFFFFFu) << 32, std::memory_order_release);
  generation_.store(generation, std::memory_order_release);
  generation_.notify_all();
  // The caller works too, and waits only for parts that others have started: a worker the
  // system has not woken yet holds nothing up.
  Work(generation);
  SpinWhile(awakeSpins_, [&] { return partsDone_.load(std::memory_order_acquire) != parts; });
  for (size_t done = partsDone_.load(std::memory_order_acquire); done != parts;
       done = partsDone_.load(std::memory_order_acquire)) {
    partsDone_.wait(done, std::memory_order_acquire);
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
