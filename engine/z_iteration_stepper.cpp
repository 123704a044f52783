#include "engine/z_iteration_stepper.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "engine/dump_file.h"
#include "engine/refined_model.h"

namespace varlo {

namespace {

// Largest change of rho per step of the Z-iteration run at the current rates.
constexpr double kRhoChangePerStep = 0.05;
// Absolute tolerance per rho between one double step and two single steps.
constexpr double kAdaptiveTolerance = 0.00001;
// Below this half step (seconds) the adaptive integrator stops halving and takes the step, so
// that a queue whose rho cannot be followed does not hold the run forever.
constexpr double kSmallestHalfStep = 1e-12;
// A buffer of fewer than 100 packets that keeps receiving more than it serves has rho growing
// without bound in finite time (its N only approaches K), so the step 0.05/|d rho/dt| would shrink
// forever. At this rho the queue holds K - 1/rho packets or more: it counts as full, and a full
// queue does not fill further (its rho stays here while its derivative is positive). Kept low
// enough that rho^(K+1) stays finite for every K below 100.
constexpr double kFullSmallBufferRho = 100.0;
// The refined model's steps change rho by 0.05 up to this load and beyond it 100/rho by 0.05 (which
// moves as rho does at rho = 10; see StepLength): ten times the service rate fills every buffer but
// the largest within a few per cent of K.
constexpr double kRefinedRelativeStepRho = 10.0;
// The shortest step of the Z-iteration run, as a fraction of the running step: the last guard
// that every run reaches its total time.
constexpr double kSmallestStepFraction = 1e-6;

// The load at which the classic run holds a large buffer that fills without end: a link that sends
// nothing, or one offered more than 10^7 times what it sends. Above rho = 1 its rho grows as
// lambda rho, and the steps' tolerance, 10^-5 in rho, falls below the rounding of rho near 10^10:
// every step was refused down to the shortest half step, 10^-12 s, and the run never ended (a
// link of rate 0 and buffer 150 offered 100 packets/s, from its second second on). From
// rho = 2 10^6 on, N = K - 1 - 1/(rho - 1) and P = 1 - 1/rho read their limits to six decimals.
constexpr double kHeldLargeBufferRho = 1e7;

// The derivative at rho with utilisation U: the exact form for a small buffer (shortcut being
// SmallBufferShortcutFor(K)), the regime's branch for a large one; held at 0 while a full small
// buffer fills, and while a large one is at its held load.
[[gnu::always_inline]] inline double QueueSlope(double rho, double U, double K, double mu, double lambda,
                                                int regime, const SmallBufferShortcut& shortcut) {
  if (!IsLargeBuffer(K)) {
    const double d = SmallBufferDerivative(rho, U, K, mu, lambda, shortcut);
    return d > 0 && rho >= kFullSmallBufferRho ? 0 : d;
  }
  const double d = ClipToRegime(LargeBufferSlope(rho, U, mu, lambda), regime);
  return d > 0 && rho >= kHeldLargeBufferRho ? 0 : d;
}

// A large buffer's rho after a step, as the run holds it: no further than its held load, where its
// slope is 0. (A step that crossed it and went on ended beyond it, where the step of two halves
// ended at it: such steps were refused down to the shortest.)
inline double HeldLargeBufferRho(double r) { return r > kHeldLargeBufferRho ? kHeldLargeBufferRho : r; }

// A small buffer's rho as the run holds it: a full small buffer does not fill further.
inline double HeldSmallBufferRho(double r) {
  return r > kFullSmallBufferRho ? kFullSmallBufferRho : r;
}

}  // namespace

void CZIterationStepper::Build() {
  arrays_.Build();
  const size_t n = setup_.queues.size();
  rho_.resize(n);
  regime_.resize(n);
  previousLambda_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const C_MM1K_Queue& q = *setup_.queues[i];
    rho_[i] = q.rho;
    regime_[i] = q.regime;
    previousLambda_[i] = q.previousArrivalRate;
  }
  for (auto* v : {&y_, &big_, &half_, &two_, &first_}) v->assign(n, 0.0);
  firstKnown_.assign(n, 0);
  shortcuts_.resize(n);
  for (size_t i = 0; i < n; ++i) shortcuts_[i] = SmallBufferShortcutFor(arrays_.bufferSizes[i]);
  stepLengthSlopes_ = false;
  refinedMetrics_.resize(setup_.refined ? n : 0);
  refinedBursts_.assign(refinedMetrics_.size(), 1.0);
  refinedBuffers_.assign(arrays_.bufferSizes.begin(), arrays_.bufferSizes.begin() + refinedMetrics_.size());
  for (size_t i = 0; i < refinedMetrics_.size(); ++i) refinedMetrics_[i] = MM1KClosedForm(rho_[i], arrays_.bufferSizes[i]);
  refinedShown_ = refinedMetrics_;
  partMaximum_.assign(arrays_.QueueParts(), 0.0);
}

