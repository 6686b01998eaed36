// Key codes of the score view's key handler, the drum pad, and the way a typed
// character is turned into a key code. Key codes are the platform's virtual-key
// numbers: letters and digits are their upper-case characters, Space 32,
// Shift 16, and the punctuation keys of a Japanese keyboard 187 (;), 188 (,),
// 190 (.), 191 (/), 221 (]) and 226 (the backslash key beside the right Shift).
#pragma once

#include <cstdint>

namespace vako {

constexpr int kKeyBackspace = 8;
constexpr int kKeyShift = 16;
constexpr int kKeySpace = 32;
constexpr int kKeySemicolon = 187;
constexpr int kKeyComma = 188;
constexpr int kKeyPeriod = 190;
constexpr int kKeySlash = 191;
constexpr int kKeyRightBracket = 221;
constexpr int kKeyBackslash = 226;

// Shift-state bits of key and mouse events.
constexpr int kShiftBit = 1, kCtrlBit = 2, kAltBit = 4;

// The percussion note of a key on the drum pad (35 bass drum, 38 snare, 42
// closed hi-hat, ...); 0 for keys without a drum.
int drumNoteOfKey(int keyCode);

// The key code of a typed character, found by the character so that it does
// not matter where a layout puts the key: letters of either case, digits and
// the six punctuation keys of the pad. A shifted character counts as its key
// (on a Japanese layout "+" is Shift+";" and "_" Shift+backslash; on others
// ":" is Shift+";", "<" Shift+"," and so on); the shifted digits follow the
// layout. 0 for any other character.
int keyCodeOfCharacter(char32_t ch, bool japaneseLayout);

// The key code of a key found by its place on the keyboard: `scanCode` is the
// PC keyboard's scan code as the Linux input layer numbers it (X and Wayland
// report it plus 8). The places are those of a Japanese keyboard, whose keys
// the pad was laid out on; so the pad plays the same drums whatever layout and
// language the desktop has chosen, Shift held or not. 0 for keys off the pad's
// rows (the caller then falls back to the character).
int keyCodeOfScanCode(uint32_t scanCode);

} // namespace vako
