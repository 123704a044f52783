// The evaluation's operations on the model's queues and classes, one object at a time: what the
// Z-iteration stepper runs on, and what a plain transcription of either run (the reference the
// tests compare the fast steppers with) calls step by step. The maths is that of fluid_formulas.h.
#pragma once

namespace varlo {

class C_MM1K_Queue;
class CTrafficClass;

// N, P and U from rho.
void UpdateMetrics(C_MM1K_Queue& q);
// d(rho)/dt at the queue's rho, stored in q.derivative. A small buffer sums its path entries'
// rates into q.arrivalRate first; a large one uses the stored arrival rate and its regime.
double Derivative(C_MM1K_Queue& q, double t);
// Sets or switches the regime of a buffer above the large-buffer threshold.
void UpdateRegime(C_MM1K_Queue& q, double t);
// Moves rho to the other branch when it crossed the middle of the buffer.
void CheckReflection(C_MM1K_Queue& q);
// h seconds of the fluid backlog model (Compute Metrics) at the stored arrival rate.
void DiscreteStep(C_MM1K_Queue& q, double t, double h);

// The rate the class offers at t, packets/s. A TCP class looks its rate up in the TCP profile in
// use from the round trip and loss of its path (throwing CProfileOutOfTableException when the
// NetBSD profile is asked outside its table); the other kinds give their own rate.
double OfferedRate(CTrafficClass& c, double t);
// Sets the input rate of every path entry: the offered rate, then what each queue passes on.
void PropagateRates(CTrafficClass& c, double t);
// The class's packets in each queue of its path after h seconds: Z-iteration, then Compute Metrics.
void AdvanceOccupancy(CTrafficClass& c, double h);
void AdvanceOccupancyDiscrete(CTrafficClass& c, double h);
// Scales the class's shares so that each queue's shares add up to its N.
void NormalizeOccupancy(CTrafficClass& c);

}  // namespace varlo
