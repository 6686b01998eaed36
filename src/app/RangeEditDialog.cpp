#include "app/RangeEditDialog.h"

#include "view/MainWindowModel.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

namespace vako {
namespace {

constexpr int kStripWidthPx = 720; // 1.25 pixels a step
constexpr int kStripHeightPx = 152;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

void fill(QComboBox* box, const ListState& list) {
    if (box->count() != static_cast<int>(list.items.size())) {
        box->clear();
        for (const std::string& item : list.items) box->addItem(text(item));
    }
    box->setCurrentIndex(list.listIndex);
}

void mirror(QScrollBar* bar, const ScrollBarState& state) {
    bar->setRange(state.min, state.max);
    bar->setValue(state.value);
}

} // namespace

// `Picture1` of the window: copies the retained strip image, forwards presses.
class RangeEditDialog::Strip : public QWidget {
public:
    Strip(RangeEditDialog& dialog, QWidget* parent) : QWidget(parent), m_dialog(dialog) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(rect(), m_dialog.m_canvas.image());
    }
    void resizeEvent(QResizeEvent*) override {
        m_dialog.m_canvas.resize(width(), height(), devicePixelRatioF());
        m_dialog.m_form.redrawClicked();
        update();
    }
    void mousePressEvent(QMouseEvent* e) override {
        const int button = e->button() == Qt::LeftButton    ? RangeWindowModel::kLeftButton
                           : e->button() == Qt::RightButton ? RangeWindowModel::kRightButton
                                                            : 4;
        m_dialog.m_form.stripMouseDown(button, e->position().x() * m_dialog.stripUnitsPerPixel());
        m_dialog.refresh();
    }

private:
    RangeEditDialog& m_dialog;
};

RangeEditDialog::RangeEditDialog(MainWindowModel& main, QWidget* parent)
    : QDialog(parent), m_canvas(RangeWindowModel::kStripLeft, RangeWindowModel::kStripTop,
                                RangeWindowModel::kStripWidth, RangeWindowModel::kStripHeight),
      m_form(main.editor, m_canvas, main, main.folders) {
    setModal(true);
    // Bar numbers in a small face: the strip is 576 steps wide.
    m_canvas.setFontSize(4.5);
    setWindowTitle(text(m_form.caption));
    // 520 pixels high, so that the window and its title bar fit a screen of
    // 600 lines with a panel.
    setFixedSize(760, 520);
    const std::vector<std::string> texts = m_form.designTexts();

    auto* guide1 = new QLabel(text(texts[6]), this);
    place(guide1, 20, 8, 720, 22);
    auto* guide2 = new QLabel(text(texts[7]), this);
    place(guide2, 20, 30, 720, 22);

    m_strip = new Strip(*this, this);
    place(m_strip, 20, 58, kStripWidthPx, kStripHeightPx);
    m_hscroll1 = new QScrollBar(Qt::Horizontal, this);
    place(m_hscroll1, 20, 58 + kStripHeightPx, kStripWidthPx, 18);
    connect(m_hscroll1, &QScrollBar::valueChanged, this, [this](int v) {
        if (m_refreshing) return;
        m_form.setFirstBarOnStrip(v);
        refresh();
    });

    m_readOuts[1] = new QLabel(this);
    place(m_readOuts[1], 20, 236, 420, 24);
    m_vscroll1 = new QScrollBar(Qt::Horizontal, this);
    m_partLabel = new QLabel(this);
    place(m_partLabel, 460, 236, 120, 24);
    place(m_vscroll1, 580, 240, 160, 18);
    connect(m_vscroll1, &QScrollBar::valueChanged, this, [this](int v) {
        if (m_refreshing) return;
        m_form.setSourcePart(v);
        refresh();
    });

    // One row an operation: its run button, then its text with the controls in its gaps.
    int y = 276;
    const int rowHeight = 40;
    for (int k = 0; k < 6; ++k) {
        m_run[k] = new QPushButton(text(m_form.runButtons[k]), this);
        place(m_run[k], 20, y + k * rowHeight, 64, 30);
        connect(m_run[k], &QPushButton::clicked, this, [this, k] {
            m_form.applyOperation(k);
            refresh();
        });
    }
    // Shift: the amount in steps, with its scroll bar.
    m_readOuts[2] = new QLabel(this);
    m_readOuts[2]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    textWithGaps(texts[1], 100, y, {m_readOuts[2]});
    m_hscroll4 = new QScrollBar(Qt::Horizontal, this);
    place(m_hscroll4, 560, y + 6, 180, 18);
    connect(m_hscroll4, &QScrollBar::valueChanged, this, [this](int v) {
        if (m_refreshing) return;
        m_form.setShiftSteps(v);
        refresh();
    });
    // Copy: to which part, from which bar.
    m_targetPartList = new QComboBox(this);
    m_readOuts[3] = new QLabel(this);
    m_readOuts[3]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    textWithGaps(texts[0], 100, y + rowHeight, {m_targetPartList, m_readOuts[3]});
    m_hscroll3 = new QScrollBar(Qt::Horizontal, this);
    place(m_hscroll3, 560, y + rowHeight + 6, 180, 18);
    connect(m_hscroll3, &QScrollBar::valueChanged, this, [this](int v) {
        if (m_refreshing) return;
        m_form.setCopyTargetBar(v);
        refresh();
    });
    connect(m_targetPartList, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_refreshing) m_form.setTargetPart(i);
    });
    // Delete.
    textWithGaps(texts[2], 100, y + 2 * rowHeight, {});
    // One pitch class a semitone up or down.
    m_pitchClassList = new QComboBox(this);
    textWithGaps(texts[3], 100, y + 3 * rowHeight, {m_pitchClassList});
    connect(m_pitchClassList, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_refreshing) m_form.setPitchClass(i);
    });
    m_option2[0] = new QRadioButton(text(translated("半音上げる")), this);
    m_option2[1] = new QRadioButton(text(translated("半音下げる")), this);
    place(m_option2[0], 420, y + 3 * rowHeight + 2, 120, 26);
    place(m_option2[1], 540, y + 3 * rowHeight + 2, 120, 26);
    for (int i = 0; i < 2; ++i)
        connect(m_option2[i], &QRadioButton::clicked, this, [this, i] {
            m_form.setSemitoneDirection(i);
            refresh();
        });
    // Strength and balance.
    m_strengthList = new QComboBox(this);
    textWithGaps(texts[4], 100, y + 4 * rowHeight, {m_strengthList});
    connect(m_strengthList, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_refreshing) m_form.setStrength(i);
    });
    m_balanceList = new QComboBox(this);
    textWithGaps(texts[5], 100, y + 5 * rowHeight, {m_balanceList});
    connect(m_balanceList, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_refreshing) m_form.setBalance(i);
    });

    m_redrawButton = new QPushButton(text(m_form.redrawButton), this);
    place(m_redrawButton, 640, 8, 100, 28);
    connect(m_redrawButton, &QPushButton::clicked, this, [this] {
        m_form.redrawClicked();
        refresh();
    });

    m_form.load();
    refresh();
}

