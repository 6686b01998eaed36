#include "platform/RecordingCanvas.h"

namespace vako {

DrawOp RecordingCanvas::stamped(DrawOp::Kind kind) const {
    DrawOp op;
    op.kind = kind;
    op.colour = foreColour();
    op.fillColour = fillColour();
    op.fillStyle = fillStyle();
    op.drawWidth = drawWidth();
    op.fontSize = fontSize();
    return op;
}

void RecordingCanvas::clear() {
    if (!keepAll) m_ops.clear();
    ++clearCount;
    resetTextPosition();
    m_ops.push_back(stamped(DrawOp::Clear));
}

void RecordingCanvas::line(double x1, double y1, double x2, double y2, Rgb colour) {
    DrawOp op = stamped(DrawOp::Line);
    op.x1 = x1, op.y1 = y1, op.x2 = x2, op.y2 = y2, op.colour = colour;
    m_ops.push_back(op);
}

void RecordingCanvas::box(double x1, double y1, double x2, double y2, Rgb colour, bool filled) {
    DrawOp op = stamped(DrawOp::Box);
    op.x1 = x1, op.y1 = y1, op.x2 = x2, op.y2 = y2, op.colour = colour, op.filled = filled;
    m_ops.push_back(op);
}

void RecordingCanvas::circle(double x, double y, double radius, Rgb colour, double aspect) {
    DrawOp op = stamped(DrawOp::Circle);
    op.x1 = x, op.y1 = y, op.radius = radius, op.colour = colour, op.aspect = aspect;
    m_ops.push_back(op);
}

void RecordingCanvas::point(double x, double y) {
    DrawOp op = stamped(DrawOp::Point);
    op.x1 = x, op.y1 = y;
    m_ops.push_back(op);
}

void RecordingCanvas::print(const std::string& text) {
    DrawOp op = stamped(DrawOp::Text);
    op.x1 = currentX(), op.y1 = currentY(), op.text = text;
    m_ops.push_back(op);
    nextTextLine();
}

bool RecordingCanvas::loadPicture(const std::string& path, double& width, double& height) {
    const auto it = pictures.find(path);
    if (it == pictures.end()) return false;
    width = it->second.first, height = it->second.second;
    return true;
}

void RecordingCanvas::drawPicture(double x, double y, double width, double height) {
    DrawOp op = stamped(DrawOp::Picture);
    op.x1 = x, op.y1 = y, op.x2 = width, op.y2 = height;
    m_ops.push_back(op);
}

void RecordingCanvas::keepAsPersistentPicture() {
    hasPersistentPicture = true;
    m_ops.push_back(stamped(DrawOp::KeepPicture));
}

void RecordingCanvas::dropPersistentPicture() {
    hasPersistentPicture = false;
    m_ops.push_back(stamped(DrawOp::DropPicture));
}

std::vector<DrawOp> RecordingCanvas::ofKind(DrawOp::Kind kind) const {
    std::vector<DrawOp> out;
    for (const DrawOp& op : m_ops)
        if (op.kind == kind) out.push_back(op);
    return out;
}

} // namespace vako
