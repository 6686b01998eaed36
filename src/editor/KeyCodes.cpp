#include "editor/KeyCodes.h"

#include <string>

namespace vako {

namespace {

struct KeyNote {
    int key;
    int note;
};

// The drum pad: the key and the percussion note it strikes.
constexpr KeyNote kDrumPad[] = {
    {'0', 58},           {'1', 42},        {'2', 44},       {'3', 46},
    {'5', 49},           {'6', 51},        {'8', 54},       {'9', 56},
    {'B', 31},           {'C', 28},        {'D', 27},       {'E', 47},
    {'G', 30},           {'H', 32},        {'I', 55},       {'J', 34},
    {'L', 37},           {'M', 35},        {'N', 33},       {'O', 57},
    {'P', 59},           {'Q', 43},        {'R', 48},       {'S', 25},
    {'T', 50},           {'U', 53},        {'V', 29},       {'W', 45},
    {'X', 26},           {'Y', 52},        {'Z', 24},       {kKeySemicolon, 39},
    {kKeyComma, 36},     {kKeyPeriod, 38}, {kKeySlash, 40}, {kKeyRightBracket, 42},
    {kKeyBackslash, 41},
};

} // namespace

int drumNoteOfKey(int keyCode) {
    for (const KeyNote& k : kDrumPad)
        if (k.key == keyCode) return k.note;
    return 0;
}

int keyCodeOfScanCode(uint32_t scanCode) {
    // The four rows of character keys, left to right, from their first code.
    struct Row {
        uint32_t first;
        const char* keys;
    };
    static constexpr Row kRows[] = {
        {2, "1234567890"}, {16, "QWERTYUIOP"}, {30, "ASDFGHJKL"}, {44, "ZXCVBNM"}};
    for (const Row& row : kRows) {
        const uint32_t n = static_cast<uint32_t>(std::char_traits<char>::length(row.keys));
        if (scanCode >= row.first && scanCode < row.first + n)
            return row.keys[scanCode - row.first];
    }
    switch (scanCode) {
    case 39: // right of L
        return kKeySemicolon;
    case 43: // left of Enter: "]" on a Japanese keyboard
        return kKeyRightBracket;
    case 51:
        return kKeyComma;
    case 52:
        return kKeyPeriod;
    case 53:
        return kKeySlash;
    case 89: // left of the right Shift: the backslash key of a Japanese keyboard
    case 86: // the extra key beside the left Shift of other keyboards, its place there
        return kKeyBackslash;
    case 57:
        return kKeySpace;
    default:
        return 0;
    }
}

int keyCodeOfCharacter(char32_t ch, bool japaneseLayout) {
    if (ch >= U'a' && ch <= U'z') return static_cast<int>(ch - U'a' + U'A');
    if ((ch >= U'A' && ch <= U'Z') || (ch >= U'0' && ch <= U'9')) return static_cast<int>(ch);
    switch (ch) {
    case U' ':
        return kKeySpace;
    case U';':
        return kKeySemicolon;
    case U',':
    case U'<':
        return kKeyComma;
    case U'.':
    case U'>':
        return kKeyPeriod;
    case U'/':
    case U'?':
        return kKeySlash;
    case U']':
    case U'}':
        return kKeyRightBracket;
    case U'\\':
        return kKeyBackslash;
    case U'!':
        return '1';
    case U'#':
        return '3';
    case U'$':
        return '4';
    case U'%':
        return '5';
    default:
        break;
    }
    if (japaneseLayout) {
        switch (ch) {
        case U'+':
            return kKeySemicolon;
        case U'_':
            return kKeyBackslash;
        case U'"':
            return '2';
        case U'&':
            return '6';
        case U'\'':
            return '7';
        case U'(':
            return '8';
        case U')':
            return '9';
        default:
            return 0;
        }
    }
    switch (ch) {
    case U':':
        return kKeySemicolon;
    case U'|':
        return kKeyBackslash;
    case U'@':
        return '2';
    case U'^':
        return '6';
    case U'&':
        return '7';
    case U'*':
        return '8';
    case U'(':
        return '9';
    case U')':
        return '0';
    default:
        return 0;
    }
}

} // namespace vako