double RangeEditDialog::stripUnitsPerPixel() const {
    return RangeWindowModel::kStripWidth / std::max(1, m_strip->width());
}

void RangeEditDialog::place(QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(x, y, width, height);
}

QWidget* RangeEditDialog::textWithGaps(const std::string& s, int x, int y,
                                       std::initializer_list<QWidget*> inGaps) {
    // The text's runs of three or more blanks (half or full width) are where its
    // controls stand; the pieces between them are labels in one row.
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    const QString t = text(s);
    auto blank = [](QChar c) { return c == QChar(' ') || c == QChar(0x3000); };
    auto widget = inGaps.begin();
    int pieceStart = 0;
    for (int i = 0; i <= t.size();) {
        int end = i;
        while (end < t.size() && blank(t[end])) ++end;
        const bool gap = end - i >= 3;
        if (gap || i == t.size()) {
            const QString piece = t.mid(pieceStart, i - pieceStart);
            if (!piece.isEmpty()) layout->addWidget(new QLabel(piece, row));
            if (gap && widget != inGaps.end()) {
                (*widget)->setParent(row);
                (*widget)->setMinimumWidth(
                    std::max(56, QFontMetrics(font()).horizontalAdvance(t.mid(i, end - i))));
                layout->addWidget(*widget);
                ++widget;
            } else if (gap) {
                layout->addSpacing(QFontMetrics(font()).horizontalAdvance(t.mid(i, end - i)));
            }
            if (i == t.size()) break;
            pieceStart = end;
            i = end;
            continue;
        }
        i = std::max(i + 1, end);
    }
    layout->addStretch(1);
    place(row, x, y, 450, 32);
    return row;
}

void RangeEditDialog::refresh() {
    m_refreshing = true;
    setWindowTitle(text(m_form.caption));
    mirror(m_vscroll1, m_form.sourcePartScroll);
    mirror(m_hscroll1, m_form.stripScroll);
    mirror(m_hscroll3, m_form.copyTargetScroll);
    mirror(m_hscroll4, m_form.shiftScroll);
    fill(m_targetPartList, m_form.targetPartList);
    fill(m_pitchClassList, m_form.pitchClassList);
    fill(m_strengthList, m_form.strengthList);
    fill(m_balanceList, m_form.balanceList);
    m_option2[0]->setChecked(m_form.semitoneDirection[0]);
    m_option2[1]->setChecked(m_form.semitoneDirection[1]);
    m_partLabel->setText(text(m_form.partLabel));
    for (int i = 1; i < 4; ++i) m_readOuts[i]->setText(text(m_form.readOuts[i]));
    m_redrawButton->setText(text(m_form.redrawButton));
    m_strip->update();
    m_refreshing = false;
}

} // namespace vako
