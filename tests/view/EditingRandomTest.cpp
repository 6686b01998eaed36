// Random mouse moves, presses, releases, keys, panel clicks and menu choices
// against the window model; after each one the song must still be a song:
// notes in position order within 0..119, counts that fit the arrays, and the
// control changes ordered behind the start tempo with the end marker in place.
#include "ViewTestSupport.h"

#include "editor/KeyCodes.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace vako::test {
namespace {

std::string songInvariantFault(const Song& s) {
    std::ostringstream out;
    const int32_t n = s.noteCount();
    if (s.twiceNoteCount < 0 || s.twiceNoteCount % 2 != 0) out << "odd or negative note count; ";
    if (static_cast<int64_t>(s.notes.size()) <= n) out << "note array shorter than the count; ";
    for (int32_t i = 1; i <= n && i < int32_t(s.notes.size()); ++i) {
        const Note& r = s.notes[i];
        if (r.key >= 120) out << "note " << i << " is " << int(r.key) << "; ";
        if (r.part >= kPartCount) out << "part of note " << i << "; ";
        if (i > 1 && s.notes[i - 1].position > r.position) out << "note " << i << " out of order; ";
    }
    const int32_t m = s.changeCount;
    if (m < 1 || static_cast<int64_t>(s.changes.size()) < m + 2) {
        out << "control changes shorter than their count; ";
        return out.str();
    }
    if (s.changes[1].kind != kTempoChange || s.changes[1].position != 0)
        out << "start tempo moved; ";
    for (int32_t j = 2; j <= m; ++j) {
        const ControlChange& c = s.changes[j];
        if (c.position < s.changes[j - 1].position)
            out << "control change " << j << " out of order; ";
        if (c.kind < 1 || c.kind > 3) out << "control change " << j << " type; ";
    }
    if (s.changes[m + 1].position != kEndMarkerPos) out << "end marker missing; ";
    if (s.undoTwiceNoteCount / 2 >= static_cast<int64_t>(s.undoNotes.size()) &&
        s.undoTwiceNoteCount != 0)
        out << "undo copy shorter than its count; ";
    return out.str();
}

TEST(EditingRandom, TwentyThousandActionsKeepTheSongWhole) {
    Window w;
    w.load();
    Formmain& f = *w.form;
    f.useClock(w.clock);
    std::mt19937 rng(20240607);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto real = [&](double lo, double hi) {
        return static_cast<float>(std::uniform_real_distribution<double>(lo, hi)(rng));
    };
    // Points on the staff most of the time, anywhere on the view now and then.
    auto pointX = [&] { return pick(0, 9) == 0 ? real(-140, 830) : real(95, 822); };
    auto pointY = [&] { return pick(0, 9) == 0 ? real(-1180, 20) : real(-1179, -2); };
    const int keys[] = {kKeySpace, '1', '2',           '3',           '4',       '5', 'W', 'E',
                        'R',       'S', 'F',           'Q',           'Z',       'V', 'X', 'M',
                        'P',       '0', kKeySemicolon, kKeyBackslash, kKeyShift, 'A'};
    MenuItem* menus[] = {&f.メジャー,
                         &f.マイナー,
                         &f.オーギュメント,
                         &f.ディミニッシュ,
                         &f.セブンス,
                         &f.サスフォー,
                         &f.和音入力有効,
                         &f.編集中,
                         &f.編集の助け,
                         &f.打楽器をたたく,
                         &f.b4,
                         &f.b8,
                         &f.b16,
                         &f.b48,
                         &f.h2,
                         &f.h3,
                         &f.h4,
                         &f.h6,
                         &f.やり直し,
                         &f.グランドピアノに変更,
                         &f.フルートに変更,
                         &f.その他の楽器に変更,
                         &f.CC表示,
                         &f.便利機能};
    const char* answers[] = {"", "0", "1", "128", "129", "abc", "64"};

    int notesAdded = 0, maxNotes = 0, maxCCs = 0;
    for (int step = 0; step < 20000; ++step) {
        const int action = pick(0, 19);
        const float X = pointX(), Y = pointY();
        switch (action) {
        case 0:
        case 1:
        case 2:
            f.Picture1_MouseMove(0, 0, X, Y);
            break;
        case 3:
        case 4:
        case 5: { // a whole click
            const int button = pick(0, 5) == 0 ? 2 : 1;
            const int before = w.song.noteCount();
            f.Picture1_MouseMove(0, 0, X, Y);
            f.Picture1_MouseDown(button, 0, X, Y);
            f.Picture1_MouseUp(button, 0, pick(0, 7) == 0 ? pointX() : X, Y);
            notesAdded += w.song.noteCount() > before;
            break;
        }
        case 6:
            f.Picture1_MouseDown(pick(1, 2), pick(0, 1), X, Y);
            break;
        case 7:
            f.Picture1_MouseUp(pick(1, 2), pick(0, 1), X, Y);
            break;
        case 8:
        case 9: {
            const int shifts[] = {0, 0, 0, kShiftBit, kCtrlBit, kAltBit, kShiftBit | kAltBit};
            f.Picture1_KeyDown(keys[pick(0, std::size(keys) - 1)], shifts[pick(0, 6)]);
            break;
        }
        case 10: // the note panel
            switch (pick(0, 6)) {
            case 0:
                f.Combo2.setListIndex(pick(-1, 21));
                break;
            case 1:
                f.Combo3.setListIndex(pick(-1, 9));
                break;
            case 2: {
                const int i = pick(0, 5);
                if (i < 3)
                    for (int k = 0; k < 3; ++k) f.Option1[k].checked = k == i;
                else
                    f.Option1[i].checked = true;
                f.Option1[i].click();
                break;
            }
            case 3:
                f.Command7.click();
                break;
            case 4:
                f.Command8.click();
                break;
            default:
                f.Image4[pick(10, 17)].click();
                break;
            }
            break;
        case 11: // the position panel
            switch (pick(0, 3)) {
            case 0:
                f.Combo4.setListIndex(pick(-1, 2));
                f.Text5.setText(std::to_string(pick(0, 700)));
                f.Command5.click();
                break;
            case 1:
                f.Command3.click();
                break;
            case 2:
                f.Command6.click();
                break;
            default:
                f.Text5.setText(pick(0, 1) ? "" : "12x");
                f.Command5.click();
                break;
            }
            break;
        case 12:
        case 13:
            w.ui.inputAnswer = answers[pick(0, std::size(answers) - 1)];
            menus[pick(0, std::size(menus) - 1)]->click();
            break;
        case 14:
            f.HScroll2.setValue(pick(f.HScroll2.min, f.HScroll2.max));
            break;
        case 15:
            (pick(0, 1) ? f.Label6 : f.Label12)[pick(0, 15)].click();
            break;
        case 16:
            switch (pick(0, 3)) {
            case 0:
                f.VScroll4[pick(0, 1)].setValue(pick(0, 6));
                break;
            case 1:
                f.Combo1[pick(0, 1)].setListIndex(pick(0, 127));
                break;
            case 2:
                f.VScroll3.setValue(pick(-12, 12));
                break;
            default:
                f.Picture4_MouseMove(0, 0, real(-50, 200), 0.5f);
                break;
            }
            break;
        case 17:
            if (pick(0, 1)) {
                f.Image4[pick(0, 8)].click();
            } else {
                f.Text4.setText(std::to_string(pick(0, 99)));
            }
            break;
        case 18: // playback now and then, with time passing
            if (pick(0, 9) == 0) f.Command4_MouseDown();
            w.clock.advance(pick(0, 200));
            f.playbackTick();
            break;
        default:
            f.Picture1_MouseMove(0, 0, X, Y);
            f.Picture1_MouseUp(1, 0, X, Y);
            break;
        }
        const std::string fault = songInvariantFault(w.song);
        ASSERT_EQ(fault, "") << "after step " << step << ", action " << action;
        maxNotes = std::max(maxNotes, w.song.noteCount());
        maxCCs = std::max(maxCCs, w.song.changeCount);
    }
    if (!f.stopped()) f.Command4_MouseDown();
    EXPECT_EQ(songInvariantFault(w.song), "");
    // The run did write music, not only wander about.
    EXPECT_GT(notesAdded, 500);
    EXPECT_GT(maxNotes, 50);
    EXPECT_GT(maxCCs, 5);
}

} // namespace
} // namespace vako::test
