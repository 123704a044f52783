// Helpers shared by the model tests: little-endian byte spelling, a recording view, small networks.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/persistent.h"

namespace varlo::testing {

using Bytes = std::vector<std::uint8_t>;

// Spells file contents field by field, as the format tables give them.
class ByteSpeller {
 public:
  ByteSpeller& U8(std::uint8_t v) {
    bytes.push_back(v);
    return *this;
  }
  ByteSpeller& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  ByteSpeller& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  ByteSpeller& Double(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return U32(static_cast<std::uint32_t>(bits)).U32(static_cast<std::uint32_t>(bits >> 32));
  }
  ByteSpeller& Chars(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  ByteSpeller& Raw(std::initializer_list<std::uint8_t> b) {
    bytes.insert(bytes.end(), b);
    return *this;
  }
  // A new-class record: tag 0xFFFF, schema, name length, name.
  ByteSpeller& NewClass(const std::string& name, std::uint16_t schema = 1) {
    return U16(0xFFFF).U16(schema).U16(static_cast<std::uint16_t>(name.size())).Chars(name);
  }
  // A short archive string (length below 255).
  ByteSpeller& ShortString(const std::string& s) { return U8(static_cast<std::uint8_t>(s.size())).Chars(s); }
  // Queue fields: rate, delay, weight, buffer.
  ByteSpeller& Queue(double rate, double delay, std::uint16_t weight, double buffer) {
    return Double(rate).Double(delay).U16(weight).Double(buffer);
  }
  // A node's fields after its tag.
  ByteSpeller& NodeFields(std::uint16_t number, const std::string& name, std::int32_t x, std::int32_t y,
                          std::int32_t size = 16, std::int32_t shape = 3) {
    return U16(number)
        .ShortString(name)
        .U32(static_cast<std::uint32_t>(x))
        .U32(static_cast<std::uint32_t>(y))
        .U32(static_cast<std::uint32_t>(size))
        .U32(static_cast<std::uint32_t>(shape))
        .U32(0x800000)
        .U32(0xFFC0C0)
        .U32(0x800000);
  }
  // A link's fields after its tag, with the default style and the given queue parameters.
  ByteSpeller& LinkFields(std::uint16_t first, std::uint16_t second, double rate = 1000.0,
                          double buffer = 50.0) {
    return U32(2)
        .U32(0x000080)
        .U32(0x008020)
        .U32(0xC00000)
        .U16(first)
        .U16(second)
        .Queue(rate, 0.0, 1, buffer)
        .Queue(rate, 0.0, 1, buffer);
  }
  // A class's common fields and a UDP rate.
  ByteSpeller& UdpFields(std::uint16_t source, std::uint16_t destination, double start, double stop,
                         double rate) {
    return U16(source).U16(destination).Double(start).Double(stop).Double(rate);
  }

  Bytes bytes;
};

struct Update {
  IDocumentView* sender;
  int hint;
  CPersistent* object;
};

class RecordingView : public IDocumentView {
 public:
  void OnUpdate(IDocumentView* sender, int hint, CPersistent* object) override {
    updates.push_back(Update{sender, hint, object});
  }
  std::vector<int> Hints() const {
    std::vector<int> hints;
    for (const Update& u : updates) hints.push_back(u.hint);
    return hints;
  }
  std::vector<Update> updates;
};

// Joins a and b by a link with 1000 packets/s and 50-packet queues both ways.
inline CGraphicLink* Connect(CVarloDoc& doc, CGraphicNode* a, CGraphicNode* b) {
  auto link = std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 50.0, 0.0),
                                             std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 50.0, 0.0));
  CGraphicLink* raw = link.get();
  doc.AddLink(std::move(link));
  return raw;
}

inline CConstPoissonClass* AddUdp(CVarloDoc& doc, CNode* source, CNode* destination, double rate = 100.0) {
  auto c = std::make_unique<CConstPoissonClass>(source, destination, 0.0, 10.0, rate);
  CConstPoissonClass* raw = c.get();
  doc.AddClass(std::move(c));
  return raw;
}

inline std::vector<std::uint16_t> NodeNumbers(const CVarloDoc& doc) {
  std::vector<std::uint16_t> numbers;
  for (const CGraphicNode* n : doc.NodesInTableOrder()) numbers.push_back(n->GetNumber());
  return numbers;
}

// Reads bytes as a network file into doc.
inline void LoadNetwork(CVarloDoc& doc, Bytes bytes, const std::string& name = "test.net") {
  CArchive ar(std::move(bytes), name);
  doc.Serialize(ar);
}

}  // namespace varlo::testing
