#include "app/Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace vako {
namespace {

// A note glyph in a 100 x 100 box: head at the lower left, stem up, flags.
void paintNote(QPainter& p, bool hollow, bool stem, int flags, bool dot) {
    p.setPen(QPen(Qt::black, 6));
    p.setBrush(hollow ? Qt::NoBrush : QBrush(Qt::black));
    p.save();
    p.translate(38, 76);
    p.rotate(-22);
    p.drawEllipse(QPointF(0, 0), 17, 11);
    p.restore();
    if (stem) p.drawLine(QPointF(53, 70), QPointF(53, 10));
    p.setPen(QPen(Qt::black, 7, Qt::SolidLine, Qt::RoundCap));
    for (int f = 0; f < flags; ++f) {
        QPainterPath flag;
        const double y = 10 + f * 18;
        flag.moveTo(53, y);
        flag.cubicTo(62, y + 10, 80, y + 14, 74, y + 34);
        p.setBrush(Qt::NoBrush);
        p.drawPath(flag);
    }
    if (dot) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(QPointF(78, 74), 7, 7);
    }
}

} // namespace

QPixmap paintPicture(PictureId id, int sizePx, double devicePixelRatio) {
    const int device = std::max(1, static_cast<int>(sizePx * devicePixelRatio));
    QPixmap pm(device, device);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(device / 100.0, device / 100.0);
    switch (id) {
    case PictureId::Play: {
        QPainterPath tri;
        tri.moveTo(28, 18);
        tri.lineTo(84, 50);
        tri.lineTo(28, 82);
        tri.closeSubpath();
        p.setPen(QPen(QColor(20, 90, 30), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(60, 170, 70));
        p.drawPath(tri);
        break;
    }
    case PictureId::Stop:
        p.setPen(QPen(QColor(110, 20, 20), 5));
        p.setBrush(QColor(200, 50, 50));
        p.drawRoundedRect(QRectF(24, 24, 52, 52), 6, 6);
        break;
    case PictureId::Whole:
        paintNote(p, true, false, 0, false);
        break;
    case PictureId::Half:
        paintNote(p, true, true, 0, false);
        break;
    case PictureId::Quarter:
        paintNote(p, false, true, 0, false);
        break;
    case PictureId::Eighth:
        paintNote(p, false, true, 1, false);
        break;
    case PictureId::Sixteenth:
        paintNote(p, false, true, 2, false);
        break;
    case PictureId::DottedHalf:
        paintNote(p, true, true, 0, true);
        break;
    case PictureId::DottedQuarter:
        paintNote(p, false, true, 0, true);
        break;
    case PictureId::DottedEighth:
        paintNote(p, false, true, 1, true);
        break;
    case PictureId::Custom: {
        paintNote(p, false, true, 0, false);
        p.setPen(QPen(QColor(40, 40, 160), 6));
        QFont f;
        f.setPixelSize(44);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(50, 40, 50, 60), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case PictureId::None:
        break;
    }
    p.end();
    pm.setDevicePixelRatio(devicePixelRatio);
    return pm;
}

} // namespace vako
