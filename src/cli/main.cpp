// vako: the command-line tool. Opens songs exactly as the editor opens a file
// given on its command line, and converts or describes them.
#include "cli/OpenSong.h"
#include "cli/SoundModule.h"
#include "midi/MidiFileWriter.h"
#include "midi/MusicXmlWriter.h"
#include "platform/AtomicFile.h"
#include "platform/ProgramSettings.h"
#include "song/Messages.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"
#include "view/GeneralMidiNames.h"

#include <malloc.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace vako;
using cli::openSong;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void usage() {
    std::cerr
        << "usage:\n"
           "  vako convert IN OUT [--shift N]\n"
           "                        open IN (.txt song file, .mid or .midi) and write OUT\n"
           "                        (.txt song file, .mid or .midi, .musicxml or .mxl for\n"
           "                        notation programs); N (-12..12) is the transposition bar's value\n"
           "                        for a MIDI or MusicXML file: keys are written N lower,\n"
           "                        percussion not\n"
           "  vako info IN          print what IN holds as one JSON object\n"
           "  vako play IN [--port NAME]\n"
           "                        play IN in real time on the MIDI output (VAKO_MIDI_OUT:\n"
           "                        synth, port:NAME or null) and show the position\n"
           "  vako render IN OUT.wav [--soundfont F]\n"
           "                        render IN through the built-in synthesizer into a WAV file\n"
           "  vako pdf IN OUT.pdf [--upper PART] [--lower PART] [--pages FIRST-LAST]\n"
           "           [--paper a4|letter]\n"
           "                        write the score as the window prints it: the staff with\n"
           "                        parts PART (1..16; 1 and 10 unless given) on its bands\n";
}

std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Writes the song as a Standard MIDI File, as the export button does with the
// name given. The song is used up: its notes become the export's event list.
// Writes `bytes` to `out` whole or not at all; says why when it could not.
bool writeOrSay(const std::string& out, const std::string& bytes) {
    const WriteOutcome written = writeFileAtomically(out, bytes);
    if (!written.ok) {
        std::cerr << msg::cannotWrite(out,
                                      msg::writeFailureReason(written.errorNumber, written.error))
                  << '\n';
    }
    return written.ok;
}

void sayNotesLeftOut(int64_t count, const std::string& out) {
    if (count > 0) {
        std::cerr << "vako: " << count
                  << " note(s) shifted outside the keys 0 to 127 were left out of " << out << '\n';
    }
}

int exportMidi(Song&& song, const std::string& out, int pitchShift) {
    if (!isExportTempoValid(song.tempoText)) {
        std::cerr << translated(msg::kTempoRange) << '\n';
        return kExitFailed;
    }
    MidiImageReport report;
    const std::string image = buildMidiFileImage(std::move(song), pitchShift, report);
    if (!writeOrSay(out, image)) return kExitFailed;
    sayNotesLeftOut(report.notesLeftOut, out);
    if (report.faulted) {
        std::cerr << "vako: some events of the song cannot be written to a MIDI file and were left "
                     "out of "
                  << out << '\n';
    }
    return report.faulted || report.notesLeftOut > 0 ? kExitFailed : kExitOk;
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Writes the song as a MusicXML score, `compressed` as an .mxl archive; black
// keys by the fixed rule.
int exportMusicXml(const Song& song, const std::string& out, int pitchShift, bool compressed) {
    MusicXmlOptions options;
    options.pitchShift = pitchShift;
    options.programName = programNameOnly;
    MusicXmlReport report;
    std::string score = buildMusicXml(song, options, report);
    if (report.tooLong) {
        std::cerr << "vako: the song runs past " << kMusicXmlMaxBars
                  << " bars; no score was written\n";
        return kExitFailed;
    }
    if (compressed) {
        score = packMusicXmlArchive(score);
        if (score.empty()) {
            std::cerr << "vako: the score is too large for an .mxl archive\n";
            return kExitFailed;
        }
    }
    if (!writeOrSay(out, score)) return kExitFailed;
    sayNotesLeftOut(report.notesLeftOut, out);
    return report.notesLeftOut > 0 ? kExitFailed : kExitOk;
}

int convert(const std::string& in, const std::string& out, int pitchShift) {
    const FileKind outKind = fileKindOf(out);
    const bool toMidi = outKind == FileKind::MidiFile;
    const bool toArchive = endsWith(out, ".mxl") || endsWith(out, ".MXL");
    const bool toScore = toArchive || endsWith(out, ".musicxml") || endsWith(out, ".MUSICXML");
    if (!toMidi && !toScore && outKind != FileKind::SongText) {
        std::cerr << "vako: OUT must end in .txt, .mid, .midi, .musicxml or .mxl\n";
        return kExitUsage;
    }
    Song song;
    if (!openSong(song, in)) return kExitFailed;
    if (toScore) return exportMusicXml(song, out, pitchShift, toArchive);
    if (toMidi) return exportMidi(std::move(song), out, pitchShift);
    const std::string error = saveSongTo(song, out);
    if (!error.empty()) {
        std::cerr << msg::cannotWrite(out, error) << '\n';
        return kExitFailed;
    }
    return kExitOk;
}

int info(const std::string& in) {
    Song song;
    if (!openSong(song, in)) return kExitFailed;
    const int32_t lastPos = song.lastNotePos();
    std::cout << "{\"notes\":" << song.noteCount() << ",\"ccs\":" << song.changeCount
              << ",\"tempo\":" << song.changes[1].value << ",\"divisions\":" << int{song.grid}
              << ",\"quartersPerBar\":" << int{song.quartersPerBar}
              << ",\"copyright\":" << jsonString(song.copyrightText)
              << ",\"name\":" << jsonString(song.sequenceNameText)
              << ",\"pages\":" << lastPos / kStepsPerPage + 1 << ",\"lastPos\":" << lastPos
              << "}\n";
    return kExitOk;
}

// The transposition bar's value: a whole number from -12 to 12.
std::optional<int> parseShift(const std::string& text) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != text.size() || value < -12 || value > 12) return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char** argv) {
    // Lists of a large song (the file's text, the notes, the event list and the
    // sort's scratch) come and go one after the other. Each one larger than
    // this is mapped on its own and goes back to the system when freed;
    // otherwise the allocator would raise its own limit after the first and
    // keep the later ones in its heap, where the freed space stays resident.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    // Messages in the user's language, by the window's rule.
    useLanguage(languageOfUser());
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "convert") return convert(args[1], args[2], 0);
    if (args.size() == 5 && args[0] == "convert" && args[3] == "--shift") {
        const auto shift = parseShift(args[4]);
        if (shift) return convert(args[1], args[2], *shift);
    }
    if (args.size() == 2 && args[0] == "info") return info(args[1]);
    if (!args.empty() && (args[0] == "play" || args[0] == "render"))
        return cli::runSoundCommand(argc - 1, argv + 1);
    if (!args.empty() && args[0] == "pdf") return cli::runPdfCommand(argc - 1, argv + 1);
    usage();
    return kExitUsage;
}