void CZIterationStepper::StartRegimes() {
  if (setup_.refined) return;
  for (size_t i = 0; i < rho_.size(); ++i) {
    const CPathArrays::QueueState& q = arrays_.queues[i];
    if (!HasRegimes(arrays_.bufferSizes[i])) continue;
    const double slope = LargeBufferSlope(rho_[i], q.U, q.mu, q.lambda);
    const double previous = previousLambda_[i];
    previousLambda_[i] = q.lambda;
    regime_[i] = NextRegime(regime_[i], slope, rho_[i], q.mu, q.lambda, previous);
  }
}

double CZIterationStepper::StepLength(double time, double runningStep) {
  arrays_.ForQueues([this](size_t begin, size_t end) {
    double m = 0;
    for (size_t i = begin; i < end; ++i) {
      const CPathArrays::QueueState& q = arrays_.queues[i];
      // The queue's metrics describe its rho at this time.
      double d;
      if (setup_.refined) {
        // Far above rho = 1 the step follows 100/rho instead of rho: a heavily overloaded buffer's rho
        // grows without bound (e-fold in the time its arrivals take to fill the buffer once) while
        // its N, P and U have long reached their limits, and steps of 0.05 in rho would never get it
        // there.
        const double r = rho_[i] > kRefinedRelativeStepRho ? rho_[i] / kRefinedRelativeStepRho : 1.0;
        d = RefinedRhoRate(refinedMetrics_[i], rho_[i], q.lambda, q.mu) / (r * r);
        // A queue at the heaviest load that its step holds it to (RefinedDiscreteStep) fills no
        // further, however much more it is offered: its rising rho does not set the step either.
        // (Offered 10^13 packets/s, a link's rho rate stayed near 10^6 at that load, and the run
        // took its shortest step for ever.)
        if (d > 0.0 && rho_[i] >= kHeaviestLoad) d = 0.0;
        // A queue held by its TCP classes' windows takes the loop's state at each step: its rho does
        // not relax towards lambda / mu, and does not set the step.
        if (!setup_.closedSojourns.empty() && setup_.closedSojourns[i] >= 0.0) d = 0.0;
      } else {
        d = QueueSlope(rho_[i], q.U, arrays_.bufferSizes[i], q.mu, q.lambda, regime_[i], shortcuts_[i]);
        // The first pair of the step starts at rho with the utilisation of rho (which the metrics'
        // U is, but for values a run was started from).
        first_[i] = d;
        firstKnown_[i] = q.U == ClosedFormUtilisation(rho_[i]) ? 1 : 0;
      }
      d = std::fabs(d);
      if (m < d) m = d;
    }
    partMaximum_[CPathArrays::QueuePart(begin)] = m;
  });
  double m = 0;
  for (const double d : partMaximum_) {
    if (m < d) m = d;
  }
  stepLengthSlopes_ = !setup_.refined;
  double h = kRhoChangePerStep / m;
  if (h >= runningStep) h = runningStep;
  const double smallest = runningStep * kSmallestStepFraction;
  if (!(h >= smallest) || time + h == time) h = smallest;
  return h;
}

