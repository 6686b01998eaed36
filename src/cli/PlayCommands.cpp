#include "cli/PlayCommands.h"

#include "cli/OpenSong.h"
#include "cli/SoundModule.h"

#include "midi/Playback.h"
#include "platform/Clock.h"
#include "platform/MidiDevices.h"
#include "platform/ProgramSettings.h"
#include "song/Messages.h"
#include "song/Song.h"

#ifdef VAKO_HAVE_FLUIDSYNTH
#include "cli/SongRender.h"
#include "platform/fluidsynth/FluidSynthMidiOut.h"
#endif
#ifdef VAKO_HAVE_RTMIDI
#include "platform/rtmidi/RtMidiPortOut.h"
#endif

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <set>

namespace vako::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> g_interrupted{false};

void onInterrupt(int) {
    g_interrupted = true;
}

// Parts named by a list such as "1,3,10" or "1-4,10" (parts 1-16) marked in
// `parts` (0-based). False for anything else.
bool readPartList(const std::string& text, std::array<bool, kPartCount>& parts) {
    if (text.empty()) return false;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        const size_t dash = item.find('-');
        const auto number = [](const std::string& digits) -> int {
            if (digits.empty() || digits.size() > 2 ||
                !std::all_of(digits.begin(), digits.end(),
                             [](char c) { return c >= '0' && c <= '9'; }))
                return 0;
            const int n = std::stoi(digits);
            return n >= 1 && n <= kPartCount ? n : 0;
        };
        const int first = number(item.substr(0, dash));
        const int last = dash == std::string::npos ? first : number(item.substr(dash + 1));
        if (first == 0 || last < first) return false;
        for (int part = first; part <= last; ++part) parts[part - 1] = true;
        at = comma + 1;
    }
    return true;
}

// What follows IN (and OUT): `--name VALUE` pairs among `valued`, flags
// among `flags`. `ok` turns false on anything else.
struct SoundArguments {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    PlaybackOptions heard;
};

SoundArguments readSoundArguments(const std::vector<std::string>& args, size_t first,
                                  const std::set<std::string>& valued,
                                  const std::set<std::string>& flags, bool& ok) {
    SoundArguments read;
    for (size_t i = first; ok && i < args.size(); ++i) {
        if (flags.count(args[i])) {
            read.flags.insert(args[i]);
        } else if (valued.count(args[i]) && i + 1 < args.size()) {
            read.values[args[i]] = args[i + 1];
            ++i;
        } else {
            ok = false;
        }
    }
    if (!ok) return read;
    if (read.values.count("--mute")) ok &= readPartList(read.values["--mute"], read.heard.muted);
    if (read.values.count("--solo")) ok &= readPartList(read.values["--solo"], read.heard.soloed);
    read.heard.metronome = read.flags.count("--metronome") > 0;
    return read;
}

std::optional<std::string> valueOf(const SoundArguments& read, const std::string& name) {
    const auto it = read.values.find(name);
    if (it == read.values.end()) return std::nullopt;
    return it->second;
}

// Shows where playback is: bar, page and tempo, once a bar.
class PositionListener final : public PlaybackListener {
public:
    PositionListener(const Song& song, const Playback* playback)
        : m_song(song), m_playback(playback), m_tty(isatty(STDERR_FILENO) == 1) {}
    void attach(const Playback* playback) { m_playback = playback; }

    void showMessage(const std::string& text) override { std::cerr << text << '\n'; }
    void setPage(int page, bool) override { m_page = page; }
    int page() const override { return m_page; }
    void moveCursorLine(int) override {
        if (!m_playback || !m_playback->isPlaying()) return;
        const int32_t pos = m_playback->state().playPosition;
        const int stepsPerBar = std::max(1, m_song.quartersPerBar * 12);
        if (pos < 1 || (pos - 1) % stepsPerBar != 0) return;
        std::fprintf(stderr, "bar %d  page %d  position %d  tempo %s%s",
                     (pos - 1) / stepsPerBar + 1, m_page + 1, pos, m_song.tempoText.c_str(),
                     m_tty ? "    \r" : "\n");
    }

private:
    const Song& m_song;
    const Playback* m_playback;
    bool m_tty;
    int m_page = 0;
};

