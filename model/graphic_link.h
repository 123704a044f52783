// A link between two nodes: two directed M/M/1/K queues (owned) and the drawing attributes.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/colors.h"
#include "model/persistent.h"

namespace varlo {

class CDrawContext;
class CGraphicNode;
class C_MM1K_Queue;

// Thickness and colours that a new link receives.
struct LinkStyle {
  std::int32_t thickness = 2;
  ColorRef lineColor = 0x000080;
  ColorRef bufferColor1 = 0x008020;
  ColorRef bufferColor2 = 0xC00000;
};

class CGraphicLink : public CPersistent {
 public:
  CGraphicLink();  // empty, for reading: creates its two empty queues
  // Takes ownership of both queues, makes itself their link and takes the style given.
  CGraphicLink(CGraphicNode* first, CGraphicNode* second, std::unique_ptr<C_MM1K_Queue> forward,
               std::unique_ptr<C_MM1K_Queue> backward, const LinkStyle& style = LinkStyle{});
  ~CGraphicLink() override;
  CGraphicLink(const CGraphicLink&) = delete;
  CGraphicLink& operator=(const CGraphicLink&) = delete;

  const char* GetRuntimeClassName() const override { return "CGraphicLink"; }
  void Serialize(CArchive& ar) override;

  CGraphicNode* GetFirstNode() const { return first_; }
  CGraphicNode* GetSecondNode() const { return second_; }
  // Sets both ends (used when a file is read); also sets the queues' from/to nodes.
  void SetNodes(CGraphicNode* first, CGraphicNode* second);
  C_MM1K_Queue* GetForwardQueue() const { return forward_.get(); }
  C_MM1K_Queue* GetBackwardQueue() const { return backward_.get(); }
  std::uint16_t GetFirstNumber() const { return firstNumber_; }
  std::uint16_t GetSecondNumber() const { return secondNumber_; }

  LinkStyle GetStyle() const { return LinkStyle{thickness, lineColor, bufferColor1, bufferColor2}; }
  void SetStyle(const LinkStyle& s);

  // Erases and draws the line, its handle and the two buffer bars (graphic_link_draw.cpp).
  void Draw(CDrawContext& dc) const;

  // Middle of the line (integer division), where the handle is drawn.
  void GetMidpoint(std::int32_t& mx, std::int32_t& my) const;
  // The handle square (mx-3, my-3)-(mx+3, my+3), right and bottom edges excluded.
  bool HitTest(std::int32_t px, std::int32_t py) const;

  std::int32_t thickness = 2;
  ColorRef lineColor = 0x000080;
  ColorRef bufferColor1 = 0x008020;
  ColorRef bufferColor2 = 0xC00000;
  bool highlighted = false;  // run-time only

 private:
  CGraphicNode* first_ = nullptr;
  CGraphicNode* second_ = nullptr;
  std::unique_ptr<C_MM1K_Queue> forward_;
  std::unique_ptr<C_MM1K_Queue> backward_;
  std::uint16_t firstNumber_ = 0;
  std::uint16_t secondNumber_ = 0;
};

}  // namespace varlo
