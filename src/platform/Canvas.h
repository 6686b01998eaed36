// The drawing surface of a score view: a retained picture in the view's own
// user units (x to the right, y downwards, as the view's scale sets them). What
// is drawn stays until the next clear; there is no repaint from the model.
#pragma once

#include <cstdint>
#include <string>

namespace vako {

// A colour as 0xRRGGBB.
using Rgb = uint32_t;

constexpr Rgb rgb(int r, int g, int b) {
    return (static_cast<Rgb>(r & 0xFF) << 16) | (static_cast<Rgb>(g & 0xFF) << 8) |
           static_cast<Rgb>(b & 0xFF);
}

namespace colour {
constexpr Rgb kBlack = rgb(0, 0, 0);
constexpr Rgb kWhite = rgb(255, 255, 255);
constexpr Rgb kRed = rgb(255, 0, 0);
constexpr Rgb kBlue = rgb(0, 0, 255);
constexpr Rgb kGrey = rgb(128, 128, 128);       // beat lines
constexpr Rgb kLightGrey = rgb(212, 212, 212);  // division lines
constexpr Rgb kViewGrey = rgb(192, 192, 192);   // background of the score view
constexpr Rgb kLightCyan = rgb(0, 255, 255);    // tempo markers
constexpr Rgb kMagenta = rgb(255, 0, 255);      // instrument markers
constexpr Rgb kYellow = rgb(255, 255, 0);       // volume markers
constexpr Rgb kLightRed = rgb(255, 192, 192);   // the chosen part button
constexpr Rgb kSelectedNote = rgb(255, 128, 0); // the ring behind a selected note head
constexpr Rgb kFadedBlack = rgb(150, 150, 150); // notes of a part that does not sound
// The caption of a part button whose part does not sound: set apart from
// black, and still as legible on the chosen button's light red as on white.
constexpr Rgb kSilentPartCaption = rgb(88, 88, 88);
constexpr Rgb kFadedRed = rgb(240, 150, 150);
constexpr Rgb kFadedBlue = rgb(150, 150, 240);
constexpr Rgb kLoopSpan = rgb(0, 150, 0); // the loop's bars on the bar-number row
} // namespace colour

enum class FillStyle { Solid, Transparent };

// Font sizes are in points. At the view's designed size one point is this many
// view units (9.75 pt text is about 24 units high, so labels 30 units apart
// do not touch).
constexpr double kViewUnitsPerPoint = 2.5;

class Canvas {
public:
    virtual ~Canvas() = default;

    // Erases to the background colour, shows the persistent picture (if any)
    // and puts the text position at the top-left corner.
    virtual void clear() = 0;
    // Pen width is the draw width; without a colour the fore colour is used.
    virtual void line(double x1, double y1, double x2, double y2, Rgb colour) = 0;
    void line(double x1, double y1, double x2, double y2) { line(x1, y1, x2, y2, m_foreColour); }
    // Rectangle with corners (x1, y1) and (x2, y2), outlined or filled.
    virtual void box(double x1, double y1, double x2, double y2, Rgb colour, bool filled) = 0;
    // Ellipse of half-width `radius` and half-height radius * aspect; the
    // outline in `colour`, the inside in the fill colour when the fill style is
    // solid.
    virtual void circle(double x, double y, double radius, Rgb colour, double aspect) = 0;
    // A dot draw-width pixels across, in the fore colour.
    virtual void point(double x, double y) = 0;
    // Text with its top-left corner at the text position, in the fore colour
    // and the font size. Afterwards the text position is at the left edge, one
    // text line lower.
    virtual void print(const std::string& text) = 0;

    // Background picture: `loadPicture` reads a ".bmp"/".jpg" file into the
    // spare picture slot and gives its size in view units; `drawPicture` copies
    // the loaded picture; `keepAsPersistentPicture` makes the current drawing
    // what `clear` restores, `dropPersistentPicture` returns to the plain
    // background.
    virtual bool loadPicture(const std::string& path, double& width, double& height) = 0;
    virtual void drawPicture(double x, double y, double width, double height) = 0;
    virtual void keepAsPersistentPicture() = 0;
    virtual void dropPersistentPicture() = 0;

    // Height of one line of text at the current font size, in view units.
    virtual double textHeight() const { return m_fontSize * kViewUnitsPerPoint * 1.25; }
    // Width of `text` (UTF-8) at the current font size, in view units. This
    // estimate (a full em for Japanese characters, a little over half an em
    // for others) is what surfaces without a font use.
    virtual double textWidth(const std::string& text) const {
        double ems = 0;
        for (const char c : text) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80)
                ems += 0.6;
            else if (b >= 0xE0)
                ems += 1.0; // the lead byte of a three-byte (or longer) character
            else if (b >= 0xC0)
                ems += 0.6;
        }
        return ems * m_fontSize * kViewUnitsPerPoint;
    }

    void setForeColour(Rgb c) { m_foreColour = c; }
    void setFillColour(Rgb c) { m_fillColour = c; }
    void setFillStyle(FillStyle s) { m_fillStyle = s; }
    void setDrawWidth(int pixels) { m_drawWidth = pixels; }
    void setFontSize(double points) { m_fontSize = points; }
    void setCurrentX(double x) { m_currentX = x; }
    void setCurrentY(double y) { m_currentY = y; }

    Rgb foreColour() const { return m_foreColour; }
    Rgb fillColour() const { return m_fillColour; }
    FillStyle fillStyle() const { return m_fillStyle; }
    int drawWidth() const { return m_drawWidth; }
    double fontSize() const { return m_fontSize; }
    double currentX() const { return m_currentX; }
    double currentY() const { return m_currentY; }

    // The top-left corner of the view in its units; `clear` and `print` return
    // the text position's x there.
    void setOrigin(double left, double top) { m_left = left, m_top = top; }
    double left() const { return m_left; }
    double top() const { return m_top; }

protected:
    void resetTextPosition() { m_currentX = m_left, m_currentY = m_top; }
    void nextTextLine() { m_currentX = m_left, m_currentY += textHeight(); }

private:
    Rgb m_foreColour = colour::kBlack;
    Rgb m_fillColour = colour::kBlack;
    FillStyle m_fillStyle = FillStyle::Transparent;
    int m_drawWidth = 1;
    double m_fontSize = 9.75;
    double m_currentX = 0, m_currentY = 0;
    double m_left = 0, m_top = 0;
};

} // namespace vako
