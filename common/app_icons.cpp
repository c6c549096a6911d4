#include "common/app_icons.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace common {

namespace {

constexpr uint32_t kPaper = 0xf4f1e8;
constexpr uint32_t kGold = 0xffd166;

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

std::string Colour(uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned>(rgb & 0xffffff));
  return text;
}

IconShape Rect(uint32_t colour, double x, double y, double w, double h, double r = 0) {
  return {IconShape::kRect, colour, {x, y, w, h, r}};
}

}  // namespace

const std::vector<AppIconDoc>& AppIcons() {
  static const std::vector<AppIconDoc> icons = {
      // The converter: a page of records, an arrow, one file per record.
      {"vostrel",
       {Rect(0x2f5d8a, 2, 2, 60, 60, 12),
        Rect(kPaper, 7, 14, 19, 36, 2),
        Rect(0x7a8ca0, 11, 20, 11, 2.5),
        Rect(0x7a8ca0, 11, 26, 11, 2.5),
        Rect(0x7a8ca0, 11, 32, 11, 2.5),
        Rect(0x7a8ca0, 11, 38, 7, 2.5),
        {IconShape::kPolygon, kGold, {29, 28, 36, 28, 36, 22, 44, 32, 36, 42, 36, 36, 29, 36}},
        Rect(kPaper, 47, 16, 11, 8, 1.5),
        Rect(kPaper, 47, 28, 11, 8, 1.5),
        Rect(kPaper, 47, 40, 11, 8, 1.5)}},
      // The account inspector: a player and the list of what they carry.
      {"calmet",
       {Rect(0x3b7a57, 2, 2, 60, 60, 12),
        {IconShape::kEllipse, kPaper, {24, 24, 8, 8}},
        {IconShape::kEllipse, kPaper, {24, 50, 14, 11}},
        Rect(0x3b7a57, 8, 58, 32, 4),
        Rect(kGold, 42, 18, 14, 4, 2),
        Rect(kGold, 42, 28, 14, 4, 2),
        Rect(kGold, 42, 38, 14, 4, 2)}},
      // The restarter: a turning arrow round the server.
      {"ruvane",
       {Rect(0x8a3b3b, 2, 2, 60, 60, 12),
        {IconShape::kArc, kPaper, {32, 33, 17, 70, 275}, 6},
        {IconShape::kPolygon, kPaper, {49.9, 28.4, 54.3, 41.6, 41.7, 38.2}},
        {IconShape::kEllipse, kGold, {32, 33, 5, 5}}}},
  };
  return icons;
}

const AppIconDoc* FindAppIcon(const std::string& name) {
  for (const AppIconDoc& icon : AppIcons()) {
    if (name == icon.name) return &icon;
  }
  return nullptr;
}

IconPoint ArcPoint(const IconShape& arc, double degrees) {
  const double radians = degrees * std::numbers::pi / 180.0;
  // Screen y grows downwards, so counter-clockwise subtracts.
  return {arc.v[0] + arc.v[2] * std::cos(radians), arc.v[1] - arc.v[2] * std::sin(radians)};
}

std::string IconSvg(const AppIconDoc& icon) {
  const std::string size = std::to_string(kIconCanvas);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + size + "\" height=\"" + size +
         "\" viewBox=\"0 0 " + size + " " + size + "\">\n";
  for (const IconShape& s : icon.shapes) {
    const std::string colour = Colour(s.colour);
    switch (s.kind) {
      case IconShape::kRect:
        out += "  <rect x=\"" + Number(s.v[0]) + "\" y=\"" + Number(s.v[1]) + "\" width=\"" +
               Number(s.v[2]) + "\" height=\"" + Number(s.v[3]) + "\"";
        if (s.v[4] > 0) out += " rx=\"" + Number(s.v[4]) + "\"";
        out += " fill=\"" + colour + "\"/>\n";
        break;
      case IconShape::kEllipse:
        out += "  <ellipse cx=\"" + Number(s.v[0]) + "\" cy=\"" + Number(s.v[1]) + "\" rx=\"" +
               Number(s.v[2]) + "\" ry=\"" + Number(s.v[3]) + "\" fill=\"" + colour + "\"/>\n";
        break;
      case IconShape::kPolygon: {
        std::string points;
        for (size_t i = 0; i + 1 < s.v.size(); i += 2) {
          points += (i ? " " : "") + Number(s.v[i]) + "," + Number(s.v[i + 1]);
        }
        out += "  <polygon points=\"" + points + "\" fill=\"" + colour + "\"/>\n";
        break;
      }
      case IconShape::kArc: {
        const IconPoint from = ArcPoint(s, s.v[3]);
        const IconPoint to = ArcPoint(s, s.v[3] + s.v[4]);
        // SVG's sweep flag 1 turns clockwise on the screen.
        out += "  <path d=\"M " + Number(from.x) + " " + Number(from.y) + " A " + Number(s.v[2]) +
               " " + Number(s.v[2]) + " 0 " + (std::fabs(s.v[4]) > 180 ? "1" : "0") + " " +
               (s.v[4] > 0 ? "0" : "1") + " " + Number(to.x) + " " + Number(to.y) +
               "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" +
               Number(s.strokeWidth) + "\" stroke-linecap=\"round\"/>\n";
        break;
      }
    }
  }
  out += "</svg>\n";
  return out;
}

}  // namespace common
