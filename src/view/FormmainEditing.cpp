// The editing commands around the score view: wiring of the editing controls,
// undo, the length box, the instrument of every part, the band controls' text
// boxes and the range editing window.
#include "editor/NoteEdits.h"
#include "midi/ShortMessage.h"
#include "view/Formmain.h"

#include <algorithm>

namespace vako {
namespace {

const std::string kOneTo128 = "1～128の範囲で数字を入れてください。";
constexpr size_t kLengthBoxDigits = 3;

std::string digitsOnly(const std::string& text) {
    std::string out;
    for (char ch : text)
        if (ch >= '0' && ch <= '9') out += ch;
    return out;
}

// A whole number 1..128 typed into the input box (blanks around it allowed).
std::optional<int> programNumber(const std::string& text) {
    const auto b = text.find_first_not_of(' ');
    if (b == std::string::npos) return std::nullopt;
    const auto e = text.find_last_not_of(' ');
    const std::string t = text.substr(b, e - b + 1);
    if (t.empty() || t.size() > 3 || digitsOnly(t) != t) return std::nullopt;
    const int n = std::stoi(t);
    if (n < 1 || n > 128) return std::nullopt;
    return n;
}

} // namespace

void Formmain::userChangedSong() {
    if (m_programSetting == 0) song.modified = 1;
}

void Formmain::wireEditing() {
    やり直し.onClick = [this] { やり直し_Click(); };
    便利機能.onClick = [this] { 便利機能_Click(); };
    const std::pair<MenuItem*, uint8_t> instruments[] = {{&グランドピアノに変更, 0},
                                                         {&ミュージックボックスに変更, 10},
                                                         {&フルートに変更, 73},
                                                         {&ブライトネスに変更, 100}};
    for (auto [menu, program] : instruments) {
        menu->onClick = [this, program = program] {
            uint8_t p = program;
            楽器統一(p);
        };
    }
    その他の楽器に変更.onClick = [this] { その他の楽器に変更_Click(); };

    // The note panel.
    Combo2.onClick = [this] { Combo2_Click(); };
    Combo3.onClick = [this] { Combo3_Click(); };
    for (int i = 0; i < static_cast<int>(Option1.size()); ++i)
        Option1[i].onClick = [this, i] { Option1_Click(i); };
    Command7.onClick = [this] { Command7_Click(); };
    Command8.onClick = [this] { Picture2.visible = false; };

    // The position panel.
    Command5.onClick = [this] { Command5_Click(); };
    Command3.onClick = [this] { Command3_Click(); };
    Command6.onClick = [this] { hidePositionPanel(); };

    // Text boxes. The digit-only ones take the digits of whatever arrives,
    // typed or pasted; the toolkit shows the corrected text again.
    m_text1Accepted = Text1.caption;
    Text1.onChange = [this] {
        Text1.caption = m_text1Accepted = digitsOnly(Text1.caption);
        if (Text1.caption != song.tempoText) {
            song.tempoText = Text1.caption;
            userChangedSong();
        }
    };
    Text2.onChange = [this] {
        if (Text2.caption == song.copyrightText) return;
        song.copyrightText = Text2.caption;
        userChangedSong();
    };
    Text3.onChange = [this] {
        if (Text3.caption == song.sequenceNameText) return;
        song.sequenceNameText = Text3.caption;
        userChangedSong();
    };
    m_text4Accepted = Text4.caption;
    Text4.onChange = [this] {
        const std::string digits = digitsOnly(Text4.caption);
        // One to three digits: a longer entry is refused as a whole, and so is
        // a length of 0 (a note lasts at least one step).
        const bool zero = !digits.empty() && digits.find_first_not_of('0') == std::string::npos;
        if (digits.size() <= kLengthBoxDigits && !zero) m_text4Accepted = digits;
        Text4.caption = m_text4Accepted;
        if (!m_text4Accepted.empty())
            view.newNoteLength = static_cast<int16_t>(std::stoi(m_text4Accepted));
    };
    Text5.onChange = [this] { Text5.caption = m_text5Accepted = digitsOnly(Text5.caption); };
    for (int k = 0; k < 2; ++k) {
        // The volume read-out takes no typing.
        Text9[k].onChange = [this, k] { Text9[k].caption = std::to_string(VScroll4[k].value); };
    }
}

void Formmain::やり直し_Click() {
    song.restoreUndoCopy();
    やり直し.enabled = false;
    Shape3.visible = false;
    userChangedSong();
    線引き();
}

void Formmain::楽器統一(uint8_t& p) {
    const int32_t m = std::min<int64_t>(song.changeCount, int64_t(song.changes.size()) - 1);
    for (int32_t j = 1; j <= m; ++j) {
        ControlChange& cc = song.changes[j];
        if (cc.kind == kInstrumentChange && cc.value % 16 != kPercussionPart)
            cc.value = p * 16 + cc.value % 16;
    }
    for (int i = 0; i < kPartCount; ++i) {
        if (i == kPercussionPart) continue;
        song.partPrograms[i] = p;
        midiOutShortMsg(programChange(i, p));
    }
    for (int k = 0; k < 2; ++k)
        if (song.bandParts[k] != kPercussionPart) Combo1[k].setListIndex(p);
    userChangedSong();
}

void Formmain::その他の楽器に変更_Click() {
    const auto n = programNumber(inputBox(kOneTo128, "", ""));
    if (!n) {
        showMessage(kOneTo128);
        return;
    }
    uint8_t p = static_cast<uint8_t>(*n - 1);
    楽器統一(p);
}

void Formmain::便利機能_Click() {
    if (showRangeWindow) showRangeWindow(left, top);
    線引き();
}

} // namespace vako
