#include "platform/qt/QtCanvas.h"

#include <QFontMetricsF>

#include <algorithm>

namespace vako {
namespace {

QColor qcolour(Rgb c) {
    return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

// View units per pixel of the view at its designed size (1200 units on 624 pixels).
constexpr double kUnitsPerDesignPixel = 1200.0 / 624.0;

} // namespace

QtCanvas::QtCanvas(double left, double top, double viewWidth, double viewHeight)
    : m_viewWidth(viewWidth), m_viewHeight(viewHeight) {
    setOrigin(left, top);
    resize(static_cast<int>(viewWidth / kUnitsPerDesignPixel),
           static_cast<int>(viewHeight / kUnitsPerDesignPixel), 1.0);
}

QtCanvas::QtCanvas(QPainter& paper, double left, double top, double viewWidth,
                   double viewHeight, const QRectF& target)
    : m_viewWidth(viewWidth), m_viewHeight(viewHeight), m_paper(&paper) {
    setOrigin(left, top);
    m_scale = std::min(target.width() / viewWidth, target.height() / viewHeight);
    m_offset = target.topLeft();
    paper.save();
    paper.setClipRect(target, Qt::IntersectClip);
}

QtCanvas::~QtCanvas() {
    if (m_paper) m_paper->restore();
}

void QtCanvas::resize(int widthPx, int heightPx, double devicePixelRatio) {
    m_painter.reset();
    ++m_version;
    m_image = QImage(std::max(1, widthPx), std::max(1, heightPx), QImage::Format_RGB32);
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_scale = std::min(m_image.width() / m_viewWidth, m_image.height() / m_viewHeight);
    m_sprites.clear();
    m_image.fill(qcolour(colour::kViewGrey));
}

const QImage& QtCanvas::image() {
    m_painter.reset();
    return m_image;
}

QPointF QtCanvas::toPixel(double x, double y) const {
    return {m_offset.x() + (x - left()) * m_scale, m_offset.y() + (y - top()) * m_scale};
}

QPainter& QtCanvas::painter() {
    if (m_paper) return *m_paper;
    if (!m_painter) {
        // Every drawing after the image was last taken starts here.
        ++m_version;
        m_painter = std::make_unique<QPainter>(&m_image);
        // Coordinates are in device pixels whatever the image's pixel ratio.
        m_painter->resetTransform();
        m_painter->scale(1.0 / m_image.devicePixelRatio(), 1.0 / m_image.devicePixelRatio());
    }
    return *m_painter;
}

double QtCanvas::penWidth() const {
    // On paper half a design pixel: a staff line of the window is a heavy
    // line on paper, where nothing needs a whole pixel.
    if (m_paper) return drawWidth() * m_scale * kUnitsPerDesignPixel * 0.5;
    return drawWidth() * std::max(1.0, m_scale * kUnitsPerDesignPixel);
}

const QFont& QtCanvas::fontForSize() const {
    const double key = fontSize() * 1e6 + m_scale;
    if (key != m_fontKey) {
        m_font = QFont(m_family);
        m_font.setStyleHint(QFont::SansSerif);
        m_font.setPixelSize(
            std::max(1, static_cast<int>(fontSize() * kViewUnitsPerPoint * m_scale + 0.5)));
        const QFontMetricsF metrics(m_font);
        m_fontAscent = metrics.ascent();
        m_fontHeight = metrics.height();
        m_fontKey = key;
    }
    return m_font;
}

double QtCanvas::ascent() const {
    fontForSize();
    return m_fontAscent;
}

double QtCanvas::textHeight() const {
    fontForSize();
    return m_fontHeight / m_scale;
}

double QtCanvas::textWidth(const std::string& text) const {
    const QFontMetricsF metrics(fontForSize());
    return metrics.horizontalAdvance(QString::fromStdString(text)) / m_scale;
}

void QtCanvas::clear() {
    if (m_paper) { // the paper stays white
        resetTextPosition();
        return;
    }
    QPainter& p = painter();
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QRectF all(0, 0, m_image.width(), m_image.height());
    p.fillRect(all, qcolour(colour::kViewGrey));
    if (!m_persistent.isNull()) p.drawImage(all, m_persistent);
    resetTextPosition();
}

void QtCanvas::line(double x1, double y1, double x2, double y2, Rgb colour) {
    QPainter& p = painter();
    const bool straight = x1 == x2 || y1 == y2;
    p.setRenderHint(QPainter::Antialiasing, !straight);
    QPen pen(qcolour(colour), penWidth());
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    QPointF a = toPixel(x1, y1), b = toPixel(x2, y2);
    if (straight && !m_paper) { // crisp grid lines on whole pixels
        a = QPointF(std::floor(a.x()) + 0.5, std::floor(a.y()) + 0.5);
        b = QPointF(std::floor(b.x()) + 0.5, std::floor(b.y()) + 0.5);
    }
    p.drawLine(a, b);
}

void QtCanvas::box(double x1, double y1, double x2, double y2, Rgb colour, bool filled) {
    QPainter& p = painter();
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRectF r = QRectF(toPixel(x1, y1), toPixel(x2, y2)).normalized();
    if (filled) {
        p.fillRect(r, qcolour(colour));
    } else {
        p.setPen(QPen(qcolour(colour), penWidth()));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
    }
}

void QtCanvas::circle(double x, double y, double radius, Rgb colour, double aspect) {
    QPainter& p = painter();
    const double rx = radius * m_scale, ry = radius * aspect * m_scale;
    const double pen = std::max(1.0, penWidth() * 0.9);
    const bool solid = fillStyle() == FillStyle::Solid;
    auto paint = [&](QPainter& q, QPointF centre) {
        q.setRenderHint(QPainter::Antialiasing, true);
        q.setPen(QPen(qcolour(colour), pen));
        if (solid)
            q.setBrush(qcolour(fillColour()));
        else
            q.setBrush(Qt::NoBrush);
        q.drawEllipse(centre, rx, ry);
    };
    if (m_paper || rx > 40 || ry > 40) { // large circles and paper are drawn directly
        paint(p, toPixel(x, y));
        return;
    }
    const std::string key =
        std::to_string(colour) + '/' + std::to_string(solid ? fillColour() : 1u << 24) + '/' +
        std::to_string(rx) + '/' + std::to_string(ry) + '/' + std::to_string(pen);
    auto it = m_sprites.find(key);
    if (it == m_sprites.end()) {
        const int w = static_cast<int>(std::ceil(2 * rx + pen + 2));
        const int h = static_cast<int>(std::ceil(2 * ry + pen + 2));
        QImage sprite(w, h, QImage::Format_ARGB32_Premultiplied);
        sprite.fill(Qt::transparent);
        QPainter q(&sprite);
        paint(q, QPointF(w / 2.0, h / 2.0));
        q.end();
        it = m_sprites.emplace(key, std::move(sprite)).first;
    }
    const QImage& sprite = it->second;
    const QPointF c = toPixel(x, y);
    p.drawImage(QPointF(std::round(c.x() - sprite.width() / 2.0),
                        std::round(c.y() - sprite.height() / 2.0)),
                sprite);
}

void QtCanvas::point(double x, double y) {
    QPainter& p = painter();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(qcolour(foreColour()));
    const double r = penWidth() / 2;
    p.drawEllipse(toPixel(x, y), r, r);
}

void QtCanvas::print(const std::string& text) {
    QPainter& p = painter();
    const QFont& f = fontForSize();
    if (m_textsFontKey != m_fontKey) { // laid out for another font
        m_texts.clear();
        m_textsFontKey = m_fontKey;
    }
    p.setFont(f);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(qcolour(foreColour()));
    if (m_paper) { // text as text, from its baseline
        const QPointF at = toPixel(currentX(), currentY());
        p.drawText(QPointF(at.x(), at.y() + ascent()), QString::fromStdString(text));
        nextTextLine();
        return;
    }
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        QStaticText laidOut(QString::fromStdString(text));
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), f);
        it = m_texts.emplace(text, std::move(laidOut)).first;
    }
    p.drawStaticText(toPixel(currentX(), currentY()), it->second);
    nextTextLine();
}

bool QtCanvas::loadPicture(const std::string& path, double& width, double& height) {
    QImage loaded(QString::fromStdString(path));
    if (loaded.isNull()) return false;
    m_loaded = loaded;
    width = loaded.width() * kUnitsPerPicturePixel;
    height = loaded.height() * kUnitsPerPicturePixel;
    return true;
}

void QtCanvas::drawPicture(double x, double y, double width, double height) {
    if (m_loaded.isNull() || m_paper) return;
    QPainter& p = painter();
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(QRectF(toPixel(x, y), QSizeF(width * m_scale, height * m_scale)), m_loaded);
}

void QtCanvas::keepAsPersistentPicture() {
    if (m_paper) return;
    m_painter.reset();
    m_persistent = m_image.copy();
}

void QtCanvas::dropPersistentPicture() {
    m_persistent = QImage();
}

} // namespace vako