// One classical fourth-order Runge-Kutta step of length h from in, for a queue whose derivative at
// rho is slopeAt(rho) (first, its derivative at in); clamp holds the stages and the result where
// the run holds rho.
template <class SlopeAt, class Clamp>
inline double RungeKutta4(double in, double h, double first, SlopeAt&& slopeAt, Clamp&& clamp) {
  // A queue at rest (a derivative of exactly 0, as a large buffer held by its regime often has)
  // stays where it is: every stage is in itself, and so is the result (bit for bit, as in is not
  // -0, which the sums below would turn into +0).
  if (first == 0 && in >= 0 && !std::signbit(in) && clamp(in) == in) return in;
  const double w[5] = {h / 2, h / 2, h, h, h / 2};
  double out = in;
  double stage = in;
  for (int k = 0; k < 4; ++k) {
    const double slope = k == 0 ? first : slopeAt(stage);
    const double s = in + w[k] * slope;
    stage = clamp(s < 0 ? 0 : s);
    const double o = out + w[k + 1] * slope / 3;
    out = clamp(o < 0 ? 0 : o);
  }
  return out;
}

// RungeKutta4 for N lanes at once: lane l steps from in[l] over h[l], first[l] being its
// derivative there and slopeAt(l, rho) its derivative at rho. Each lane's result is that of
// RungeKutta4 alone (the same operations in the same order, its test for a queue at rest
// included); the lanes' chains of derivatives, each waiting on its own last stage, overlap in the
// processor.
template <int N, class SlopeAt, class Clamp>
inline void RungeKutta4Lanes(const double (&in)[N], const double (&h)[N], const double (&first)[N],
                             SlopeAt&& slopeAt, Clamp&& clamp, double (&result)[N]) {
  bool atRest[N];
  double w[N][5];
  double out[N];
  double stage[N];
  for (int l = 0; l < N; ++l) {
    atRest[l] = first[l] == 0 && in[l] >= 0 && !std::signbit(in[l]) && clamp(in[l]) == in[l];
    const double wl[5] = {h[l] / 2, h[l] / 2, h[l], h[l], h[l] / 2};
    std::copy(wl, wl + 5, w[l]);
    out[l] = in[l];
    stage[l] = in[l];
  }
  for (int k = 0; k < 4; ++k) {
    double slope[N];
    for (int l = 0; l < N; ++l) slope[l] = atRest[l] ? 0.0 : k == 0 ? first[l] : slopeAt(l, stage[l]);
    for (int l = 0; l < N; ++l) {
      if (atRest[l]) continue;
      const double s = in[l] + w[l][k] * slope[l];
      stage[l] = clamp(s < 0 ? 0 : s);
      const double o = out[l] + w[l][k + 1] * slope[l] / 3;
      out[l] = clamp(o < 0 ? 0 : o);
    }
  }
  for (int l = 0; l < N; ++l) result[l] = out[l];
}

// A queue's Runge-Kutta steps: step(in, h, first) with first its derivative slope(in) at in, which
// steps of different lengths from the same point share.
template <class SlopeAt, class Clamp>
struct QueueRungeKutta {
  SlopeAt slope;
  Clamp clamp;
  double step(double in, double h, double first) const { return RungeKutta4(in, h, first, slope, clamp); }
};
template <class SlopeAt, class Clamp>
QueueRungeKutta(SlopeAt, Clamp) -> QueueRungeKutta<SlopeAt, Clamp>;

template <class Body>
inline void CZIterationStepper::WithRungeKutta(size_t i, Body&& body) const {
  const double K = arrays_.bufferSizes[i];
  const double mu = arrays_.queues[i].mu;
  const double lambda = arrays_.queues[i].lambda;
  const auto unclamped = [](double r) { return r; };
  if (setup_.refined) {
    body(QueueRungeKutta{[&](double r) { return RefinedRhoRate(r, lambda, mu, K); }, unclamped});
  } else if (IsLargeBuffer(K)) {
    const int regime = regime_[i];
    body(QueueRungeKutta{
        [&](double r) { return QueueSlope(r, ClosedFormUtilisation(r), K, mu, lambda, regime, {}); },
        unclamped});
  } else {
    const SmallBufferShortcut& shortcut = shortcuts_[i];
    body(QueueRungeKutta{
        [&](double r) { return QueueSlope(r, ClosedFormUtilisation(r), K, mu, lambda, 0, shortcut); },
        HeldSmallBufferRho});
  }
}