MidiDeviceList systemDevices() {
    MidiDeviceList devices;
#ifdef VAKO_HAVE_FLUIDSYNTH
    devices.add(makeFluidSynthBackend());
#endif
#ifdef VAKO_HAVE_RTMIDI
    devices.add(makeRtMidiBackend());
#endif
    return devices;
}

} // namespace

int play(const std::vector<std::string>& args) {
    bool ok = args.size() >= 2;
    const SoundArguments read =
        readSoundArguments(args, 2, {"--port", "--mute", "--solo"}, {"--metronome"}, ok);
    const std::optional<std::string> port = valueOf(read, "--port");
    if (!ok) {
        std::cerr << "usage: vako play IN [--port NAME] [--mute LIST] [--solo LIST] "
                     "[--metronome]\n"
                     "  LIST: parts 1-16, as 2,5 or 1-4,10\n";
        return kExitUsage;
    }
    Song song;
    if (!openSong(song, args[1])) return kExitFailed;

    bool recognised = true;
    const MidiOutChoice choice = port ? MidiOutChoice{MidiOutChoice::Kind::Port, *port}
                                      : midiOutChoiceFromEnvironment(&recognised);
    if (!recognised)
        std::cerr << "vako: VAKO_MIDI_OUT is not synth, port:NAME or null; using synth\n";
    MidiDeviceList devices = systemDevices();
    MidiStartup startup = openMidiOutAtStartup(devices, choice);
    if (!startup.message.empty()) std::cerr << startup.message << '\n';
    if (!startup.detail.empty()) std::cerr << "vako: " << startup.detail << '\n';
    if (startup.silentFallback)
        std::cerr << "vako: playing on the silent device\n";
    else
        std::cerr << "vako: playing on " << startup.device->name() << '\n';

    SteadyClock clock;
    PositionListener listener(song, nullptr);
    Playback playback(song, *startup.device, clock, listener);
    listener.attach(&playback);
    playback.setOptions(read.heard);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    playback.press();
    if (!playback.isPlaying()) return kExitFailed;
    const double started = clock.nowMs();
    playUntilStopped(playback, clock, [] { return !g_interrupted.load(); });
    std::fprintf(stderr, "\nvako: %s after %.1f s\n",
                 g_interrupted ? "stopped" : "played to the end",
                 (clock.nowMs() - started) / 1000.0);
    // Let the synthesizer's last notes die away before the device goes.
    if (!startup.silentFallback) clock.sleepUntil(clock.nowMs() + 500);
    startup.device->reset();
    startup.device->close();
    return kExitOk;
}

int render(const std::vector<std::string>& args) {
    bool ok = args.size() >= 3;
    const SoundArguments read =
        readSoundArguments(args, 3, {"--soundfont", "--mute", "--solo"}, {"--metronome"}, ok);
    const std::optional<std::string> soundFont = valueOf(read, "--soundfont");
    if (!ok) {
        std::cerr << "usage: vako render IN OUT.wav [--soundfont F] [--mute LIST] [--solo LIST] "
                     "[--metronome]\n"
                     "  LIST: parts 1-16, as 2,5 or 1-4,10\n";
        return kExitUsage;
    }
#ifdef VAKO_HAVE_FLUIDSYNTH
    Song song;
    if (!openSong(song, args[1])) return kExitFailed;
    RenderOptions options;
    options.soundFont = soundFont.value_or("");
    options.playback = read.heard;
    const auto began = std::chrono::steady_clock::now();
    double playSeconds = 0;
    const std::string error = renderSongToWav(song, options, args[2], &playSeconds);
    if (!error.empty()) {
        std::cerr << (error == translated(msg::kTempoRange) ? error : "vako: " + error) << '\n';
        return kExitFailed;
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::fprintf(stderr, "vako: %.1f s of music rendered in %.2f s\n", playSeconds, took);
    return kExitOk;
#else
    std::cerr << "vako: this build has no synthesizer (built without FluidSynth)\n";
    return kExitFailed;
#endif
}

} // namespace vako::cli

// The module's one entry point: argv[0] is the command.
extern "C" VAKO_SOUND_MODULE_EXPORT int vakoSoundCommand(int argc, char** argv) {
    // The module holds its own copy of the core: it chooses the language as
    // the tool did.
    vako::useLanguage(vako::languageOfUser());
    const std::vector<std::string> args(argv, argv + argc);
    if (!args.empty() && args[0] == "play") return vako::cli::play(args);
    if (!args.empty() && args[0] == "render") return vako::cli::render(args);
    return 2;
}
