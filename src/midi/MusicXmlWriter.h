// The score for notation programs: a MusicXML 4.0 score-partwise file
// (uncompressed), one part for each song part that has notes.
//
// Time is the MIDI export's: the song's first beat (position 3, the staff's
// first bar line) is the start of bar 1, and what lies before it starts bar 1
// too. 12 steps are a quarter note, so the file's divisions are steps. Every
// note is written at its place with its length: pieces that fit no note value,
// or that cross a bar line, are tied, and the tied pieces add up to the length.
#pragma once

#include "song/Song.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vako {

// How black keys are spelled: as the window's "入力する音" choice says
// (sharps or flats), or by one fixed rule (C# Eb F# Ab Bb).
enum class KeySpelling { Fixed, Sharps, Flats };

struct MusicXmlOptions {
    KeySpelling spelling = KeySpelling::Fixed;
    // The transposition bar's value, as the MIDI export takes it: keys are
    // written this much lower, the percussion part's never.
    int pitchShift = 0;
    // The name of a General MIDI program (0..127) for part names; "" for
    // none, then the part is named by its number.
    std::function<std::string(int program)> programName;
};

// What writing met besides its bytes.
struct MusicXmlReport {
    int64_t notesLeftOut = 0; // shifted outside 0..127, or on a part above 16
    int parts = 0;            // parts written
    int64_t bars = 0;         // bars of each part
    bool tooLong = false;     // the song runs past kMusicXmlMaxBars: nothing built
};

// The longest score built: 100,000 bars (over two days of music at 120 beats
// a minute). A song whose notes or changes lie beyond it (a damaged file)
// would make a file of gigabytes of empty bars.
constexpr int64_t kMusicXmlMaxBars = 100000;

// The file's bytes (UTF-8). Empty, with report.tooLong, for a song past the
// longest score.
std::string buildMusicXml(const Song& song, const MusicXmlOptions& options,
                          MusicXmlReport& report);

// The compressed form (".mxl"): a ZIP archive of the score as "score.musicxml",
// with the "mimetype" entry first and the container file that names the
// score. The entries are stored, not deflated, which the format allows.
// Empty for a score of 4 GB or more, which such an archive cannot hold.
std::string packMusicXmlArchive(const std::string& score);

// The CRC-32 of ZIP archives (polynomial 0xEDB88320).
uint32_t crc32Of(std::string_view bytes);

// The name and octave of a key as the score spells it: step letter, alter
// (-1, 0, 1) and octave (key 60 is C4).
struct SpelledPitch {
    char step = 'C';
    int alter = 0;
    int octave = 4;
};
SpelledPitch spellKey(int key, KeySpelling spelling);

// How the stretches of one voice's bar are written. A bar is cut where its
// notes and rests begin and end; each stretch becomes note values that add up
// to it, tied where there are several. Cuts off the grid of sixteenths make
// triplets: each group of three fills its window (a triplet quarter 8 steps
// of a half note's 24, and so on down to 1 step of a sixteenth's 3), so that
// every triplet group a reader meets is whole.
struct NoteValue {
    int steps = 0;
    const char* type = "";
    bool dotted = false;
    bool triplet = false;
    bool tupletStart = false; // the first value of a triplet group
    bool tupletStop = false;  // its last
};
// `cuts`: the cut points after the bar line, ascending, each inside the bar
// (0 and `barSteps` need not be given). One list of values per stretch.
std::vector<std::vector<NoteValue>> splitBar(int64_t barSteps, const std::vector<int64_t>& cuts);

} // namespace vako