double CZIterationStepper::RungeKuttaEntry(size_t i, double in, double h) const {
  double out = 0;
  WithRungeKutta(i, [&](const auto& rk) { out = rk.step(in, h, rk.slope(in)); });
  return setup_.refined || !IsLargeBuffer(arrays_.bufferSizes[i]) ? out : HeldLargeBufferRho(out);
}

void CZIterationStepper::RungeKuttaStep(double /*time*/, const double* in, double h, double* out) {
  arrays_.ForQueuesCostly([&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) out[i] = RungeKuttaEntry(i, in[i], h);
  });
}

namespace {

// Runge-Kutta pairs of the classic model's moving large buffers, two queues at a time in the lanes
// of a vector (GCC and Clang vector extensions). A queue's chain of stages waits on its own
// derivatives at each stage; two queues side by side, their two steps from the same rho in the same
// loop and no branches let the chains overlap in the processor. Every lane does exactly what
// RungeKutta4 does with QueueSlope for its queue: the same operations in the same order, each choice
// made by selecting one of the values the scalar code would compute, so every result is the same to
// the bit (which the dump-equality tests check).
class LargeBufferPairs {
 public:
  static constexpr int kLanes = 2;
  using Lanes = double __attribute__((vector_size(kLanes * sizeof(double))));

  bool Full() const { return count_ == kLanes; }
  bool Empty() const { return count_ == 0; }
  void Add(size_t queue, double y, double first, double mu, double lambda, int regime) {
    queue_[count_] = queue;
    y_[count_] = y;
    first_[count_] = first;
    mu_[count_] = mu;
    lambda_[count_] = lambda;
    regime_[count_] = regime;
    ++count_;
  }
  // big (when fresh) := step of 2H from y, half := step of H from y, and (when withTwo) two :=
  // step of H from half; calls done(queue, lane) for each queue added, then starts afresh.
  template <class Done>
  void Run(double H, bool fresh, bool withTwo, Done&& done) {
    for (int l = count_; l < kLanes; ++l) {  // idle lanes repeat the first
      y_[l] = y_[0];
      first_[l] = first_[0];
      mu_[l] = mu_[0];
      lambda_[l] = lambda_[0];
      regime_[l] = regime_[0];
    }
    if (fresh) {
      // The two steps from y run side by side.
      Lanes out[2];
      Steps<2>({y_, y_}, {2 * H, H}, {first_, first_}, out);
      big_ = out[0];
      half_ = out[1];
    } else {
      Steps<1>({y_}, {H}, {first_}, &half_);
    }
    if (withTwo) {
      Lanes slope;
      Slopes(half_, slope);
      Steps<1>({half_}, {H}, {slope}, &two_);
    }
    for (int l = 0; l < count_; ++l) done(queue_[l], l);
    count_ = 0;
  }
  double big(int lane) const { return big_[lane]; }
  double half(int lane) const { return half_[lane]; }
  double two(int lane) const { return two_[lane]; }

