// A node as drawn on the canvas: position, size, shape and colours.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/colors.h"
#include "model/node.h"

namespace varlo {

class CDrawContext;
struct Rect;

enum NodeShape : std::int32_t {
  kShapeCircle = 0,
  kShapeRectangle = 1,
  kShapeDiamond = 2,
  kShapeIconHost = 3,
  kShapeIconSwitch = 4,
  kShapeIconJoin = 5,
  kShapeIconNet = 6,
};

// The names of the shapes, in the order of the node dialog's list.
extern const char* const kShapeNames[7];

class CGraphicNode : public CNode {
 public:
  static constexpr std::int32_t kDefaultSize = 16;
  static constexpr std::int32_t kReadSize = 12;  // size of an empty node before a file fills it
  static constexpr std::int32_t kDefaultShape = kShapeIconHost;
  static constexpr ColorRef kDefaultBackColor = 0x800000;
  static constexpr ColorRef kDefaultForeColor = 0xFFC0C0;
  static constexpr ColorRef kDefaultTextColor = 0x800000;

  CGraphicNode();  // empty, for reading
  CGraphicNode(std::uint16_t number, std::string name, std::int32_t x, std::int32_t y);

  const char* GetRuntimeClassName() const override { return "CGraphicNode"; }
  void Serialize(CArchive& ar) override;

  std::int32_t x = 0, y = 0;
  std::int32_t size = kReadSize;
  std::int32_t shape = kDefaultShape;
  ColorRef backColor = kDefaultBackColor;
  ColorRef foreColor = kDefaultForeColor;
  ColorRef textColor = kDefaultTextColor;
  bool highlighted = false;  // run-time only

  // Draws the shape, the name above it and, when highlighted, the frame (graphic_node_draw.cpp).
  void Draw(CDrawContext& dc) const;
  // The area Draw may touch, in model units: shape, label and frame (the label measured on dc).
  Rect GetBoundingRect(CDrawContext& dc) const;

  // The hit square (x-s, y-s)-(x+s, y+s), right and bottom edges excluded.
  // In 64 bits, so that coordinates and sizes near the 32-bit limits cannot overflow.
  bool HitTest(std::int32_t px, std::int32_t py) const {
    const std::int64_t s = size;
    return px >= x - s && px < x + s && py >= y - s && py < y + s;
  }
};

}  // namespace varlo
