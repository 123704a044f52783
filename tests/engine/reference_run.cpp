#include "reference_run.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/object_steps.h"
#include "engine/tcp_profile.h"
#include "model/td_poisson_class.h"

namespace varlo::test {
namespace {

std::string Printf(const char* format, double a) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, format, a);
  return buffer;
}

std::vector<C_MM1K_Queue*> QueuesOf(CVarloDoc& doc) {
  std::vector<C_MM1K_Queue*> queues;
  for (const auto& link : doc.GetLinks()) {
    queues.push_back(link->GetForwardQueue());
    queues.push_back(link->GetBackwardQueue());
  }
  return queues;
}

void Header(CVarloDoc& doc, const std::string& documentPath, std::string& out) {
  char line[100];
  std::snprintf(line, sizeof line, "%d %d %d\n", static_cast<int>(doc.GetLinks().size()),
                static_cast<int>(doc.GetClasses().size()),
                static_cast<int>(doc.totalTime / doc.dumpInterval));
  out += documentPath + "\n" + line;
}

void SetUp(CVarloDoc& doc, bool zIteration) {
  if (!doc.routesValid) doc.ComputeRoutes();
  // What saving the document at the start of a run does to the rate files.
  for (const auto& c : doc.GetClasses()) {
    if (auto* td = dynamic_cast<CTdPoissonClass*>(c.get())) td->CloseRateFile();
  }
  for (C_MM1K_Queue* q : QueuesOf(doc)) {
    q->N = 0;
    q->P = 0;
    q->U = 0;
    q->rho = 0;
    q->derivative = 0;
    q->arrivalRate = 0;
    q->occupancySum = 0;
    UpdateMetrics(*q);
    q->ClearPathEntries();
  }
  for (const auto& c : doc.GetClasses()) c->BuildPath();
  for (const auto& c : doc.GetClasses()) PropagateRates(*c, 0);
  for (const auto& link : doc.GetLinks()) {
    link->GetForwardQueue()->ComputeArrivalRate(0);
    if (zIteration) UpdateRegime(*link->GetForwardQueue(), 0);
    link->GetBackwardQueue()->ComputeArrivalRate(0);
    if (zIteration) UpdateRegime(*link->GetBackwardQueue(), 0);
  }
}

void Row(CVarloDoc& doc, double t, bool offeredLoad, std::string& out) {
  out += Printf("%lf\t", t);
  for (C_MM1K_Queue* q : QueuesOf(doc)) {
    const double first = offeredLoad && q->N == 0 ? q->arrivalRate / q->serviceRate : q->N;
    out += Printf("%lf ", first) + Printf("%lf ", q->U) + Printf("%lf\t", q->P);
  }
  for (const auto& c : doc.GetClasses()) out += Printf("%lf\t", OfferedRate(*c, t));
  out += "\n";
}

void Finish(CVarloDoc& doc, double t) {
  for (const auto& c : doc.GetClasses()) PropagateRates(*c, t);
  for (C_MM1K_Queue* q : QueuesOf(doc)) q->ComputeArrivalRate(t);
}

std::vector<double> RungeKutta(CVarloDoc& doc, double t, const std::vector<double>& y, double h) {
  std::vector<C_MM1K_Queue*> queues = QueuesOf(doc);
  const double w[5] = {h / 2, h / 2, h, h, h / 2};
  std::vector<double> out = y, s = y, k(y.size());
  double tau = t;
  for (int stage = 0; stage < 4; ++stage) {
    for (size_t i = 0; i < queues.size(); ++i) {
      const double saved = queues[i]->rho;
      queues[i]->rho = s[i];
      UpdateMetrics(*queues[i]);
      k[i] = Derivative(*queues[i], tau);
      queues[i]->rho = saved;
      UpdateMetrics(*queues[i]);
    }
    tau = t + w[stage];
    for (size_t i = 0; i < y.size(); ++i) {
      s[i] = y[i] + w[stage] * k[i];
      if (s[i] < 0) s[i] = 0;
      out[i] = out[i] + w[stage + 1] * k[i] / 3;
      if (out[i] < 0) out[i] = 0;
    }
  }
  return out;
}