 private:
  // QueueSlope(rho, ClosedFormUtilisation(rho), K, mu, lambda, regime) of a large buffer K.
  // (Vectors pass by reference: by value, their calling convention differs with the instruction set.)
  void Slopes(const Lanes& rho, Lanes& slope) const {
    const Lanes zero = {};
    const Lanes one = zero + 1.0;
    const Lanes twoRho = 2.0 * rho;
    const Lanes U = one < twoRho ? one : twoRho;  // std::min(2 rho, 1)
    const Lanes a = 1.0 - rho;
    const Lanes below = (lambda_ - mu_ * U) * (a * a);
    Lanes d = below;
    bool allBelow = true;
    for (int l = 0; l < kLanes; ++l) allBelow = allBelow && rho[l] < 1.0;
    if (!allBelow) d = rho < 1.0 ? below : (lambda_ - mu_ * rho) * (a * a) / rho;
    const auto held = (d < 0.0 && regime_ == 1.0) || (d > 0.0 && (regime_ == 2.0 || rho >= kHeldLargeBufferRho));
    slope = held ? zero : d;
  }
  // RungeKutta4 with the identity as clamp (a large buffer's rho is held only at the end of a step,
  // HeldLargeBufferRho), for C steps at once (from in[c] over h[c] with first[c] the derivative at
  // in[c]).
  template <int C>
  void Steps(const Lanes (&in)[C], const double (&h)[C], const Lanes (&first)[C], Lanes* result) const {
    const Lanes zero = {};
    const Lanes held = zero + kHeldLargeBufferRho;
    Lanes out[C];
    Lanes stage[C];
    Lanes slope[C];
    double w[C][5];
    for (int c = 0; c < C; ++c) {
      const double wc[5] = {h[c] / 2, h[c] / 2, h[c], h[c], h[c] / 2};
      std::copy(wc, wc + 5, w[c]);
      out[c] = in[c];
      stage[c] = in[c];
      slope[c] = first[c];
    }
    for (int k = 0; k < 4; ++k) {
      for (int c = 0; c < C; ++c) {
        if (k > 0) Slopes(stage[c], slope[c]);
        const Lanes s = in[c] + w[c][k] * slope[c];
        stage[c] = s < 0.0 ? zero : s;
        const Lanes o = out[c] + w[c][k + 1] * slope[c] / 3.0;
        out[c] = o < 0.0 ? zero : o;
      }
    }
    for (int c = 0; c < C; ++c) result[c] = out[c] > kHeldLargeBufferRho ? held : out[c];
  }

  int count_ = 0;
  size_t queue_[kLanes] = {};
  Lanes y_ = {}, first_ = {}, mu_ = {}, lambda_ = {}, regime_ = {};
  Lanes big_ = {}, half_ = {}, two_ = {};
};

// Runge-Kutta pairs of the classic model's moving small buffers, three queues at a time: the
// steps of 2H and H of all of them side by side, then their second steps of H. Each lane does
// exactly what RungeKutta4 does with QueueSlope for its queue, so every result is the same to the
// bit; a derivative is two pow() calls, and the lanes' chains of them overlap in the processor.
class SmallBufferPairs {
 public:
  static constexpr int kQueues = 3;

  bool Full() const { return count_ == kQueues; }
  bool Empty() const { return count_ == 0; }
  void Add(size_t queue, double y, double first, double K, const SmallBufferShortcut& shortcut, double mu,
           double lambda) {
    queue_[count_] = queue;
    y_[count_] = y;
    first_[count_] = first;
    K_[count_] = K;
    shortcut_[count_] = shortcut;
    mu_[count_] = mu;
    lambda_[count_] = lambda;
    ++count_;
  }
  // big (when fresh) := step of 2H from y, half := step of H from y, and (when withTwo) two :=
  // step of H from half; calls done(queue, lane) for each queue added, then starts afresh.
  template <class Done>
  void Run(double H, bool fresh, bool withTwo, Done&& done) {
    static_assert(kQueues == 3);
    if (count_ == 3) {
      Steps<3>(H, fresh, withTwo);
    } else if (count_ == 2) {
      Steps<2>(H, fresh, withTwo);
    } else if (count_ == 1) {
      Steps<1>(H, fresh, withTwo);
    }
    for (int q = 0; q < count_; ++q) done(queue_[q], q);
    count_ = 0;
  }
  double big(int q) const { return big_[q]; }
  double half(int q) const { return half_[q]; }
  double two(int q) const { return two_[q]; }

