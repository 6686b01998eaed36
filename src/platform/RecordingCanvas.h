// A canvas that keeps a list of what was drawn, for tests and benchmarks. Each
// operation stores the state it was drawn with.
#pragma once

#include "platform/Canvas.h"

#include <map>
#include <string>
#include <vector>

namespace vako {

struct DrawOp {
    enum Kind { Clear, Line, Box, Circle, Point, Text, Picture, KeepPicture, DropPicture };
    Kind kind = Clear;
    double x1 = 0, y1 = 0, x2 = 0,
           y2 = 0;                 // line ends, box corners; circle/point/text/picture at x1, y1
    double radius = 0, aspect = 0; // circle; picture size in x2, y2
    Rgb colour = 0;                // line, box, circle outline; point and text: fore colour
    Rgb fillColour = 0;
    FillStyle fillStyle = FillStyle::Transparent;
    bool filled = false; // box
    int drawWidth = 1;
    double fontSize = 0;
    std::string text;
};

class RecordingCanvas : public Canvas {
public:
    RecordingCanvas() { setOrigin(-140, -1180); }

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

    // The operations since the last clear (the clear itself first), or all of
    // them while `keepAll` is set.
    const std::vector<DrawOp>& ops() const { return m_ops; }
    void forget() { m_ops.clear(); }
    bool keepAll = false;
    int clearCount = 0;

    // Pictures `loadPicture` accepts, by path, with their sizes in view units.
    std::map<std::string, std::pair<double, double>> pictures;
    bool hasPersistentPicture = false;

    // Helpers for tests.
    std::vector<DrawOp> ofKind(DrawOp::Kind kind) const;
    std::vector<DrawOp> texts() const { return ofKind(DrawOp::Text); }

private:
    DrawOp stamped(DrawOp::Kind kind) const;
    std::vector<DrawOp> m_ops;
};

} // namespace vako
