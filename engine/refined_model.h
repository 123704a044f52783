// The refined model: queues that obey M/M/1/K queueing theory in both runs, and TCP classes that
// share a bottleneck instead of overrunning it. Same inputs, queues, classes, routes and steps as
// the classic model; only these formulas differ.
//
// Queue law (both runs). A queue's state is its equivalent load rho: the load at which the
// stationary M/M/1/K queue holds the queue's current mean N. From rho come N, the blocking
// probability P = pi_K (the fraction of arrivals dropped) and the utilisation U = 1 - pi_0
// (model/mm1k_closed_form.h), for every K with one formula (no branches, no reflections). The
// queue's packets change by what it accepts minus what it sends,
//     dN/dt = lambda (1 - P) - mu U = (1 - P)(lambda - mu rho)     (as 1 - pi_0 = rho (1 - pi_K)),
// so d rho/dt = (1 - P)(lambda - mu rho) / (dN/drho), whose only rest point is rho = lambda/mu:
// a queue fed at a steady rate settles at the M/M/1/K numbers of its offered load.
// TCP's packets come in bursts: a sender waits a moment before it sends what its acknowledgements
// allow, and sends together what they allowed meanwhile. A queue that TCP classes cross counts in
// bursts (BurstyClosedForm: the M/M/1/K queue of the bursts, K / burst of them, each burst packets;
// the same law in rho), so it holds more and drops more at the same load than Poisson arrivals
// would make it, as TCP's queues do in ns (at 80 % load on a buffer of 20, ns held 6.2 packets and
// dropped 2.3 % of 10 flows' packets, where the M/M/1/K queue holds 3.9 and drops 0.2 %). A queue
// that only Poisson traffic crosses is the M/M/1/K queue, bit for bit.
//
// Over a step of h seconds at a held lambda, rho relaxes towards lambda/mu exponentially at the
// linearised rate mu (1 - P)/(dN/drho), and N may change by no more packets than the current net
// inflow |lambda (1 - P) - mu U| h brings or takes in the step (a filling queue fills at the fluid
// rate; an overloaded large buffer ends up losing (lambda - mu)/lambda of its arrivals). This is
// exact at the rest point and stable for any h: a small buffer on a fast link relaxes within a
// fraction of a millisecond, where explicit Runge-Kutta steps of the run's length would diverge.
// "Compute Metrics" takes this step with its fixed running step; "M/M/1/K Z-iteration" keeps its
// step lengths (0.05 / |d rho/dt| of the fastest queue, at most the running step; beyond rho = 10,
// where N, P and U hardly move any more, 0.05 in 100/rho) and takes this step over each of them.
//
// TCP. Long-lived TCP flows probe for bandwidth until their bottleneck drops packets: in the fluid
// TCP models (Kelly's and Low's network utility view, the Misra-Gong-Towsley fluid equations) the
// flows sharing a bottleneck fill it at equilibrium, while loss and delay settle at what makes each
// flow send its share. The profile gives a class's rate from its round trip (which counts each
// queue's sojourn N/(mu U) by Little's law, at least the 1/mu of sending a packet) and the loss of
// its forward path (every packet is acknowledged, so an acknowledgement lost on the way back costs
// the window nothing: the next one covers it). Two cases, per class, with m the smallest factor over the
// queues of its forward path of
//     (mu - other offered load) / (sum of the profile rates of the TCP classes there):
// - m >= 1, the profile rates leave room at every queue of the path (the profile's table is coarse
//   at small losses, where it leaves links idle that real flows fill): the class offers m times its
//   profile rate, so that at its bottleneck the TCP classes fill exactly the room left, in the
//   ratios of their profile rates (Reno's bias towards short round trips); but no more than its
//   maximum window per round trip and its wait before sending (TcpWindowRate), so that flows held
//   back by their window leave the room (and their bottleneck's queue) as they find it, and no
//   more than the part of the room that flows halving their windows together keep busy with the
//   queue's buffer (TcpSawtoothUtilisation, at the bandwidth-delay product of the room and the
//   classes' rate-weighted round trip with empty queues, with the part of the buffer that TCP's
//   packets hold, the TCP part of the arrivals): a buffer far below that product leaves the link
//   idle after each loss; and no more than TCP keeps up, timeouts included, against the
//   losses the Poisson part of each queue's arrivals causes at random on its path, at the load
//   of the top of the windows' sawtooth, where flows lose, as far as the queue settles within
//   the top (TcpToothTopLoss, TcpToothTopReach; TcpRandomLossRate, over the round trip and the
//   sender's wait), and against the losses TCP's own bursts cause at random where a queue's
//   buffer is too small for the sawtooth (TcpBurstLoss), the rate moving there over a round trip;
//   Where they fill a queue by themselves or beside a little Poisson traffic, its loss is that of
//   their windows' sawtooth rather than the open law's at the link's rate (TcpSawtoothLoss,
//   TcpSawtoothWeight);
// - m < 1, the classes ask for more than a queue can send: they offer their profile rates, the
//   queue drops the excess as an M/M/1/K queue does, and the loss and delay that follow bring the
//   profile rates down until the two agree, as many flows on a small buffer do in a real network.
// What a class gets is its offered rate times the success of its forward path, and never more than
// its share m of a queue's room, so the TCP classes crossing a queue never get more than it can
// send together. A class decides all this about once per round trip, as a window changes its
// sending once per round trip (RunSetup::ShareTcp); what a dump row shows of the classes crossing a
// queue is scaled down together where, deciding at their own times, they would get more than its
// room (RunSetup::ShareShownRates).
// Window loops. The windows of the classes raised towards a queue (their tightest) go round a
// closed loop through it; where they fit in its buffer (ClosedLoopQueue), the queue takes the
// loop's packets and utilisation instead of its open law's, drops nothing (but beside Poisson
// traffic, below), and each of those classes sends its window per time away plus the loop's time at
// the queue, moving there over about a round trip. A loop forms where the windows fit with a margin
// (0.8 of the buffer) and holds while they fit (0.9), the buffer counted in bursts where the
// windows together would more than fill it; a class stays with its loop for as long as the loop holds. A loop of TCP alone
// is bounded by the buffer in packets, and forms only where its senders' bursts overflow the room
// its packets leave so rarely that Reno's windows stay at their maximum (TcpBurstOverflowEvents:
// a loss event in 3 / (2 W^2) packets at most, W = 20, the loss at which Reno's mean window is
// W; a sender's acknowledgements come back at the rate at which the busy queue sends its packets,
// and no burst is more than a window); elsewhere they overflow it at random and those losses set
// the flows' rates (TcpBurstLoss). A loop beside Poisson traffic loses the window packets that find
// its buffer full (MixedLoopFullShare), and its windows shrink to what Reno keeps at that loss
// (TcpCappedMeanWindow) until the two agree; it forms and holds only where they keep most of their
// maximum (RefinedQueueStep). A class whose window waits at a loop sends no more than Reno keeps up
// against the losses of the other queues of its path, each counted at the loss its law settles at
// under its present load (RunSetup::LossBesideLoop, SteadyQueueLoss).
// Acknowledgements that wait behind other TCP classes' packets on their way back leave that queue
// closer together than they came, and their sender sends what they acknowledge together: the
// windows of a loop then come to its queue in clusters (AcknowledgementBunch), which leave it idle
// more often than single packets would (ClosedLoopQueue).
// Paced packets. Where no TCP window piles up (no class crossing a queue has it as its tightest,
// PileUpWeight), TCP's packets arrive spaced by the links they left, and the round trips count
// less of the queue's M/M/1/K waiting for them: a D/M/1 queue's share of it, taken towards the
// whole by the Poisson part of the arrivals (PacedSojourn). Where no class's bursts reach the
// queue, those that come from the one link that brings the most of them, no faster than the
// queue's own, keep it that share of the waiting in its own N and P too (PacedClosedForm; an event
// simulation of paced and Poisson packets at a finite buffer agrees), and the round trips count
// its sojourn as it is. (The others merge at random. On a random mesh of 50 routers with buffers
// of 5,000, the M/M/1/K law held more than ns's queues at 62 of the 107 that hold half a packet or
// more, 48 of them by more than a quarter; 40 with this. After a link of 500 packets/s, three flows
// beside 300 packets/s of Poisson traffic on a buffer of 5 lost 8.9 % there, where ns's lose 0.4 %,
// and carried 12 % less than ns's.)
// (The classic model takes each class's profile rate as it is, even where the rates of a link's
// classes add up to more than it can send.)
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/mm1k_closed_form.h"