 private:
  [[gnu::always_inline]] double SlopeAt(int q, double r) const {
    return QueueSlope(r, ClosedFormUtilisation(r), K_[q], mu_[q], lambda_[q], 0, shortcut_[q]);
  }
  // The steps of the first C queues.
  template <int C>
  void Steps(double H, bool fresh, bool withTwo) {
    const auto slopeAt = [this](int q, double r) { return SlopeAt(q, r); };
    double y[C], first[C], h[C], half[C];
    for (int q = 0; q < C; ++q) {
      y[q] = y_[q];
      first[q] = first_[q];
      h[q] = H;
    }
    if (fresh) {
      // Lanes 2q and 2q + 1: queue q's steps of 2H and of H.
      double in[2 * C], lengths[2 * C], firsts[2 * C], out[2 * C];
      for (int q = 0; q < C; ++q) {
        in[2 * q] = in[2 * q + 1] = y[q];
        lengths[2 * q] = 2 * H;
        lengths[2 * q + 1] = H;
        firsts[2 * q] = firsts[2 * q + 1] = first[q];
      }
      RungeKutta4Lanes<2 * C>(
          in, lengths, firsts, [&](int lane, double r) { return SlopeAt(lane / 2, r); }, HeldSmallBufferRho,
          out);
      for (int q = 0; q < C; ++q) {
        big_[q] = out[2 * q];
        half[q] = out[2 * q + 1];
      }
    } else {
      RungeKutta4Lanes<C>(y, h, first, slopeAt, HeldSmallBufferRho, half);
    }
    for (int q = 0; q < C; ++q) half_[q] = half[q];
    if (withTwo) {
      double slopes[C], two[C];
      for (int q = 0; q < C; ++q) slopes[q] = SlopeAt(q, half[q]);
      RungeKutta4Lanes<C>(half, h, slopes, slopeAt, HeldSmallBufferRho, two);
      for (int q = 0; q < C; ++q) two_[q] = two[q];
    }
  }

  int count_ = 0;
  size_t queue_[kQueues] = {};
  double y_[kQueues] = {}, first_[kQueues] = {}, K_[kQueues] = {};
  SmallBufferShortcut shortcut_[kQueues] = {};
  double mu_[kQueues] = {}, lambda_[kQueues] = {};
  double big_[kQueues] = {}, half_[kQueues] = {}, two_[kQueues] = {};
};

}  // namespace

bool CZIterationStepper::TryPair(double H, bool fresh, bool rejectionHalves) {
  // Which queues skip their second single step depends on the threads' timing, but only the
  // verdict and the half steps are read after a rejection, and both are the same either way.
  std::atomic<bool> anyRejected{false};
  const auto pairs = [&](size_t begin, size_t end) {
    bool rejected = false;
    const auto isDecided = [&] { return rejectionHalves && (rejected || anyRejected.load(std::memory_order_relaxed)); };
    const auto check = [&](size_t i) {
      if (std::fabs(big_[i] - two_[i]) > kAdaptiveTolerance) {
        rejected = true;
        anyRejected.store(true, std::memory_order_relaxed);
      }
    };
    // Runs a batch of queues (large or small buffers) and takes its steps.
    const auto run = [&](auto& batch) {
      const bool decided = isDecided();
      batch.Run(H, fresh, !decided, [&](size_t i, int lane) {
        if (fresh) big_[i] = batch.big(lane);
        half_[i] = batch.half(lane);
        if (!decided) {
          two_[i] = batch.two(lane);
          check(i);
        }
      });
    };
    LargeBufferPairs large;
    SmallBufferPairs small;
    for (size_t i = begin; i < end; ++i) {
      WithRungeKutta(i, [&](const auto& rk) {
        if (firstKnown_[i] == 0) {
          first_[i] = rk.slope(y_[i]);
          firstKnown_[i] = 1;
        }
      });
      const double first = first_[i];
      const double y = y_[i];
      const double K = arrays_.bufferSizes[i];
      // A queue at rest (RungeKutta4's test; first is the derivative at y, so the half step's
      // derivative is first again) stays at y in all three steps.
      const bool atRest = first == 0 && y >= 0 && !std::signbit(y);
      if (atRest && (IsLargeBuffer(K) || !(y > kFullSmallBufferRho))) {
        if (fresh) big_[i] = y;
        half_[i] = y;
        two_[i] = y;
        continue;
      }
      // A queue that moves goes to the batch of its kind.
      const CPathArrays::QueueState& q = arrays_.queues[i];
      if (IsLargeBuffer(K)) {
        large.Add(i, y, first, q.mu, q.lambda, regime_[i]);
        if (large.Full()) run(large);
      } else {
        small.Add(i, y, first, K, shortcuts_[i], q.mu, q.lambda);
        if (small.Full()) run(small);
      }
    }
    if (!large.Empty()) run(large);
    if (!small.Empty()) run(small);
  };
  const size_t parts = pairCuts_.size() - 1;
  if (parts == 1) {
    pairs(pairCuts_[0], pairCuts_[1]);
  } else {
    setup_.pool->Run(parts, [&](size_t p) { pairs(pairCuts_[p], pairCuts_[p + 1]); });
  }
  return anyRejected.load(std::memory_order_relaxed);
}

