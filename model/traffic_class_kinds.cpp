#include "model/traffic_class_kinds.h"

#include "model/const_poisson_class.h"
#include "model/tcp_class.h"
#include "model/td_poisson_class.h"
#include "model/trace_class.h"

namespace varlo {

namespace {

template <class T>
std::unique_ptr<CPersistent> Empty() {
  return std::make_unique<T>();
}

std::vector<TrafficClassKind> MakeKinds() {
  std::vector<TrafficClassKind> kinds;
  kinds.push_back({
      .type = kTypeConstPoisson,
      .persistentName = "CConstPoissonClass",
      .jsonName = "udp",
      .treeImage = kTypeConstPoisson,
      .rateSource = RateSource::kConstant,
      .parameters = {{"rate", KindParameter::kNumber, true, 0.0}},
      .createEmpty = &Empty<CConstPoissonClass>,
      .create = [](CNode* s, CNode* d, double start, double stop,
                   const KindValues& v) -> std::unique_ptr<CTrafficClass> {
        return std::make_unique<CConstPoissonClass>(s, d, start, stop, v.numbers.at("rate"));
      },
      .valuesOf =
          [](const CTrafficClass& c) {
            return KindValues{{{"rate", static_cast<const CConstPoissonClass&>(c).rate}}, {}};
          },
      .constantRate = [](const CTrafficClass& c) { return static_cast<const CConstPoissonClass&>(c).rate; },
  });
  kinds.push_back({
      .type = kTypeTCP,
      .persistentName = "CTCPClass",
      .jsonName = "tcp",
      .treeImage = kTypeTCP,
      .rateSource = RateSource::kTcpProfile,
      .parameters = {{"sinkDelay", KindParameter::kNumber, false, 0.0}},
      .createEmpty = &Empty<CTCPClass>,
      .create = [](CNode* s, CNode* d, double start, double stop,
                   const KindValues& v) -> std::unique_ptr<CTrafficClass> {
        return std::make_unique<CTCPClass>(s, d, start, stop, v.numbers.at("sinkDelay"));
      },
      .valuesOf =
          [](const CTrafficClass& c) {
            return KindValues{{{"sinkDelay", static_cast<const CTCPClass&>(c).sinkDelay}}, {}};
          },
      .constantRate = nullptr,
  });
  kinds.push_back({
      .type = kTypeTdPoisson,
      .persistentName = "CTdPoissonClass",
      .jsonName = "tdpoisson",
      .treeImage = kTypeTdPoisson,
      .rateSource = RateSource::kOwn,
      .parameters = {{"rateFile", KindParameter::kFile, true, 0.0},
                     {"reserved", KindParameter::kNumber, false, 0.0}},
      .createEmpty = &Empty<CTdPoissonClass>,
      .create = [](CNode* s, CNode* d, double start, double stop,
                   const KindValues& v) -> std::unique_ptr<CTrafficClass> {
        auto td = std::make_unique<CTdPoissonClass>(s, d, start, stop, v.files.at("rateFile"));
        td->reserved = v.numbers.at("reserved");
        return td;
      },
      .valuesOf =
          [](const CTrafficClass& c) {
            const auto& td = static_cast<const CTdPoissonClass&>(c);
            return KindValues{{{"reserved", td.reserved}}, {{"rateFile", td.rateFileName}}};
          },
      .constantRate = nullptr,
  });
  kinds.push_back({
      .type = kTypeTrace,
      .persistentName = "CTraceClass",
      .jsonName = "trace",
      .treeImage = kTypeTrace,
      .rateSource = RateSource::kOwn,
      .parameters = {{"traceFile", KindParameter::kFile, true, 0.0},
                     {"slot", KindParameter::kNumber, true, 0.0},
                     {"reserved", KindParameter::kNumber, false, 0.0},
                     {"reserved2", KindParameter::kNumber, false, 0.0}},
      .createEmpty = &Empty<CTraceClass>,
      // Reads the trace into its rate file; throws CFileException when the trace cannot be read.
      .create = [](CNode* s, CNode* d, double start, double stop,
                   const KindValues& v) -> std::unique_ptr<CTrafficClass> {
        auto trace =
            std::make_unique<CTraceClass>(s, d, start, stop, v.files.at("traceFile"), v.numbers.at("slot"));
        trace->reserved = v.numbers.at("reserved");
        trace->reserved2 = v.numbers.at("reserved2");
        return trace;
      },
      .valuesOf =
          [](const CTrafficClass& c) {
            const auto& t = static_cast<const CTraceClass&>(c);
            return KindValues{{{"slot", t.slotSize}, {"reserved", t.reserved}, {"reserved2", t.reserved2}},
                              {{"traceFile", t.traceFileName}}};
          },
      .constantRate = nullptr,
  });
  return kinds;
}

}  // namespace

const std::vector<TrafficClassKind>& TrafficClassKinds() {
  static const std::vector<TrafficClassKind> kinds = MakeKinds();
  return kinds;
}

const TrafficClassKind* FindKindByType(int type) {
  for (const TrafficClassKind& kind : TrafficClassKinds()) {
    if (kind.type == type) return &kind;
  }
  return nullptr;
}

const TrafficClassKind* FindKindByJsonName(const std::string& name) {
  for (const TrafficClassKind& kind : TrafficClassKinds()) {
    if (name == kind.jsonName) return &kind;
  }
  return nullptr;
}

const TrafficClassKind& KindOf(const CTrafficClass& c) {
  return *FindKindByType(c.GetType());
}

}  // namespace varlo
