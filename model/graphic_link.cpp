#include "model/graphic_link.h"

#include <utility>

#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/graphic_node.h"

namespace varlo {

CGraphicLink::CGraphicLink()
    : forward_(std::make_unique<C_MM1K_Queue>()), backward_(std::make_unique<C_MM1K_Queue>()) {
  forward_->owningLink = this;
  backward_->owningLink = this;
}

CGraphicLink::CGraphicLink(CGraphicNode* first, CGraphicNode* second, std::unique_ptr<C_MM1K_Queue> forward,
                           std::unique_ptr<C_MM1K_Queue> backward, const LinkStyle& style)
    : forward_(std::move(forward)), backward_(std::move(backward)) {
  if (!forward_) forward_ = std::make_unique<C_MM1K_Queue>();
  if (!backward_) backward_ = std::make_unique<C_MM1K_Queue>();
  forward_->owningLink = this;
  backward_->owningLink = this;
  SetNodes(first, second);
  SetStyle(style);
}

CGraphicLink::~CGraphicLink() = default;

void CGraphicLink::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteI32(thickness);
    ar.WriteU32(lineColor);
    ar.WriteU32(bufferColor1);
    ar.WriteU32(bufferColor2);
    ar.WriteU16(firstNumber_);
    ar.WriteU16(secondNumber_);
  } else {
    thickness = ar.ReadI32();
    lineColor = ar.ReadU32();
    bufferColor1 = ar.ReadU32();
    bufferColor2 = ar.ReadU32();
    firstNumber_ = ar.ReadU16();
    secondNumber_ = ar.ReadU16();
  }
  // The queues' fields follow without an object header: they belong to the link.
  GetForwardQueue()->Serialize(ar);
  GetBackwardQueue()->Serialize(ar);
}

void CGraphicLink::SetNodes(CGraphicNode* first, CGraphicNode* second) {
  first_ = first;
  second_ = second;
  if (first != nullptr) firstNumber_ = first->GetNumber();
  if (second != nullptr) secondNumber_ = second->GetNumber();
  forward_->fromNode = first;
  forward_->toNode = second;
  backward_->fromNode = second;
  backward_->toNode = first;
}

void CGraphicLink::SetStyle(const LinkStyle& s) {
  thickness = s.thickness;
  lineColor = s.lineColor;
  bufferColor1 = s.bufferColor1;
  bufferColor2 = s.bufferColor2;
}

void CGraphicLink::GetMidpoint(std::int32_t& mx, std::int32_t& my) const {
  if (first_ == nullptr || second_ == nullptr) {
    mx = my = 0;
    return;
  }
  // In 64 bits: nodes far apart must not overflow the difference.
  const std::int64_t x1 = first_->x, y1 = first_->y, x2 = second_->x, y2 = second_->y;
  mx = static_cast<std::int32_t>(x1 + (x2 - x1) / 2);
  my = static_cast<std::int32_t>(y1 + (y2 - y1) / 2);
}

bool CGraphicLink::HitTest(std::int32_t px, std::int32_t py) const {
  if (first_ == nullptr || second_ == nullptr) return false;
  std::int32_t mx, my;
  GetMidpoint(mx, my);
  const std::int64_t x = px, y = py;
  return x >= std::int64_t{mx} - 3 && x < std::int64_t{mx} + 3 && y >= std::int64_t{my} - 3 &&
         y < std::int64_t{my} + 3;
}

}  // namespace varlo