void CZIterationStepper::CutPairs() {
  // Work in units of about 3 ns.
  constexpr std::uint64_t kMovingSmall = 150;
  constexpr std::uint64_t kMovingLarge = 10;
  constexpr std::uint64_t kResting = 1;
  // Pairs of less work than this (some 5 microseconds) stay on the calling thread; a part is at
  // most some 50 microseconds, so that a slow thread holds up the others little.
  constexpr std::uint64_t kWorthSharing = 1500;
  constexpr std::uint64_t kLargestPart = 15000;
  const size_t n = rho_.size();
  const auto cost = [this](size_t i) {
    if (firstKnown_[i] != 0 && first_[i] == 0) return kResting;
    return IsLargeBuffer(arrays_.bufferSizes[i]) ? kMovingLarge : kMovingSmall;
  };
  std::uint64_t total = 0;
  for (size_t i = 0; i < n; ++i) total += cost(i);
  const auto threads = static_cast<std::uint64_t>(setup_.pool->GetThreadCount());
  pairCuts_.assign(1, 0);
  if (threads > 1 && total >= kWorthSharing) {
    const std::uint64_t parts = std::max(2 * threads, (total + kLargestPart - 1) / kLargestPart);
    std::uint64_t sum = 0;
    std::uint64_t next = 1;
    for (size_t i = 0; i < n && next < parts; ++i) {
      sum += cost(i);
      if (sum * parts >= next * total) {
        pairCuts_.push_back(i + 1);
        ++next;
      }
    }
  }
  if (pairCuts_.size() == 1 || pairCuts_.back() != n) pairCuts_.push_back(n);
}

// The refined model moves each queue over the step with the same stable relaxation as its Compute
// Metrics step: a small buffer on a fast link relaxes within a fraction of a millisecond, far
// quicker than the run's step, where the Runge-Kutta pairs would be unstable.
void CZIterationStepper::RefinedAdvance(double h) {
  const bool loops = !setup_.closedLoads.empty();
  arrays_.ForQueuesCostly([&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      const CPathArrays::QueueState& q = arrays_.queues[i];
      double noLoop = -1.0;
      refinedShown_[i] = RefinedQueueStep(rho_[i], refinedMetrics_[i], q.lambda, q.mu, DataBufferOf(i), h,
                                          loops ? setup_.closedLoads[i] : ClosedLoopLoad{},
                                          loops ? setup_.closedSojourns[i] : noLoop,
                                          loops ? setup_.queueBursts[i] : 1.0, &refinedBursts_[i], &refinedBuffers_[i],
                                          loops ? &setup_.loopWindows[i] : nullptr)
                             .metrics;
    }
  });
}

void CZIterationStepper::AdaptiveStep(double t0, double tEnd) {
  if (setup_.refined) {
    RefinedAdvance(tEnd - t0);
    return;
  }
  const size_t n = rho_.size();
  for (size_t i = 0; i < n; ++i) y_[i] = rho_[i];
  if (!stepLengthSlopes_) std::fill(firstKnown_.begin(), firstKnown_.end(), 0);
  stepLengthSlopes_ = false;
  CutPairs();
  double H = tEnd - t0;
  int count = 0;
  bool final = false;
  for (;;) {
    const double overshoot = t0 + 2.01 * H - tEnd;
    if ((overshoot > 0 && H > 0) || (overshoot < 0 && H < 0)) {
      final = true;
      H = (tEnd - t0) / 2;
    }
    bool fresh = true;
    for (;;) {
      const bool lastTry = H <= kSmallestHalfStep || t0 + H == t0;
      const bool rejected = TryPair(H, fresh, !lastTry);
      if (!rejected || lastTry) break;
      H = H / 2;
      final = false;
      big_.swap(half_);
      fresh = false;
      for (size_t i = 0; i < n; ++i) {
        const double v = big_[i];
        const double K = arrays_.bufferSizes[i];
        if ((0.99 < v && v < 1 && v / (1 - v) >= K / 2) || (1 < v && v < 1.01 && K + v / (1 - v) <= K / 2)) {
          y_[i] = 2 - v;
          big_[i] = 2 - v;
          firstKnown_[i] = 0;
        }
      }
    }
    t0 = t0 + 2 * H;
    if (final) {
      for (size_t i = 0; i < n; ++i) rho_[i] = two_[i] < 0 ? 0 : two_[i];
      return;
    }
    y_.swap(two_);
    std::fill(firstKnown_.begin(), firstKnown_.end(), 0);
    if (count == 5) {
      H = 2 * H;
      count = 0;
    }
    count = count + 1;
  }
}