namespace varlo {

// A queue whose TCP packets arrive paced (spaced by the link they left, see PacedQueueingScale)
// holds and drops less than the M/M/1/K queue at the same load: its packets in service are the
// M/M/1/K queue's, U = 1 - pi_0, and of those waiting it keeps a share (share <= 1), in a buffer
// whose K - 1 waiting places hold as many waiting packets as (K - 1) / share places of the
// M/M/1/K queue: N = U + share (N' - U), P = P' and U = U' of the M/M/1/K' queue with K' = 1 +
// (K - 1) / share. It keeps 1 - pi_0 = rho (1 - P), so the queue law below holds unchanged, and N
// rises from 0 to K with the load.
inline double PacedBuffer(double K, double share) { return K > 1.0 ? 1.0 + (K - 1.0) / share : K; }
inline MM1KMetrics PacedClosedForm(double rho, double K, double share) {
  MM1KMetrics m = MM1KClosedForm(rho, PacedBuffer(K, share));
  // dU/drho = pi_0 N / rho, as d ln pi_0 / d rho = -N / rho for pi_n ~ rho^n.
  const double utilisationSlope = rho > 0.0 ? (1.0 - m.U) * m.N / rho : 1.0;
  m.N = m.U + share * (m.N - m.U);
  m.slope = utilisationSlope + share * (m.slope - utilisationSlope);
  return m;
}

// A queue whose packets arrive in bursts of mean size burst (packet-weighted, see TcpBurstExcess):
// the M/M/1/K queue of the bursts, each burst one customer of burst packets, with room for K / burst
// of them. For an unbounded buffer and bursts of geometric size this is exact (M^X/M/1: N =
// burst rho / (1 - rho), 1 - pi_0 = rho); with a buffer it keeps 1 - pi_0 = rho (1 - P), so the
// queue law below holds unchanged. A burst of 1 is the M/M/1/K queue itself, bit for bit; a burst
// below 1 stands for paced packets that keep that share of the waiting (PacedClosedForm).
inline MM1KMetrics BurstyClosedForm(double rho, double K, double burst) {
  if (burst == 1.0) return MM1KClosedForm(rho, K);
  if (burst < 1.0) return PacedClosedForm(rho, K, burst);
  MM1KMetrics m = MM1KClosedForm(rho, K / burst);
  m.N *= burst;
  m.slope *= burst;
  return m;
}
// The load at which such a queue holds N packets, 0 <= N < K.
inline double BurstyLoadForSize(double N, double K, double burst, double guess) {
  if (burst < 1.0) {
    return LoadForSize(N, K, guess, [=](double rho) { return PacedClosedForm(rho, K, burst); });
  }
  return burst == 1.0 ? MM1KLoadForSize(N, K, guess) : MM1KLoadForSize(N / burst, K / burst, guess);
}

// d rho/dt of a queue of buffer K and service rate mu at load rho under arrival rate lambda.
double RefinedRhoRate(double rho, double lambda, double mu, double K);
// The same from atRho = MM1KClosedForm(rho, K).
double RefinedRhoRate(const MM1KMetrics& atRho, double rho, double lambda, double mu);

// The state of a queue that cannot keep up at all (no service, or a full buffer that the solver
// puts at an infinite load); far beyond where any metric still changes (its N is K - 1e-9).
constexpr double kHeaviestLoad = 1e9;

// One fixed step of h seconds at arrival rate lambda; rho is the queue's state, updated in place.
struct RefinedStepResult {
  MM1KMetrics metrics;  // at the end of the step
  double accepted;      // packets admitted in the step
  double served;        // packets sent in the step
};
RefinedStepResult RefinedDiscreteStep(double& rho, double lambda, double mu, double K, double h);
// The same with atRho = BurstyClosedForm(rho, K, burst) kept by the caller from the last step (and
// updated), for a queue whose packets arrive in bursts of mean size burst.
inline RefinedStepResult RefinedDiscreteStep(double& rho, MM1KMetrics& atRho, double lambda, double mu,
                                             double K, double h, double burst = 1.0) {
  RefinedStepResult r{};
  if (!(mu > 0.0)) {
    // Nothing is sent: the buffer fills with whatever arrives and drops the rest.
    if (lambda > 0.0 && rho != kHeaviestLoad) {
      rho = kHeaviestLoad;
      atRho = BurstyClosedForm(rho, K, burst);
    }
    r.metrics = atRho;
    r.metrics.U = 0.0;
    r.accepted = 0.0;
    r.served = 0.0;
    return r;
  }
  const double target = lambda / mu;
  const MM1KMetrics now = atRho;
  double next = target;
  MM1KMetrics after;
  if (rho == target) {
    after = now;
  } else {
    const double rate = now.slope > 0.0 ? mu * now.acceptedShare / now.slope : 0.0;
    next = target + (rho - target) * std::exp(-rate * h);
    if (!(next <= kHeaviestLoad)) next = kHeaviestLoad;
    after = BurstyClosedForm(next, K, burst);
    const double inflow = now.acceptedShare * (lambda - mu * rho);  // packets/s
    const double most = std::fabs(inflow) * h;
    if (std::fabs(after.N - now.N) > most) {
      double size = now.N + inflow * h;
      if (size < 0.0) size = 0.0;
      next = size < K ? BurstyLoadForSize(size, K, burst, next) : kHeaviestLoad;
      if (!(next <= kHeaviestLoad)) next = kHeaviestLoad;
      after = BurstyClosedForm(next, K, burst);
    }
  }
  rho = next;
  atRho = after;
  r.metrics = after;
  r.accepted = lambda * after.acceptedShare * h;
  r.served = mu * after.U * h;
  return r;
}

// Erlang's loss formula B(servers, load): the chance that all of servers servers are busy under
// Poisson load (load = arrival rate times holding time), by its stable recursion; between whole
// numbers of servers it is interpolated linearly. 1 for no servers.
double ErlangB(double servers, double load);

// A queue whose TCP classes are held by their windows: a closed loop of their windows' packets
// (each class's window, window packets), each of which, once sent by the queue, comes back to it
// after its class's time away (the rest of its round trip and the sender's wait), beside an open
// Poisson load of openLambda packets/s. The closed packets see the room mu - openLambda that the
// open load leaves (the usual treatment of mixed open and closed loads). With all of them taken
// as one loop of population packets away for thinkTime on average (population over the sum of
// window / time away), those away are Poisson with mean a = room thinkTime cut off at population,
// the machine-repairman queue: the room is busy 1 - B(population, a) of the time and the loop
// sends closedThroughput = room (1 - B). Each class then sends window / (its time away + s) with s
// the time its packets spend at the queue, the same for all (first come, first served), so that
// together they send closedThroughput, and the loop keeps N_closed = closedThroughput s packets at
// the queue (population - closedThroughput thinkTime for a single time away). An open packet finds
// those ahead of it: N_open = rho_open (1 + N_closed) / (1 - rho_open). It applies where the windows
// fit: the open load leaves room and N stays below 0.9 K; beyond, the windows overflow the buffer,
// losses set the flows' rates and the open queue law holds.
struct ClosedLoopMetrics {
  bool applies = false;
  double N = 0.0;
  double U = 0.0;
  double closedThroughput = 0.0;  // packets/s
  double sojourn = 0.0;           // s, a closed packet's time at the queue
  double thinkTime = 0.0;         // s, the loop's mean time away
};
// Where the windows' packets come in clusters of mean size cluster (AcknowledgementBunch), the loop
// is one of clusters: population / cluster customers, each cluster packets of work, so that the
// room is busy 1 - B(population / cluster, a / cluster) of the time.
ClosedLoopMetrics ClosedLoopQueue(double openLambda, double window, const double* timesAway, std::uint32_t classes,
                                  double mu, double K, double sojournGuess = 0.0, double cluster = 1.0);

// The mean number of a TCP class's packets that its sender sends together because their
// acknowledgements left a queue of its way back together: 1 plus kAcknowledgementBunchShare of the
// acknowledgements that arrive, at the class's rate packets/s, while one waits behind the TCP
// packets of that queue (tcpWait, s: the queue's wait beyond its own sending, times the part of
// its arrivals that is TCP; the longest over the way back). Poisson packets spread
// acknowledgements as often as they bunch them, and count for nothing. The share is fitted on
// dumbbells of TCP both ways whose queues hold the windows whole, losing nothing in ns (1 flow each
// way on 20 to 100 packets, 2 on 40 and 100, 2 against 1 on 40 and 100, 4 on 100): they carried 10 %
// to 14 % more than ns's without the bunches, and come within 10 % with half of them; counting all
// of them, flows on random meshes of 8 routers carried 10 % to 17 % less than ns's.
constexpr double kAcknowledgementBunchShare = 0.5;
inline double AcknowledgementBunch(double rate, double tcpWait) {
  return rate > 0.0 && tcpWait > 0.0 ? 1.0 + kAcknowledgementBunchShare * rate * tcpWait : 1.0;
}

// The places of a buffer of K packets that its data packets can fill, where the TCP classes whose
// way back crosses the queue send their acknowledgements through it at acknowledgementRate
// packets/s (one per packet they deliver). A buffer counts packets, whatever their size (ns's
// DropTail queue-limit does, as most routers do), and an acknowledgement waits behind the data
// packets ahead of it as long as a data packet would: with N data packets in the queue it holds
// acknowledgementRate N / mu acknowledgements besides, and the data fill it at K / (1 + that rate
// / mu). (An acknowledgement's own sending is some 40 bytes against a packet's 1,000: left out.)
// Never below one packet or K, the smaller. Without them, flows both ways on buffers of 10 to 40
// packets carried 15 % to 68 % more than ns's, whose queues drop their bursts where the other
// way's acknowledgements take up to two fifths of the places.
// The share of a window-held TCP packet's arrivals at a queue that find its buffer of K packets
// full, where its loop's windows (population packets in all) share the queue with an open Poisson
// load of openLoad (its rate over mu) and each packet, once sent, is away for awayService times the
// queue's time to send a packet before it comes back. The queue is first come, first served at one
// rate for all, and the packets away wait for nothing: the mixed network of product form, whose
// chance of n packets at the queue, c of them the loop's, goes as
//     C(n, c) openLoad^(n - c) / (awayService^c (population - c)!),
// cut off at the buffer. An arriving packet of the loop sees the queue as the others leave it
// (population - 1 of them; the arrival theorem). A fractional population weighs its last place by
// its fraction (the Gamma function's continuation of the factorial), and a fractional buffer
// interpolates between its neighbours.
double MixedLoopFullShare(double openLoad, double population, double awayService, double K);

// The mean window, in packets (at most kTcpMaximumWindowPackets), of a Reno flow held by its
// maximum window that loses a share loss of its packets at random over roundTrip seconds: each
// loss halves the window, which then grows by a segment a round trip back to the maximum and stays
// there until the next loss, 1 / loss packets after the last; a loss is a timeout of
// kTcpShortestTimeout with the chance 3 / (window at the loss) (Padhye, Firoiu, Towsley and Kurose
// 1998, their window-limited case).
double TcpCappedMeanWindow(double loss, double roundTrip);
// The same where loss events drop several packets of a window and a share timeouts of them (0 to 1)
// ends in a timeout: Reno halves its window at the fast retransmit, and when the packets after the
// first stay unacknowledged, waits kTcpShortestTimeout, halves it again and starts from one
// segment, doubling up to that quarter of the window it lost at, before it grows by a segment a
// round trip. (ns's flows whose bursts meet at a queue do this at nearly every loss: a flow of 79
// ms sends 13 segments a round trip on average, losing once in some 510 packets, where the halving
// alone would leave it 17.)
double TcpTimeoutMeanWindow(double events, double roundTrip, double timeouts);

double DataBuffer(double K, double acknowledgementRate, double mu);
// What a queue whose data packets number N, in a buffer of K packets of which they can fill
// dataBuffer (DataBuffer), holds in all, its acknowledgements with them: N K / dataBuffer, at most K.
inline double SizeWithAcknowledgements(double N, double K, double dataBuffer) {
  return dataBuffer > 0.0 && dataBuffer < K ? std::min(N * (K / dataBuffer), K) : N;
}

// What the window-held TCP classes whose tightest queue this is bring to it (RunSetup::ShareTcp):
// their windows in all (0 for none), their mean time away from it, and the rate they offered at
// the last propagation, which is the part of the queue's arrivals that the loop sets.
struct ClosedLoopLoad {
  const double* timesAway = nullptr;  // one per class, s
  std::uint32_t classes = 0;
  double offered = 0.0;
  double cluster = 1.0;  // the mean of the classes' AcknowledgementBunch
  // Where TCP fills the queue, the loss its windows' sawtooth keeps there and how much of it
  // the queue shows (TcpSawtoothLoss, TcpSawtoothWeight): the open law's P goes that part of the
  // way down to it where above it, and U rises by what is then admitted.
  // Where the windows can overflow the buffer (TcpSawtoothOverflow), the queue's N goes as far
  // towards the sawtooth's mean queue (TcpSawtoothSize) as its P goes down, all of the way where
  // the open law loses twice the sawtooth's loss or more. Both are found from the flows, the TCP
  // part of the buffer and the bandwidth-delay product of the room only where P comes down (in one
  // queue's step of 800 on the engine benchmark's networks of 100 and 1000 routers).
  double sawtoothLoss = 1.0;
  double sawtoothWeight = 0.0;
  std::uint32_t sawtoothFlows = 0;
  double sawtoothBuffer = 0.0;   // packets (none: nothing overflows)
  double sawtoothProduct = 0.0;  // packets
  // The packets/s that the trains of the senders whose first queue this is lose at it (see
  // RunSetup::FirstHopWindow): the queue loses at least that share of its arrivals.
  double trainDrops = 0.0;
  // Whether the queue carries TCP alone and the windows of all its TCP classes, in its loop or
  // not, fit in its buffer whole (TcpWindowsFit): nothing can overflow it.
  bool windowsFit = false;
};
// A queue's step of the refined model: ClosedLoopQueue where the closed loop applies and either
// held at the last step or forms with a margin, its N at most 0.8 K (the time its packets spend at
// the queue then into closedSojourn, else -1; at entry, its value of the last step),
// RefinedDiscreteStep otherwise, with the queue's packets in bursts of mean size burst (1 where no
// TCP class crosses it). atRho holds the N, P and U the step gives; burstUsed and bufferUsed are
// the burst and the buffer K atRho was found with (updated: the queue keeps its load when its
// bursts or the places of its buffer left to its packets change).
RefinedStepResult RefinedQueueStep(double& rho, MM1KMetrics& atRho, double lambda, double mu, double K, double h,
                                   const ClosedLoopLoad& closed, double& closedSojourn, double burst = 1.0,
                                   double* burstUsed = nullptr, double* bufferUsed = nullptr,
                                   struct LoopWindow* loopWindow = nullptr);

// The share of its arrivals that a queue drops once its law has settled at its present load
// lambda / mu, with its packets in bursts of mean size burst: where TCP fills it, lowered towards
// its windows' sawtooth's loss as RefinedQueueStep lowers its own step's, and to none but the
// excess where the windows of all its TCP classes fit in its buffer whole (closed). Unlike the
// queue's shown loss it does not depend on whether a loop holds there, nor on how far the queue has
// got towards its load.
double SteadyQueueLoss(double lambda, double mu, double K, double burst, const ClosedLoopLoad& closed);

// A class's packets in a queue over a step of either run. The queue mixes what it admits and sends
// its packets in proportion to the classes' shares, so a class's packets n follow
//     dn/dt = (1 - P) x - s n,    s = mu U / N (the rate at which each packet leaves),
// whose exact solution over h at held x, P and s is n e^{-s h} + (1 - P) x (1 - e^{-s h}) / s.
// Unlike n + h ((1 - P) x - s n), or the classic Compute Metrics step's n + in - out, it stays
// between n and its rest point for any h, where a queue on a fast link would otherwise swing its
// shares past zero within one step and send nothing of a class that is still arriving. decay =
// e^{-s h} and admitted = (1 - P)(1 - e^{-s h}) / s are the queue's, from its values after the step
// (an empty queue sends nothing and keeps what it admits), so that a class's step reads only them.
struct ShareRelaxation {
  double decay;
  double admitted;  // seconds
};
inline ShareRelaxation RefinedShareRelaxation(double N, double U, double P, double mu, double h) {
  const double s = N > 0.0 && U > 0.0 && mu > 0.0 ? mu * U / N : 0.0;
  const double sh = s * h;
  if (!(sh > 0.0) || !std::isfinite(s)) return {1.0, (1.0 - P) * h};
  // 1 - e^{-sh} from the decay, but from its series where that difference would lose digits.
  const double decay = std::exp(-sh);
  const double left = sh < 1e-4 ? sh * (1.0 - sh / 2.0 * (1.0 - sh / 3.0 * (1.0 - sh / 4.0))) : 1.0 - decay;
  return {decay, (1.0 - P) * left / s};
}
inline double RefinedShare(double n, double x, const ShareRelaxation& r) { return n * r.decay + x * r.admitted; }

// A TCP class's time in one queue: Little's law N/(mu U), and never less than the 1/mu of
// sending one packet. Seconds.
inline double RefinedSojourn(double N, double U, double mu) {
  const double service = 1.0 / mu;
  if (!(U > 0.0)) return service;
  const double sojourn = N / (mu * U);
  return sojourn > service ? sojourn : service;
}

// The waiting at a queue that is not where TCP windows pile up (no TCP class crossing it has it
// as its tightest queue), for the packets of a TCP class, as a share of the M/M/1/K waiting. Such
// packets arrive spaced by the links they left, not by chance. Alone, with exponential service,
// they would make a D/M/1 queue, whose waiting is about U/2 of the M/M/1 one at the same load
// (0.26 at U = 0.5, 0.42 at 0.8, 0.44 at 0.9, 1/2 in heavy traffic); packets among Poisson ones
// wait as those do. The share is taken linearly between the two by the part of the arrivals that
// is Poisson (poissonShare; 1 leaves the M/M/1/K waiting as it is). An event simulation of paced
// and Poisson packets at an exponential server agrees within about 10 % for loads from 0.5 to 0.9.
inline double PacedQueueingScale(double poissonShare, double U) {
  const double alone = std::clamp(U, 0.0, 1.0) / 2.0;
  return alone + (1.0 - alone) * std::clamp(poissonShare, 0.0, 1.0);
}
// How far a queue whose TCP factor is share (RefinedTcpShare) is where TCP windows pile up, the
// classes crossing it having mostLeastShare as the largest of their least factors over their
// paths (0 where none sends): 1 at the tightest queue of one of them, 0 where the factor is a
// tenth above the least of each on, linearly between, so that the round trips do not jump when a
// class's tightest queue moves. (The weight falls with the class's least factor, so the class
// with the largest one decides.)
inline double PileUpWeight(double share, double mostLeastShare) {
  constexpr double kMargins = 10.0;  // 1 / a tenth
  if (!(mostLeastShare > 0.0)) return 0.0;
  return std::clamp(1.0 - (share / mostLeastShare - 1.0) * kMargins, 0.0, 1.0);
}
// The M/M/1/K sojourn with its waiting (beyond one service time) scaled as above.
inline double PacedSojourn(double sojourn, double mu, double U, double poissonShare) {
  if (!(mu > 0.0) || poissonShare >= 1.0) return sojourn;
  const double service = 1.0 / mu;
  return sojourn > service ? service + (sojourn - service) * PacedQueueingScale(poissonShare, U) : sojourn;
}

// The factor by which the TCP classes crossing a queue are scaled so that their sum fills the room
// mu - otherLoad (0 when other traffic takes it all); tcpDemand > 0.
inline double RefinedTcpShare(double tcpDemand, double otherLoad, double mu) {
  const double room = mu - otherLoad;
  return room > 0.0 ? room / tcpDemand : 0.0;
}

// The most a TCP class keeps in flight, in packets of 1000 bytes (the unit of every rate and
// service rate): the maximum window of the TCP senders the profiles describe (and of the agents in
// the ns scripts Varlo writes), 20 segments of 1000 bytes of data and 40 of headers. A class cannot
// send more than this window per round trip, however much room its path leaves.
constexpr double kTcpMaximumWindowSegments = 20.0;
constexpr double kTcpMaximumWindowPackets = kTcpMaximumWindowSegments * 1040.0 / 1000.0;
// Whether the windows of flows TCP classes, all of a queue's traffic, fit in its buffer whole, so
// that nothing can overflow it: a buffer counts packets, whatever their size, and holds them beside
// the one it sends.
inline bool TcpWindowsFit(std::uint32_t flows, double buffer) {
  return kTcpMaximumWindowSegments * flows <= buffer + 1.0;
}

// A queue's loop beside Poisson traffic from one step to the next (RefinedQueueStep): the mean
// window of each class it holds, and the last loss and the last window a forming loop settled at,
// each with what it was found from, so that a step whose loop has hardly moved (by no more than a
// thousandth, a hundredth where the loss was negligible) takes them again rather than summing the
// queue's distribution anew.
struct LoopWindow {
  double window = kTcpMaximumWindowPackets;
  double lossFrom[4] = {-1.0, -1.0, -1.0, -1.0};  // open load, population, time away, buffer
  double loss = 0.0;
  double formFrom[5] = {-1.0, -1.0, -1.0, -1.0, -1.0};  // open load, classes, time away, buffer, round trip
  double formed = 0.0;  // the window where it settles; 0 where it does not form
  double lawLoss = 0.0;  // the queue's loss by its law at the last step, before the trains' drops it shows
};

// The longest a TCP sender waits, after an acknowledgement has opened its window, before it sends:
// a random time, uniform between 0 and this, that keeps flows from moving in step (the agents of
// the ns scripts Varlo writes, "overhead_ 0.01"). What is acknowledged meanwhile goes out together
// when the wait ends.
constexpr double kTcpSendOverhead = 0.01;

// A window adapts its sending once per round trip: over dt seconds a rate moves from `from`
// towards `to` by dt / (dt + roundTrip).
inline double TcpWindowFollow(double from, double to, double dt, double roundTrip) {
  return from + (to - from) * (dt / (dt + roundTrip));
}

// The rate X a window of window packets allows when each packet's acknowledgement comes back
// roundTrip seconds after it was sent, packets/s. Before it is sent again each packet also waits
// in the sender: acknowledgements arriving at the rate X, a wait u starts with the first of them
// and sends the 1 + X u that arrive before it ends, which waited u + X u^2/2 in all, so a packet
// waits w(X) = (E[u] + X E[u^2]/2) / (1 + X E[u]) on average (u uniform up to kTcpSendOverhead).
// Every packet of the window takes roundTrip + w(X) from one sending to the next, so
// X (roundTrip + w(X)) = window: the positive root of
//     (roundTrip E[u] + E[u^2]/2) X^2 + (roundTrip + E[u] - window E[u]) X - window = 0.
// Without the wait it would be window / roundTrip: a lone flow on a 30 ms path gets some 15 % less.
// The mean wait w(X) above of a sender whose acknowledgements come back at rate packets/s.
inline double TcpSenderWait(double rate) {
  constexpr double meanWait = kTcpSendOverhead / 2.0;
  constexpr double halfSquare = kTcpSendOverhead * kTcpSendOverhead / 6.0;
  const double x = rate > 0.0 ? rate : 0.0;
  return (meanWait + x * halfSquare) / (1.0 + x * meanWait);
}
// The packets beyond its own of the burst in which a TCP class's packet leaves its sender at rate
// packets/s, as a queue counts them: each wait u (uniform up to kTcpSendOverhead) sends together
// B = 1 + M packets, M the acknowledgements of the wait (Poisson, mean rate times u). A packet is in a
// burst of B with a chance in proportion to B, and what a queue holds for bursts (the M^X/M/1
// queue's mean size rho/(1 - rho) E[B(B + 1)] / (2 E[B])) counts E[B(B + 1)] / (2 E[B]) - 1 of them:
// (2 a + rate^2 E[u^2]) / (2 + 2 a) with a = rate E[u]. Near 1 at 200 packets/s, 0.12 at 25.
inline double TcpBurstExcess(double rate) {
  if (!(rate > 0.0) || !std::isfinite(rate)) return 0.0;
  constexpr double meanWait = kTcpSendOverhead / 2.0;
  constexpr double meanSquare = kTcpSendOverhead * kTcpSendOverhead / 3.0;
  const double a = rate * meanWait;
  return (2.0 * a + rate * rate * meanSquare) / (2.0 + 2.0 * a);
}
// The part of their senders' bursts (TcpBurstExcess) that a queue counts from TCP classes whose
// bursts come to it with alike idle round trips (the longest within kAlikeRoundTrips of the
// shortest), where TCP has the queue to itself: (flows - 1) / 8 for flows TCP classes sending
// there, all of them from 9 flows on, and all of a single flow's. Their acknowledgements come back
// in the order and at the spacing in which the queue sent their packets, one round trip earlier for
// all of them, and the windows' sawtooth holds the queue near half its buffer; the bursts count
// more as more flows share it, each with a smaller window.
// The share is fitted to ns's dumbbells of 2 to 8 flows of 30 ms on buffers of 8 to 25 packets:
// counted in full, as for flows of spread round trips, two to five of them lost 2 to 5 times what
// ns's lose and carried 10 to 34 % less; not counted at all, eight flows on buffers of 8 to 16
// packets chased their losses step after step, and a single flow on 5 to 8 packets, whose own
// bursts overflow them in ns, carried 60 to 220 % more than ns's.
constexpr double kAlikeRoundTrips = 1.1;
// A queue that TCP has to itself: the other traffic brings at most a twentieth of its arrivals.
constexpr double kTcpAloneOtherShare = 0.05;
inline bool TcpAloneAt(double other, double lambda) {
  return !(other > kTcpAloneOtherShare * lambda);
}
inline double AlikeRoundTripBurstShare(std::uint32_t flows) {
  return flows < 2 ? 1.0 : std::min(1.0, (flows - 1.0) / 8.0);
}
// The part of their senders' bursts that a queue counts from three or more TCP classes whose
// round trips are not alike, where TCP has the queue to itself: half again the bursts. Each window
// comes back to the queue as a train, at the spacing at which the queue sent it and at moments
// that have nothing to do with the other windows' trains, and trains that meet pile up beyond the
// senders' own bursts. Fitted, with the loss events of TcpBurstLoss, to ns's dumbbells of 3 to 8
// flows of 30 to 210 ms on buffers of 8 to 16 packets (bench/compare-ns grid-): with the senders'
// bursts alone, counted in loss events of a burst, they carried 12 to 60 % more than ns's flows;
// with their bursts counted twice, five flows on 20 packets and three on 12 carried 15 % and 16 %
// less. Two flows keep their bursts as they are, and a loss event per burst: counted half again,
// with a loss event per packet, two flows on 12 packets carried 15 % less than ns's.
constexpr double kUnlikeRoundTripBurstScale = 1.5;
// Whether that many TCP classes of unlike round trips alone at a queue bring it trains: their bursts
// count half again, and each packet the queue drops is a loss event (TcpBurstLoss).
inline bool UnlikeRoundTripTrains(std::uint32_t flows) { return flows > 2; }
inline double UnlikeRoundTripBurstShare(std::uint32_t flows) {
  return UnlikeRoundTripTrains(flows) ? kUnlikeRoundTripBurstScale : 1.0;
}
// The loss events per packet of a TCP class sending rate packets/s whose bursts (above: 1 + M
// packets, M Poisson with mean rate u, u uniform up to kTcpSendOverhead) arrive at a queue with
// room packets left: a burst of more than room packets loses its tail, one loss event; there is
// one burst per 1 + rate E[u] packets.
double TcpBurstOverflowEvents(double rate, double room);
// The packets of the room a burst has left at the first queue of its path that its
// acknowledgements must reach to overflow it: the room's whole packets, where the burst finds other
// traffic's packets there (found, a mean). A burst that finds none has the buffer and the packet it
// sends whole, one packet more than one that finds the least other traffic, though ns's queue holds
// the same for both (its limit counts the packet it sends); that room is taken kTcpAloneRoomShort
// short. (Taken a whole packet short, the trains' uniform waits, which make large bursts more
// likely than ns's are, overflowed it too often: flows alone behind first buffers of 3 to 10
// packets then carried 12 % to 57 % less than ns's. Taken whole, they carried up to 83 % more, and
// a flow on 6 beside flows on 4, 8 and 10 111 % more. Every room taken short instead of at its
// floor lost the flows of a random mesh with buffers of 5 what it won there: see the help.)
inline constexpr double kTcpAloneRoomShort = 0.3;  // packets
inline double TcpTrainRoomTaken(double room, double found) {
  return found > 0.0 ? std::floor(room) : room - kTcpAloneRoomShort;
}
// The share of a sender's bursts that overflow a room taken as `taken` packets
// (TcpTrainRoomTaken) where its acknowledgements come back as a train, evenly spaced at trainRate
// packets/s: a wait u (uniform up to kTcpSendOverhead) sends 1 + M packets, M = trainRate u of them
// acknowledged while it ran, and the burst overflows for M >= taken, a wait of taken / trainRate or
// longer.
inline double TcpTrainOverflowShare(double trainRate, double taken) {
  if (!(taken >= 1.0)) return 1.0;
  if (!(trainRate > 0.0) || !std::isfinite(trainRate)) return 0.0;
  return std::clamp(1.0 - taken / (trainRate * kTcpSendOverhead), 0.0, 1.0);
}
// The mean number of packets a window-held TCP sender sends together, where its acknowledgements
// come back in pieces, each a train at trainRate packets/s: a wait u (uniform up to
// kTcpSendOverhead, D) that a piece's first acknowledgement starts sends what has come by its end.
// It takes in the next piece where that begins within u, and a piece of `piece` packets splits
// where u ends before its last acknowledgement. The pieces settle where the two are alike likely:
//     1 - (1 - e^-x) / x = piece / (trainRate D),   x = D (window / piece) / roundTrip,
// the window's window / piece pieces beginning at random over the round trip; a whole window where
// they merge more often even then. (ns's three flows window-held at 4,000 packets/s, of windows of
// 17, 13 and 16 and round trips of 33, 79 and 125 ms, send 7.2, 6.4 and 4.7 packets together on
// average; this gives 9.2, 5.4 and 4.8. Taking the window as one train, as where the
// acknowledgements come back at trainRate throughout, gave some 14.)
double TcpTrainPiece(double window, double roundTrip, double trainRate);
// The loss events per packet of a TCP class whose bursts reach a queue further on faster than it
// sends: B = min(W, 1 + 2 (piece - 1) v) packets (v uniform up to 1, a mean of `piece` where the
// window allows, TcpTrainPiece), W its window on Reno's sawtooth (from 2/3 to 4/3 of its mean
// window, at most the maximum). A burst comes faster than the queue sends and leaves reach B of it
// there as its last packet arrives (reach = 1 - mu / the rate it comes at), on top of what it finds
// of the other classes' bursts (alike, of their mean window and piece): the workload of an M/G/1
// queue of bursts (each reach B' packets of work, which keep it busy B' packet times), coming at
// random, othersRate / E[B'] of them a second, sent at mu.
// It overflows the room (the buffer and the packet in service, less what the other traffic holds
// there) by what it brings beyond it, one loss event (a full queue drops reach of the packets
// arriving). An event simulation of such bursts loses 6 % to 33 % more in both. (ns's three flows
// above lose 0.44 % where their bursts meet, and carry a quarter less than their windows would.)
struct TrainCollisions {
  double events = 0.0;  // loss events per packet
  double drops = 0.0;   // packets lost per packet
};
TrainCollisions TcpTrainCollisions(double window, double piece, double othersWindow, double othersPiece,
                                   double reach, double room, double othersRate, double mu);
inline double TcpWindowRate(double roundTrip, double window = kTcpMaximumWindowPackets) {
  if (!(roundTrip >= 0.0) || !std::isfinite(roundTrip)) return roundTrip > 0.0 ? 0.0 : HUGE_VAL;
  constexpr double meanWait = kTcpSendOverhead / 2.0;
  constexpr double halfSquare = kTcpSendOverhead * kTcpSendOverhead / 6.0;  // E[u^2]/2
  const double a = roundTrip * meanWait + halfSquare;
  const double b = roundTrip + meanWait - window * meanWait;
  // 2 window / (b + sqrt(b^2 + 4 a window)) is the positive root without cancellation for b > 0
  // (for b < 0, 4 a window >= 4 halfSquare window keeps the sum well away from 0).
  return 2.0 * window / (b + std::sqrt(b * b + 4.0 * a * window));
}

// The fraction of a drop-tail queue's time that long-lived TCP flows keep it sending when their
// windows, bandwidthDelay packets in all at the queue's room with its buffer empty (the room times
// the flows' round trip with empty queues), grow together until the buffer of buffer packets
// overflows and then halve together. The windows climb one packet per round trip from half of
// W = bandwidthDelay + buffer to W: below bandwidthDelay the link idles part of the time, above it
// the buffer fills. This is the sawtooth behind the rule that a buffer should hold the
// bandwidth-delay product (Villamizar and Song 1994; Appenzeller, Keslassy and McKeown 2004):
// 1 from a buffer of bandwidthDelay on, 3/4 without a buffer.
inline double TcpSawtoothUtilisation(double buffer, double bandwidthDelay) {
  // No limit where the product is unknown (a queue on the path that sends nothing makes it infinite).
  if (!(bandwidthDelay > buffer) || !(buffer >= 0.0) || !std::isfinite(bandwidthDelay)) return 1.0;
  const double top = bandwidthDelay + buffer;  // the windows when the buffer overflows
  const double bottom = top / 2.0;
  // Packets sent over one tooth: the integral of the rate over the time, in units of the room.
  const double sent = (top * top - bottom * bottom) / 2.0;
  // The tooth's length times the room: bandwidthDelay - bottom round trips of the empty path, then
  // the time the buffer takes to fill while the windows grow one packet per (longer) round trip.
  const double length =
      bandwidthDelay * (bandwidthDelay - bottom) + (top * top - bandwidthDelay * bandwidthDelay) / 2.0;
  return sent / length;
}

// The rate, packets/s, at which a Reno flow keeps up against random losses of a fraction loss of
// its packets over a round trip of roundTrip s, timeouts included: the formula of Padhye, Firoiu,
// Towsley and Kurose (1998),
//     1 / (RTT sqrt(2p/3) + T0 min(1, 3 sqrt(3p/8)) p (1 + 32 p^2))   segments/s,
// with every packet acknowledged (the sinks of the ns scripts Varlo writes) and T0 the shortest
// retransmission timeout of their agents, 0.2 s; segments of 1040 bytes. Without the timeouts it is
// the square-root formula of Mathis et al. (1997), which at a loss of 2 % gives some 20 % more.
// Losses that Poisson traffic causes at random hold flows to it, whatever room the link has left,
// and so do those that TCP's bursts cause on a buffer too small for the windows (TcpBurstLoss); the
// losses that flows cause themselves by filling a buffer together are the sawtooth's above.
constexpr double kTcpShortestTimeout = 0.2;  // s
inline double TcpRandomLossRate(double loss, double roundTrip) {
  if (!(loss > 0.0) || !(roundTrip > 0.0)) return HUGE_VAL;
  const double p = std::min(loss, 1.0);
  const double timeouts =
      kTcpShortestTimeout * std::min(1.0, 3.0 * std::sqrt(3.0 * p / 8.0)) * p * (1.0 + 32.0 * p * p);
  return 1.04 / (roundTrip * std::sqrt(2.0 * p / 3.0) + timeouts);
}

// The loss rate, per packet, that a TCP flow reacts to at a queue that drops a fraction loss of
// its packets, which arrive in bursts of mean size burst, where the TCP part of its buffer holds
// buffer packets and the windows of its TCP classes bandwidthDelay packets at its room with the
// buffer empty. A buffer far below that product is overflowed by the windows' bursts at random,
// long before the windows together could fill it (the sawtooth of TcpSawtoothUtilisation): the
// flows then keep up against those losses at the rate of TcpRandomLossRate, the fixed point of
// the TCP rate and the blocking of the queue it loads (Bu and Towsley 2001; Gibbens et al. 2000).
// A burst that finds the buffer full loses several packets of one window. Where the flows' round
// trips are alike, or two flows share the queue, their windows halve once for them: a loss event
// per burst, loss / burst per packet (burst the queue's). Elsewhere, three or more flows of unlike
// round trips or TCP beside Poisson traffic, the drops come from trains and packets that meet at
// random, and each dropped packet is a loss event (burst 1): a Reno sender that loses a second
// packet of a window mostly waits for a timeout to send it again. (Counted per burst there, the
// TCP-only dumbbells of 3 to 8 flows above lost up to twice ns's loss on 12 to 20 packets
// and still carried up to 60 % more on 8 to 12; so did three and five flows beside 250 and 350
// packets/s of Poisson traffic on 12 and 15 packets, 15 % and 14 % more.) Where the buffer holds half the product
// or more, the windows' sawtooth fills it and sets their losses; the share of loss counted falls
// linearly from all of it at half the product to none at the product. (Against ns on TCP-only
// dumbbells with buffers of 10 and 15 packets and round trips of 30 to 210 ms, the throughput
// went from 32 to 91 % too high to within 17 %; counted on larger buffers too, three flows of one
// round trip on a buffer of 30, which ns keeps 99 % busy, got 18 % less.)
inline double TcpBurstLoss(double loss, double burst, double buffer, double bandwidthDelay) {
  if (!(loss > 0.0) || !(bandwidthDelay > buffer) || !std::isfinite(bandwidthDelay) || !(burst >= 1.0)) return 0.0;
  const double counted = std::min(2.0 * (1.0 - buffer / bandwidthDelay), 1.0);
  return loss / burst * counted;
}

// The loss per packet at which long-lived Reno flows keep a queue that they fill by themselves: their
// windows grow until the buffer overflows and halve at the drops, about one loss event per flow and
// tooth, so that a flow's mean window w and its loss p keep p = 3 / (2 w^2) (Mathis, Semke, Mahdavi
// and Ott 1997), w = windows / flows, windows the packets of all of them in flight and queued. The
// open queue law knows nothing of the sawtooth: fed at the link's rate, it settles at rho = 1, where
// a queue of bursts of b packets drops b / (K + b). (Three flows at 250 packets/s on a buffer of 20
// lost 6.5 % there, where ns's lose 1.5 %, as windows of about 10 packets each give.)
inline double TcpSawtoothLoss(std::uint32_t flows, double windows) {
  if (!(windows > 0.0) || !std::isfinite(windows)) return 1.0;
  const double perFlow = windows / std::max(flows, 1u);
  return std::min(1.5 / (perFlow * perFlow), 1.0);
}
// How much of its P a queue takes from the windows' sawtooth (TcpSawtoothLoss) rather than the open
// law: all where TCP has it to itself and the TCP part of its buffer holds half the windows'
// bandwidth-delay product or more; none where the buffer holds a quarter of the product or less (the
// windows' bursts overflow it at random long before their sawtooth could fill it, TcpBurstLoss);
// linearly between. Poisson traffic beside them takes it down linearly with its share of the
// arrivals, to none at kTcpSawtoothPoissonShare: its own losses come at random (TcpToothTopLoss),
// and the more of the buffer it fills, the less the windows' sawtooth decides when it overflows.
// (Against ns on the TCP-only dumbbells of 2 to 8 flows and buffers of 8 to 25 packets: taken from
// the whole product on, easing to none at half of it, flows of one round trip on 20 and 25 packets
// still lost 2.2 to 2.4 times ns's loss; taken on every buffer, the flows on buffers of 10 and 15
// packets carried 40 to 85 % more than ns's. Beside Poisson traffic, none from a twentieth of the
// arrivals on: four flows of one round trip beside 200 packets/s on 25 and 40 packets lost 5.9 %
// and 3.8 %, where ns's lose 1.6 % and 1.0 %; they now lose 3.4 % and 2.3 %. Taken down to none at
// the whole of the arrivals instead, TCP beside 400 to 500 packets/s on 20 to 30 packets carried 10
// to 12 % more than ns's.)
constexpr double kTcpSawtoothPoissonShare = 0.6;
inline double TcpSawtoothWeight(double poissonShare, double buffer, double bandwidthDelay) {
  if (!(bandwidthDelay > 0.0) || !std::isfinite(bandwidthDelay) || !(poissonShare >= 0.0)) return 0.0;
  const double alone = std::clamp(1.0 - poissonShare / kTcpSawtoothPoissonShare, 0.0, 1.0);
  const double fill = std::clamp(4.0 * buffer / bandwidthDelay - 1.0, 0.0, 1.0);
  return alone * fill;
}

// The mean queue of the windows' sawtooth: their sum W climbs from half of top = bandwidthDelay +
// buffer to top, one packet per flow and round trip, the round trip bandwidthDelay packets' worth
// with the queue empty and W's worth once the queue holds W - bandwidthDelay, so that W spends time
// in proportion to max(W, bandwidthDelay) dW at each W; this is the queue's mean over that time (the
// sawtooth of TcpSawtoothUtilisation). (ns's queues of five flows on a buffer of 50 at 250
// and 500 packets/s hold 34 packets, where the open law at the link's rate holds 25, half the
// buffer; the model's queues hold 33 and 26 with it.)
inline double TcpSawtoothSize(double buffer, double bandwidthDelay) {
  const double d = bandwidthDelay > 0.0 ? bandwidthDelay : 0.0;
  if (!(buffer > 0.0) || !std::isfinite(d)) return 0.0;
  const double top = d + buffer;
  const double bottom = top / 2.0;
  // The integral of (W - d) W dW, up to a constant.
  const auto queued = [d](double w) { return w * w * w / 3.0 - d * w * w / 2.0; };
  if (bottom >= d) return (queued(top) - queued(bottom)) / ((top * top - bottom * bottom) / 2.0);
  return (queued(top) - queued(d)) / (d * (d - bottom) + (top * top - d * d) / 2.0);
}
// How far the windows of that many flows reach past the bandwidth-delay product and the buffer: a
// sawtooth needs windows that can overflow the buffer; where their maximum of kTcpMaximumWindowPackets
// each cannot, they wait whole at the queue (ns's two flows of 30 ms on 16 packets hold 9 and lose
// nothing). None where they just fill it, all from a quarter of the buffer beyond, linearly between.
inline double TcpSawtoothOverflow(std::uint32_t flows, double buffer, double bandwidthDelay) {
  if (!(buffer > 0.0) || !std::isfinite(bandwidthDelay)) return 0.0;
  const double beyond = flows * kTcpMaximumWindowPackets - bandwidthDelay - buffer;
  return std::clamp(beyond / (0.25 * buffer), 0.0, 1.0);
}

// The blocking probability that TCP's packets meet at a queue of buffer K and service rate mu
// with arrival rate lambda, tcpArrival of it from flows TCP classes: the M/M/1/K one at the load
// of the top of the windows' sawtooth, where the flows lose. One Reno flow's rate swings from 2/3
// to 4/3 of its mean, so the top brings a third more of it; flows losing apart from one another
// swing together by 1/sqrt(flows) of that. A top beyond the link's rate counts as a full link:
// past it the flows overflow the buffer themselves, which their sawtooth's limit counts. (In ns,
// TCP's packets beside Poisson traffic on dumbbells of 15 to 25 packets of buffer meet 1.5 to
// 4.7 % loss, two to four times what the Poisson packets meet and up to six times the blocking at
// the mean load; the blocking at the top's load, from ns's own rates, comes within 40 % of it.)
inline double TcpToothTopLoss(double lambda, double tcpArrival, std::uint32_t flows, double mu, double K,
                              double burst = 1.0) {
  if (!(mu > 0.0)) return 1.0;
  const double swing = 1.0 / (3.0 * std::sqrt(static_cast<double>(std::max(flows, 1u))));
  return BurstyClosedForm(std::min((lambda + tcpArrival * swing) / mu, 1.0), K, burst).P;
}

// How far a queue reaches, at the top of its TCP flows' sawtooth, the blocking of the top's load:
// the top lasts about a third of a tooth, W/2 round trips for a window of W = flowRate roundTrip
// packets, and the queue of K / burst bursts, each served at mu / burst, takes (K / burst + 1)^2 /
// (pi^2 mu / burst) to settle near a full load (the slowest mode of the M/M/1/K queue at load 1).
// A queue that settles within the top meets its blocking (1); a large buffer averages it away.
inline double TcpToothTopReach(double flowRate, double roundTrip, double mu, double K, double burst) {
  if (!(flowRate > 0.0) || !(roundTrip > 0.0) || !(mu > 0.0) || !std::isfinite(roundTrip)) return 1.0;
  constexpr double kPi = 3.14159265358979323846;
  const double top = flowRate * roundTrip * roundTrip / 6.0;
  const double slots = K / burst + 1.0;
  const double settle = slots * slots * burst / (kPi * kPi * mu);
  return top / (top + settle);
}

// A TCP class's offered and delivered rates from its profile rate, the smallest factor m of its
// path (above), the smallest factor of its path that fills only the part of a queue's room its
// TCP flows keep busy (m times TcpSawtoothUtilisation there), the product of its forward queues'
// 1 - P and its round trip: a raised rate stops at the smaller of the two factors and at the window
// rate of that round trip (but is never below the profile rate).
struct RefinedTcpRates {
  double offered;
  double delivered;
};
// Rates offered above most packets/s come down to it, what they deliver in proportion.
inline void LimitTcpRates(RefinedTcpRates& r, double most) {
  if (r.offered > most) {
    r.delivered *= most / r.offered;
    r.offered = most;
  }
}
inline RefinedTcpRates RefinedTcpRatesOf(double profileRate, double share, double raiseShare,
                                         double pathSuccess, double roundTrip) {
  if (share >= 1.0) {
    const double factor = std::max(std::min(share, raiseShare), 1.0);
    // A class that is not raised keeps its profile rate whatever its window allows.
    const double raised =
        factor > 1.0 ? std::min(profileRate * factor, std::max(profileRate, TcpWindowRate(roundTrip))) : profileRate;
    return {raised, raised * std::min(pathSuccess, 1.0)};
  }
  return {profileRate, profileRate * std::min(pathSuccess, share)};
}

}  // namespace varlo
