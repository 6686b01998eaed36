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

} // namespace vako