void CZIterationStepper::FinishStep(double /*time*/, double h) {
  // Reflection, metrics and regime of every queue (each queue's three depend on it alone); the
  // refined model's metrics alone.
  if (setup_.refined) {
    arrays_.ForQueues([this, h](size_t begin, size_t end) {
      size_t impossible = CPathArrays::npos;
      for (size_t i = begin; i < end; ++i) {
        CPathArrays::QueueState& q = arrays_.queues[i];
        const MM1KMetrics& m = refinedShown_[i];
        q.N = m.N;
        q.P = m.P;
        q.U = q.mu > 0.0 ? m.U : 0.0;  // a link that sends nothing is never busy, as in Compute Metrics
        arrays_.SetShareRelaxation(i, h);
        arrays_.SetRoundTripTerms(i);
        if (impossible == CPathArrays::npos && arrays_.Impossible(i)) impossible = i;
      }
      arrays_.CheckedPart(begin, end, impossible);
    });
    arrays_.RoundTripTermsSet();
    arrays_.RelaxOccupiedShares();
    return;
  }
  arrays_.ForQueues([this](size_t begin, size_t end) {
    size_t impossible = CPathArrays::npos;
    for (size_t i = begin; i < end; ++i) {
      CPathArrays::QueueState& q = arrays_.queues[i];
      const double K = arrays_.bufferSizes[i];
      rho_[i] = ReflectedRho(rho_[i], K, regime_[i]);
      const QueueMetrics m = ClosedFormMetrics(rho_[i], K);
      q.N = m.N;
      q.P = m.P;
      q.U = m.U;
      if (HasRegimes(K)) {
        const double slope = LargeBufferSlope(rho_[i], q.U, q.mu, q.lambda);
        const double previous = previousLambda_[i];
        previousLambda_[i] = q.lambda;
        regime_[i] = NextRegime(regime_[i], slope, rho_[i], q.mu, q.lambda, previous);
      }
      arrays_.SetRoundTripTerms(i);
      if (impossible == CPathArrays::npos && arrays_.Impossible(i)) impossible = i;
    }
    arrays_.CheckedPart(begin, end, impossible);
  });
  arrays_.RoundTripTermsSet();
  // The classes' shares after h: each loses P of what it offers and sends on what the next hop
  // receives.
  arrays_.UpdateShares([h](double n, double x, double next, const CPathArrays::QueueState& q) {
    return FluidShare(n, h, q.P, x, next);
  });
  arrays_.SumOccupancy();
}

void CZIterationStepper::Store() const {
  arrays_.Store();
  for (size_t i = 0; i < rho_.size(); ++i) {
    C_MM1K_Queue& q = *setup_.queues[i];
    q.N = ShownSize(i);
    q.rho = rho_[i];
    q.regime = regime_[i];
    q.previousArrivalRate = previousLambda_[i];
  }
}

void CZIterationStepper::AddQueues(CDumpWriter& writer) const {
  for (size_t i = 0; i < arrays_.queues.size(); ++i) {
    const CPathArrays::QueueState& q = arrays_.queues[i];
    writer.AddQueue(SizeShownWithin(ShownSize(i), arrays_.bufferSizes[i]), q.U, q.P);
  }
}

}  // namespace varlo
