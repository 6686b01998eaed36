// `vako pdf IN OUT.pdf`: the score on paper, as the window prints it. Built
// into a module of its own with the toolkit (SoundModule.h), so the tool's
// other commands start without it. The toolkit runs without a screen.
#include "cli/OpenSong.h"
#include "cli/SoundModule.h"
#include "platform/AtomicFile.h"
#include "platform/ProgramSettings.h"
#include "platform/Translation.h"
#include "platform/qt/ScorePaper.h"
#include "song/Messages.h"
#include "song/Song.h"

#include <QGuiApplication>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace vako::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::optional<int64_t> wholeNumber(const std::string& text, int64_t lo, int64_t hi) {
    size_t used = 0;
    long long value = 0;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != text.size() || value < lo || value > hi) return std::nullopt;
    return value;
}

struct PdfRequest {
    std::string in, out;
    StaffPageLook look;
    SongPageRange range;
    PaperSize paper = kPaperA4;
};

// IN OUT.pdf [--upper PART] [--lower PART] [--pages FIRST-LAST] [--paper a4|letter];
// parts 1..16 as the part buttons name them.
std::optional<PdfRequest> parse(const std::vector<std::string>& args) {
    if (args.size() < 3) return std::nullopt;
    PdfRequest request;
    request.in = args[1];
    request.out = args[2];
    request.look.bandParts = {0, kPercussionPart}; // as a fresh window shows them
    for (size_t i = 3; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return std::nullopt;
        const std::string& option = args[i];
        const std::string& value = args[i + 1];
        if (option == "--upper" || option == "--lower") {
            const auto part = wholeNumber(value, 1, kPartCount);
            if (!part) return std::nullopt;
            request.look.bandParts[option == "--upper" ? 0 : 1] = static_cast<uint8_t>(*part - 1);
        } else if (option == "--pages") {
            const size_t dash = value.find('-');
            const auto first = wholeNumber(value.substr(0, dash), 1, INT32_MAX);
            const auto last = dash == std::string::npos
                                  ? first
                                  : wholeNumber(value.substr(dash + 1), 1, INT32_MAX);
            if (!first || !last || *last < *first) return std::nullopt;
            request.range = {*first, *last};
        } else if (option == "--paper") {
            if (value == "a4" || value == "A4")
                request.paper = kPaperA4;
            else if (value == "letter" || value == "Letter")
                request.paper = kPaperLetter;
            else
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return request;
}

int writePdf(const PdfRequest& request) {
    Song song;
    if (!openSong(song, request.in)) return kExitFailed;
    ScoreLayout layout;
    const PdfOutcome pdf = scorePdf(song, request.look, request.range, request.paper, &layout);
    if (layout.tooMany) {
        std::cerr << "vako: the song runs to " << layout.songPages << " pages; at most "
                  << kMostPaperSheets << " are written at once (--pages)\n";
        return kExitFailed;
    }
    if (pdf.bytes.empty()) {
        std::cerr << "vako: the song has " << layout.songPages << " page(s); no page of "
                  << request.range.first << "-" << request.range.last << " to print\n";
        return kExitFailed;
    }
    const WriteOutcome written = writeFileAtomically(request.out, pdf.bytes);
    if (!written.ok) {
        std::cerr << msg::cannotWrite(request.out,
                                      msg::writeFailureReason(written.errorNumber, written.error))
                  << '\n';
        return kExitFailed;
    }
    if (!pdf.complete) {
        std::cerr << "vako: some of the song could not be drawn; " << request.out
                  << " shows what could\n";
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace
} // namespace vako::cli

// The module's one entry point: argv[0] is "pdf".
extern "C" VAKO_SOUND_MODULE_EXPORT int vakoPdfCommand(int argc, char** argv) {
    // The module holds its own copy of the core: it chooses the language as
    // the tool did.
    vako::useLanguage(vako::languageOfUser());
    const std::vector<std::string> args(argv, argv + argc);
    const auto request = vako::cli::parse(args);
    if (!request) {
        std::cerr << "usage: vako pdf IN OUT.pdf [--upper PART] [--lower PART] "
                     "[--pages FIRST-LAST] [--paper a4|letter]\n";
        return vako::cli::kExitUsage;
    }
    // No screen is needed for paper; an explicit choice of platform stays.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char name[] = "vako";
    char* qtArgv[] = {name, nullptr};
    QGuiApplication application(qtArgc, qtArgv);
    return vako::cli::writePdf(*request);
}
