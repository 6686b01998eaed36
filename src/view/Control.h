// The state of one control of a window, toolkit-free: what the toolkit layer
// shows and what the handlers read and write. One record serves every kind;
// each kind uses the fields its comment names. Positions are in the units of
// the control's container: window units (twips, 15 per pixel at the designed
// size) on the form, view units on the score view, the strip's own units on
// the pitch-bend window.
#pragma once

#include "platform/Canvas.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace vako {

enum class ControlKind {
    Label,        // caption, back and fore colour; click
    Button,       // caption or picture; click
    ComboBox,     // items, listIndex; click when an item is chosen or listIndex is set
    ListBox,      // items, listIndex; click
    HScrollBar,   // min, max, value; change
    VScrollBar,   // min, max, value; change
    TextBox,      // text (caption); change on each keystroke, commit when the typing is done
    OptionButton, // caption, checked; click
    Image,        // picture; click
    Shape,        // outlined rectangle in border colour
    Line,         // x1, y1 - x2, y2 in border colour
    Panel,        // a container with a user scale (score view, panels, strip)
};

// Where a control sits.
enum class Container { Form, ScoreView, NotePanel, PositionPanel, PitchBendStrip };

// Pictures the project draws itself (toolbox icons, play and stop).
enum class PictureId {
    None,
    Play,
    Stop,
    Whole,         // toolbox: 48 steps
    Half,          // 24
    Quarter,       // 12
    Eighth,        // 6
    Sixteenth,     // 3
    DottedHalf,    // 36
    DottedQuarter, // 18
    DottedEighth,  // 9
    Custom,        // the length typed in the box
};

struct MenuItem;

struct Control {
    std::string name; // as the window knows it, "upperPartButtons(3)" for element 3 of an array
    ControlKind kind = ControlKind::Label;
    Container container = Container::Form;
    double left = 0, top = 0, width = 0, height = 0;
    bool visible = true;
    bool enabled = true;
    std::string caption; // label and button caption, text of a text box
    Rgb backColour = colour::kViewGrey;
    Rgb foreColour = colour::kBlack;
    Rgb borderColour = colour::kBlack;
    double fontSize = 9;
    PictureId picture = PictureId::None;
    bool checked = false; // option buttons

    std::vector<std::string> items; // lists
    int listIndex = -1;
    // Scroll bars: `min` is the value at the top (left) end, `max` at the
    // bottom (right) end. A bar whose top is its highest value (a volume
    // bar: up is louder) has min > max.
    int min = 0, max = 0, value = 0;
    int smallChange = 1, largeChange = 1;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // lines

    std::function<void()> onClick;  // labels, buttons, lists, images, option buttons
    // Buttons: a click with Shift held, where that means more (none: a click).
    std::function<void()> onShiftClick;
    std::function<void()> onChange; // scroll bars, text boxes
    // Text boxes: the typing is done (Enter, or the focus left the box).
    std::function<void()> onCommit;
    // Items a right click on the control offers (none: the right click does
    // what the control's own handler says).
    std::vector<MenuItem*> contextMenu;

    void click() {
        if (onClick) onClick();
    }
    void shiftClick() {
        if (onShiftClick)
            onShiftClick();
        else
            click();
    }
    // Chooses a list entry; the list's click handler runs, as for a user's choice.
    void setListIndex(int i) {
        listIndex = (i >= 0 && i < static_cast<int>(items.size())) ? i : -1;
        click();
    }
    // Scroll bars keep the value between min and max; a value that changes runs the
    // change handler, also when a new range pushes it.
    void setValue(int v) {
        v = std::clamp(v, std::min(min, max), std::max(min, max));
        if (v == value) return;
        value = v;
        if (onChange) onChange();
    }
    void setRange(int lo, int hi) {
        min = lo, max = hi;
        setValue(value);
    }
    void setText(const std::string& text) {
        if (text == caption) return;
        caption = text;
        if (onChange) onChange();
    }
    void commit() {
        if (onCommit) onCommit();
    }
    const std::string& text() const { return caption; }
    void move(double l, double t) { left = l, top = t; }
    void setLine(double ax1, double ay1, double ax2, double ay2) {
        x1 = ax1, y1 = ay1, x2 = ax2, y2 = ay2;
    }
};

// A menu item: caption, shortcut ("Ctrl+A"), check mark, enabled; the items
// below it when it opens a submenu; a separator has the caption "-".
struct MenuItem {
    std::string name;
    std::string caption;
    std::string shortcut;
    std::string otherShortcut; // a second key for the same item, "" for none
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    std::vector<MenuItem*> children;
    std::function<void()> onClick;

    bool isSeparator() const { return caption == "-"; }
    void click() {
        if (enabled && onClick) onClick();
    }
};

} // namespace vako
