// vako: the command-line tool. Opens songs exactly as the editor opens a file
// given on its command line, and converts or describes them.
#include "song/Messages.h"
#include "song/OpenF.h"
#include "song/SongWriter.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vako;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The editor's messages go to stderr; everything else the window would show is silent.
class ToolHost : public SongHost {
public:
    void showMessage(const std::string& text) override { std::cerr << text << '\n'; }
};

void usage() {
    std::cerr << "usage:\n"
                 "  vako convert IN OUT   open IN (.txt song file) and write OUT (.txt)\n"
                 "  vako info IN          print what IN holds as one JSON object\n";
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Opens IN as a freshly started editor would. False (message already shown) when
// nothing was read.
bool openSong(Song& song, const std::string& path) {
    ToolHost host;
    const OpenStatus status = OpenF(song, path, host);
    switch (status) {
    case OpenStatus::Loaded:
        return true;
    case OpenStatus::WrongMagic:
    case OpenStatus::ReadFailure:
        return false;
    case OpenStatus::Picture:
    case OpenStatus::NotASong:
        std::cerr << msg::kCannotRead << '\n';
        return false;
    }
    return false;
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

int convert(const std::string& in, const std::string& out) {
    if (!endsWith(out, ".txt")) {
        std::cerr << "vako: OUT must end in .txt\n";
        return kExitUsage;
    }
    Song song;
    if (!openSong(song, in)) return kExitFailed;
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
    std::cout << "{\"notes\":" << song.noteCount() << ",\"ccs\":" << song.varCCCount
              << ",\"tempo\":" << song.udtCCs[1].lngValue
              << ",\"divisions\":" << int{song.bytDivisions}
              << ",\"quartersPerBar\":" << int{song.bytQuartersPerBar}
              << ",\"copyright\":" << jsonString(song.copyrightText)
              << ",\"name\":" << jsonString(song.sequenceNameText)
              << ",\"pages\":" << lastPos / kStepsPerPage + 1 << ",\"lastPos\":" << lastPos
              << "}\n";
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "convert") return convert(args[1], args[2]);
    if (args.size() == 2 && args[0] == "info") return info(args[1]);
    usage();
    return kExitUsage;
}
