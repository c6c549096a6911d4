#include "common/qt/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include "common/app_icons.h"

namespace common {

QImage PaintAppIcon(const char* name, int size) {
  const AppIconDoc* icon = FindAppIcon(name);
  if (!icon) return {};
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(double(size) / kIconCanvas, double(size) / kIconCanvas);
  for (const IconShape& s : icon->shapes) {
    const QColor colour = QColor::fromRgb(s.colour);
    const std::vector<double>& v = s.v;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    switch (s.kind) {
      case IconShape::kRect:
        p.drawRoundedRect(QRectF(v[0], v[1], v[2], v[3]), v[4], v[4]);
        break;
      case IconShape::kEllipse:
        p.drawEllipse(QPointF(v[0], v[1]), v[2], v[3]);
        break;
      case IconShape::kPolygon: {
        QPolygonF polygon;
        for (size_t i = 0; i + 1 < v.size(); i += 2) polygon << QPointF(v[i], v[i + 1]);
        p.drawPolygon(polygon);
        break;
      }
      case IconShape::kArc: {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, s.strokeWidth, Qt::SolidLine, Qt::RoundCap));
        // The toolkit's angles run counter-clockwise from three o'clock too.
        p.drawArc(QRectF(v[0] - v[2], v[1] - v[2], 2 * v[2], 2 * v[2]), int(v[3] * 16),
                  int(v[4] * 16));
        break;
      }
    }
  }
  return image;
}

QIcon AppIcon(const char* name) {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QImage image = PaintAppIcon(name, size);
    if (image.isNull()) return {};
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

}  // namespace common
