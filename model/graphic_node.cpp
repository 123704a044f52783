#include "model/graphic_node.h"

#include "model/archive.h"

namespace varlo {

const char* const kShapeNames[7] = {"Circle",        "Rectangle",   "Diamond",   "Icon - Host",
                                    "Icon - Switch", "Icon - Join", "Icon - Net"};

CGraphicNode::CGraphicNode() = default;

CGraphicNode::CGraphicNode(std::uint16_t number, std::string name, std::int32_t x, std::int32_t y)
    : CNode(number, std::move(name)), x(x), y(y), size(kDefaultSize) {}

void CGraphicNode::Serialize(CArchive& ar) {
  CNode::Serialize(ar);
  if (ar.IsStoring()) {
    // The position is one 8-byte point record, x first.
    ar.WriteI32(x);
    ar.WriteI32(y);
    ar.WriteI32(size);
    ar.WriteI32(shape);
    ar.WriteU32(backColor);
    ar.WriteU32(foreColor);
    ar.WriteU32(textColor);
  } else {
    x = ar.ReadI32();
    y = ar.ReadI32();
    size = ar.ReadI32();
    shape = ar.ReadI32();
    backColor = ar.ReadU32();
    foreColor = ar.ReadU32();
    textColor = ar.ReadU32();
  }
}

}  // namespace varlo