void Adaptive(CVarloDoc& doc, double t0, double tEnd) {
  std::vector<C_MM1K_Queue*> queues = QueuesOf(doc);
  std::vector<double> y;
  for (C_MM1K_Queue* q : queues) y.push_back(q->rho);
  double H = tEnd - t0;
  int count = 0;
  bool final = false;
  for (;;) {
    if (t0 + 2.01 * H > tEnd) {
      final = true;
      H = (tEnd - t0) / 2;
    }
    std::vector<double> big = RungeKutta(doc, t0, y, 2 * H);
    std::vector<double> two;
    for (;;) {
      std::vector<double> half = RungeKutta(doc, t0, y, H);
      two = RungeKutta(doc, t0 + H, half, H);
      bool rejected = false;
      for (size_t i = 0; i < y.size(); ++i) rejected = rejected || std::fabs(big[i] - two[i]) > 0.00001;
      if (!rejected) break;
      H = H / 2;
      final = false;
      big = half;
      for (size_t i = 0; i < y.size(); ++i) {
        const double v = big[i];
        const double K = queues[i]->bufferSize;
        if ((0.99 < v && v < 1 && v / (1 - v) >= K / 2) || (1 < v && v < 1.01 && K + v / (1 - v) <= K / 2)) {
          y[i] = 2 - v;
          big[i] = 2 - v;
        }
      }
    }
    t0 = t0 + 2 * H;
    if (final) {
      for (size_t i = 0; i < queues.size(); ++i) queues[i]->rho = two[i] < 0 ? 0 : two[i];
      return;
    }
    y = two;
    if (count == 5) {
      H = 2 * H;
      count = 0;
    }
    count = count + 1;
  }
}

}  // namespace

ReferenceDump ReferenceComputeMetrics(CVarloDoc& doc, const std::string& documentPath) {
  ReferenceDump dump;
  Header(doc, documentPath, dump.text);
  try {
    SetUp(doc, false);
    double t = 0;
    double next = 0;
    do {
      const double h = doc.runningStep;
      if (t >= next) {
        Row(doc, t, true, dump.text);
        next = next + doc.dumpInterval;
      }
      for (const auto& link : doc.GetLinks()) {
        DiscreteStep(*link->GetForwardQueue(), t, h);
        DiscreteStep(*link->GetBackwardQueue(), t, h);
      }
      for (const auto& c : doc.GetClasses()) AdvanceOccupancyDiscrete(*c, h);
      for (C_MM1K_Queue* q : QueuesOf(doc)) q->SumOccupancy();
      for (const auto& c : doc.GetClasses()) NormalizeOccupancy(*c);
      t = t + h;
      Finish(doc, t);
    } while (t < doc.totalTime);
  } catch (const CProfileOutOfTableException&) {
    dump.outOfTable = true;
  }
  return dump;
}

ReferenceDump ReferenceZIteration(CVarloDoc& doc, const std::string& documentPath) {
  ReferenceDump dump;
  Header(doc, documentPath, dump.text);
  try {
    SetUp(doc, true);
    double t = 0;
    double next = 0;
    do {
      double m = 0;
      for (C_MM1K_Queue* q : QueuesOf(doc)) m = std::max(m, std::fabs(Derivative(*q, t)));
      double h = 0.05 / m;
      if (h >= doc.runningStep) h = doc.runningStep;
      Adaptive(doc, t, t + h);
      if (t >= next) {
        Row(doc, t, false, dump.text);
        next = next + doc.dumpInterval;
      }
      for (const auto& link : doc.GetLinks()) {
        CheckReflection(*link->GetForwardQueue());
        CheckReflection(*link->GetBackwardQueue());
        UpdateMetrics(*link->GetForwardQueue());
        UpdateMetrics(*link->GetBackwardQueue());
        UpdateRegime(*link->GetForwardQueue(), t);
        UpdateRegime(*link->GetBackwardQueue(), t);
      }
      for (const auto& c : doc.GetClasses()) AdvanceOccupancy(*c, h);
      for (C_MM1K_Queue* q : QueuesOf(doc)) q->SumOccupancy();
      for (const auto& c : doc.GetClasses()) NormalizeOccupancy(*c);
      t = t + h;
      Finish(doc, t);
    } while (t < doc.totalTime);
  } catch (const CProfileOutOfTableException&) {
    dump.outOfTable = true;
  }
  return dump;
}

}  // namespace varlo::test
