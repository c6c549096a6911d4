// The programs' icons, drawn from a few shapes on a 64 by 64 canvas: the
// windows paint them (common/qt/app_icon.h) and the package installs them as
// scalable icons made from the same shapes, so the two cannot differ.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace common {

struct IconShape {
  enum Kind {
    kRect,     // x y width height corner-radius
    kEllipse,  // centre-x centre-y radius-x radius-y
    kPolygon,  // x0 y0 x1 y1 ...
    kArc,      // centre-x centre-y radius start sweep: degrees, counter-clockwise
               // from three o'clock; stroked, never filled
  };
  Kind kind;
  uint32_t colour;  // 0xRRGGBB: the fill, or the stroke of an arc
  std::vector<double> v;
  double strokeWidth = 0;  // arcs only
};

struct AppIconDoc {
  const char* name;  // as the icon theme and the desktop entry know it
  std::vector<IconShape> shapes;  // painted in order
};

inline constexpr int kIconCanvas = 64;

const std::vector<AppIconDoc>& AppIcons();
// Null when there is no icon of that name.
const AppIconDoc* FindAppIcon(const std::string& name);

// The icon as an SVG document.
std::string IconSvg(const AppIconDoc& icon);

// The two ends of an arc shape, on the canvas.
struct IconPoint {
  double x, y;
};
IconPoint ArcPoint(const IconShape& arc, double degrees);

}  // namespace common
