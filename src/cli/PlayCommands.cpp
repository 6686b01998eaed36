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

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>

namespace vako::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> g_interrupted{false};

void onInterrupt(int) {
    g_interrupted = true;
}

// IN, then `--option VALUE` pairs; nullopt when the arguments do not fit.
std::optional<std::string> optionValue(const std::vector<std::string>& args, size_t first,
                                       const std::string& option, bool& ok) {
    std::optional<std::string> value;
    for (size_t i = first; i < args.size(); i += 2) {
        if (args[i] != option || i + 1 >= args.size()) {
            ok = false;
            return std::nullopt;
        }
        value = args[i + 1];
    }
    return value;
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
    const std::optional<std::string> port = ok ? optionValue(args, 2, "--port", ok) : std::nullopt;
    if (!ok) {
        std::cerr << "usage: vako play IN [--port NAME]\n";
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
    const std::optional<std::string> soundFont =
        ok ? optionValue(args, 3, "--soundfont", ok) : std::nullopt;
    if (!ok) {
        std::cerr << "usage: vako render IN OUT.wav [--soundfont F]\n";
        return kExitUsage;
    }
#ifdef VAKO_HAVE_FLUIDSYNTH
    Song song;
    if (!openSong(song, args[1])) return kExitFailed;
    RenderOptions options;
    options.soundFont = soundFont.value_or("");
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
