// The score view's canvas on Qt: a retained image in device pixels that the
// widget only copies to the screen. View units map onto it with one scale for
// both axes; pens and dots are as many design pixels wide as asked.
//
// On paper the canvas draws through a painter it is given (a PDF file, a
// printer) into a rectangle of that device: every line, head and dot as a
// path and every text as text, nothing rasterised, on the paper's white.
#pragma once

#include "platform/Canvas.h"

#include <QFont>
#include <cstdint>
#include <QImage>
#include <QPainter>
#include <QStaticText>
#include <QString>

#include <unordered_map>

#include <memory>

namespace vako {

class QtCanvas : public Canvas {
public:
    // `viewWidth` x `viewHeight` units from (left, top).
    QtCanvas(double left, double top, double viewWidth, double viewHeight);
    // On paper: the view units' rectangle maps onto `target` (device units of
    // `paper`'s device), whose painter stays the caller's; drawing is clipped
    // to the target.
    QtCanvas(QPainter& paper, double left, double top, double viewWidth, double viewHeight,
             const QRectF& target);
    ~QtCanvas() override;

    // A new blank image of `pixels` device pixels for a widget of that size
    // divided by `devicePixelRatio`. What was drawn is lost; redraw afterwards.
    void resize(int widthPx, int heightPx, double devicePixelRatio);
    // The retained image, finished for copying.
    const QImage& image();
    // Moves on whenever the image may have changed (a drawing, a resize): a
    // widget that showed one version need not copy the image again for it.
    uint64_t version() const { return m_version; }
    // Device pixels per view unit.
    double scale() const { return m_scale; }
    QPointF toPixel(double x, double y) const;

    // The font family used for text (a Japanese gothic face).
    void setFontFamily(const QString& family) { m_family = family; }

    void clear() override;
    void line(double x1, double y1, double x2, double y2, Rgb colour) override;
    using Canvas::line;
    void box(double x1, double y1, double x2, double y2, Rgb colour, bool filled) override;
    void circle(double x, double y, double radius, Rgb colour, double aspect) override;
    void point(double x, double y) override;
    void print(const std::string& text) override;
    bool loadPicture(const std::string& path, double& width, double& height) override;
    void drawPicture(double x, double y, double width, double height) override;
    void keepAsPersistentPicture() override;
    void dropPersistentPicture() override;
    double textHeight() const override;
    double textWidth(const std::string& text) const override;

    // View units per pixel of a picture file (pictures tile at their designed size).
    static constexpr double kUnitsPerPicturePixel = 1200.0 / 624.0;

private:
    QPainter& painter();
    const QFont& fontForSize() const;
    double ascent() const;
    double penWidth() const;

    double m_viewWidth, m_viewHeight;
    double m_scale = 1;
    QImage m_image;
    QImage m_loaded;
    QImage m_persistent;
    QString m_family = QStringLiteral("Noto Sans CJK JP");
    std::unique_ptr<QPainter> m_painter;
    QPainter* m_paper = nullptr; // set on paper
    QPointF m_offset;            // the view's top-left corner in device units
    uint64_t m_version = 0;
    // The font of the last size asked for, with its metrics in pixels.
    mutable QFont m_font;
    mutable double m_fontKey = -1;
    mutable double m_fontAscent = 0, m_fontHeight = 0;
    // Laid-out texts of the current font (note names and bar numbers repeat).
    std::unordered_map<std::string, QStaticText> m_texts;
    double m_textsFontKey = -1;
    // Small ellipses drawn once and copied: note heads repeat by the thousand.
    std::unordered_map<std::string, QImage> m_sprites;
};

} // namespace vako
