#include "platform/fluidsynth/FluidSynthRender.h"
#include "cli/SongRender.h"
#include "platform/fluidsynth/FluidSynthMidiOut.h"
#include "platform/fluidsynth/PeakLimiter.h"
#include "platform/fluidsynth/SoundFont.h"

#include "song/SongWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace vako {
namespace {

Song songWith(const std::vector<Note>& notes) {
    Song song;
    song.notes.assign(1, Note{});
    song.notes.insert(song.notes.end(), notes.begin(), notes.end());
    song.twiceNoteCount = static_cast<int32_t>(2 * notes.size());
    song.changes = {ControlChange{}, ControlChange{0, 120, kTempoChange},
                    ControlChange{kEndMarkerPos, 0, 0}};
    song.changeCount = 1;
    return song;
}

// Loudest sample between two times (seconds), both channels.
int peak(const RenderResult& r, double from, double to) {
    const auto first = static_cast<size_t>(std::max(0.0, from) * r.sampleRate) * 2;
    const auto last = std::min(r.samples.size(), static_cast<size_t>(to * r.sampleRate) * 2);
    int loudest = 0;
    for (size_t i = first; i < last; ++i) loudest = std::max(loudest, std::abs(int{r.samples[i]}));
    return loudest;
}

constexpr int kSilent = 8; // dither at most
constexpr int kSounding = 500;
constexpr double kStep = 5000.0 / 120 / 1000; // seconds at tempo 120

TEST(FluidSynthRender, SoundWhereTheNotesAreAndSilenceAfterThem) {
    ASSERT_FALSE(findSoundFont().empty()) << "a General MIDI SoundFont must be installed";
    // A piano note at position 1 (sounded by pass 3), a drum hit at 200, both
    // half a second long.
    Song song = songWith({{1, 60, 12, 0, 120, 64, 0}, {200, 38, 12, 9, 120, 64, 0}});
    RenderOptions options;
    options.tailSeconds = 3;
    const RenderResult r = renderSong(song, options);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.sampleRate, 44100);
    // The stop comes in the pass of position 212, the last note's end.
    EXPECT_NEAR(r.playSeconds, 214 * kStep, 1e-6);
    EXPECT_EQ(r.samples.size(), 2 * static_cast<size_t>(std::llround((214 * kStep + 3) * 44100)));

    EXPECT_LE(peak(r, 0, 3 * kStep - 0.002), kSilent) << "before the first note";
    EXPECT_GE(peak(r, 3 * kStep, 15 * kStep), kSounding) << "the piano note";
    EXPECT_LE(peak(r, 15 * kStep + 3, 202 * kStep - 0.002), kSilent) << "between the notes";
    EXPECT_GE(peak(r, 202 * kStep, 214 * kStep), kSounding) << "the drum";
    const double end = r.samples.size() / 2.0 / r.sampleRate;
    EXPECT_LE(peak(r, end - 0.5, end), kSilent) << "after the last note";
}

// A rendered song used to peak about 20 dB below full scale, much quieter
// than other players. A song as the editor writes it (a melody over chords
// and drums, new notes' strength) now peaks at the limiter's -1 dBFS; one of
// sixteen parts of full chords is turned down to the same, without clipping.
TEST(FluidSynthRender, ATypicalSongPeaksNearMinusOneDbfsAndADenseOneDoesNotClip) {
    ASSERT_FALSE(findSoundFont().empty()) << "a General MIDI SoundFont must be installed";
    std::vector<Note> typical;
    for (int32_t bar = 0; bar < 4; ++bar) {
        const int32_t at = 3 + 48 * bar;
        for (uint8_t key : {48, 55, 64}) typical.push_back({at, key, 48, 1, 120, 64, 0});
        for (int32_t beat = 0; beat < 4; ++beat) {
            typical.push_back({at + 12 * beat, static_cast<uint8_t>(beat % 2 ? 38 : 36), 3,
                               kPercussionPart, 120, 64, 0});
            typical.push_back(
                {at + 12 * beat, static_cast<uint8_t>(72 + 2 * beat), 12, 0, 120, 64, 0});
        }
    }
    std::stable_sort(typical.begin(), typical.end(),
                     [](const Note& a, const Note& b) { return a.position < b.position; });
    Song song = songWith(typical);
    const RenderResult r = renderSong(song, {});
    ASSERT_TRUE(r.ok) << r.error;
    const int ceiling = static_cast<int>(std::lround(PeakLimiter::kCeiling * 32767));
    EXPECT_GE(peak(r, 0, 1e9), ceiling * 0.79) << "within 2 dB of -1 dBFS";
    EXPECT_LE(peak(r, 0, 1e9), ceiling);

    std::vector<Note> dense;
    for (uint8_t part = 0; part < 16; ++part)
        for (uint8_t key = 40; key < 80; key += 4) dense.push_back({3, key, 96, part, 120, 64, 0});
    std::stable_sort(dense.begin(), dense.end(),
                     [](const Note& a, const Note& b) { return a.key < b.key; });
    Song loud = songWith(dense);
    loud.partVolumes.fill(6);
    const RenderResult l = renderSong(loud, {});
    ASSERT_TRUE(l.ok) << l.error;
    EXPECT_LE(peak(l, 0, 1e9), ceiling) << "turned down, not clipped";
    EXPECT_GE(peak(l, 0, 1e9), ceiling - 40);
}

TEST(FluidSynthRender, TheWaveFileHoldsTheSamplesTheSongPlays) {
    ASSERT_FALSE(findSoundFont().empty()) << "a General MIDI SoundFont must be installed";
    const std::filesystem::path out = std::filesystem::temp_directory_path() /
                                      ("vako-render-" + std::to_string(getpid()) + ".wav");
    Song inMemory = songWith({{1, 60, 12, 0, 120, 64, 0}});
    Song toFile = inMemory;
    const RenderResult r = renderSong(inMemory, {});
    ASSERT_TRUE(r.ok) << r.error;
    double seconds = 0;
    ASSERT_EQ(renderSongToWav(toFile, {}, out, &seconds), "");
    std::ifstream in(out, std::ios::binary);
    const std::string wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(out);
    EXPECT_EQ(seconds, r.playSeconds);
    // The header, written again at the end, gives the sizes the file has.
    EXPECT_EQ(wav, wavFileImage(r.samples, r.sampleRate));
}

TEST(FluidSynthRender, ASongLongerThanAWaveFileHoldsIsRefusedWithItsLengthBeforeRendering) {
    ASSERT_FALSE(findSoundFont().empty()) << "a General MIDI SoundFont must be installed";
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vako-render-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    // One note near the end of the longest song: about 518 days at tempo 120.
    Song song = songWith({{kEndMarkerPos - 13, 60, 12, 0, 120, 64, 0}});
    const std::string error = renderSongToWav(song, {}, folder / "long.wav");
    EXPECT_EQ(error, "the song plays for 12427:34:05 (44739245 s); a WAV file holds at most "
                     "6:45:48 of this sound");
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << "neither the file nor its temporary may stay";

    // Just within the limit by the start tempo, beyond it after a tempo change.
    Song slow = songWith({{800'000, 60, 12, 0, 120, 64, 0}});
    slow.changes = {ControlChange{}, ControlChange{0, 600, kTempoChange},
                    ControlChange{400'000, 30, kTempoChange}, ControlChange{kEndMarkerPos, 0, 0}};
    slow.changeCount = 2;
    slow.tempoText = "600";
    EXPECT_EQ(renderSongToWav(slow, {}, folder / "slow.wav"),
              "the song plays for 19:26:45 (70005 s); a WAV file holds at most 6:45:48 of this "
              "sound");
    std::filesystem::remove_all(folder);
}

TEST(FluidSynthRender, AMissingSoundFontIsAnErrorNotACrash) {
    Song song = songWith({{1, 60, 12, 0, 120, 64, 0}});
    RenderOptions options;
    options.soundFont = "/nonexistent/none.sf2";
    const RenderResult r = renderSong(song, options);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("/nonexistent/none.sf2"), std::string::npos);
}

TEST(FluidSynthRender, WritesA16BitStereoWaveFile) {
    const std::string wav = wavFileImage({1, -1, 256, -256}, 44100);
    ASSERT_EQ(wav.size(), 44u + 8);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(static_cast<unsigned char>(wav[4]), 44u); // 36 + 8
    EXPECT_EQ(static_cast<unsigned char>(wav[22]), 2u); // channels
    EXPECT_EQ(static_cast<unsigned char>(wav[34]), 16u);
    EXPECT_EQ(wav.substr(44), std::string("\x01\x00\xff\xff\x00\x01\x00\xff", 8));
}

TEST(FluidSynthMidiOut, OpensOrSaysWhyNot) {
    // Without a sound card the audio output cannot open; either way the
    // answer is a device or a reason, never a crash.
    std::string error;
    auto device = FluidSynthMidiOut::open(findSoundFont(), error);
    if (device) {
        device->send(0x643C90);
        device->reset();
        device->close();
        device->send(0x643C90); // closed: no effect
    } else {
        EXPECT_FALSE(error.empty());
    }
    auto backend = makeFluidSynthBackend();
    EXPECT_TRUE(backend->isSynth());
    EXPECT_EQ(backend->deviceNames().size(), 1u);
}

// The tool, end to end: a short song at tempo 600 plays on the silent device
// and renders into a WAV file.
TEST(Tool, PlaysOnTheSilentDeviceAndRendersAWaveFile) {
    const auto dir = std::filesystem::temp_directory_path() / "vako-tool-play-test";
    std::filesystem::create_directories(dir);
    Song song = songWith({{1, 60, 6, 0, 120, 64, 0}});
    song.tempoText = "600";
    ASSERT_EQ(saveSongTo(song, dir / "short.txt"), "");
    const std::string in = (dir / "short.txt").string();
    const std::string quiet = " 2>" + (dir / "log.txt").string();

    EXPECT_EQ(std::system(
                  ("VAKO_MIDI_OUT=null " + std::string(VAKO_TOOL) + " play " + in + quiet).c_str()),
              0);
    EXPECT_EQ(std::system((std::string(VAKO_TOOL) + " render " + in + " " +
                           (dir / "out.wav").string() + quiet)
                              .c_str()),
              0);
    std::ifstream wav(dir / "out.wav", std::ios::binary);
    std::string head(4, '\0');
    wav.read(head.data(), 4);
    EXPECT_EQ(head, "RIFF");
    EXPECT_GT(std::filesystem::file_size(dir / "out.wav"), 44u + 2 * 44100 * 4);
    EXPECT_NE(std::system((std::string(VAKO_TOOL) + " play" + quiet).c_str()), 0);
    std::filesystem::remove_all(dir);
}

// The samples of a 16-bit stereo WAV file the tool wrote (its 44-byte header skipped).
std::vector<int16_t> wavSamples(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                               (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    return samples;
}

// Mean energy (squared sample) between two times in seconds.
double energy(const std::vector<int16_t>& samples, double from, double to) {
    const auto first = static_cast<size_t>(std::max(0.0, from) * 44100) * 2;
    const auto last = std::min(samples.size(), static_cast<size_t>(to * 44100) * 2);
    double sum = 0;
    for (size_t i = first; i < last; ++i) sum += double(samples[i]) * samples[i];
    return last > first ? sum / double(last - first) : 0;
}

class ToolRendersWhatIsHeard : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // Renders the song with the tool's options; the samples, or none when it failed.
    std::vector<int16_t> render(const Song& song, const std::string& options) {
        const auto in = dir / "song.txt", out = dir / "out.wav";
        std::filesystem::remove(out);
        if (!saveSongTo(song, in).empty()) return {};
        const std::string command = std::string(VAKO_TOOL) + " render " + in.string() + " " +
                                    out.string() + " " + options + " 2>" +
                                    (dir / "log.txt").string();
        if (std::system(command.c_str()) != 0) return {};
        return wavSamples(out);
    }
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vako-heard-" + std::to_string(getpid()));
};

constexpr double kLoud = 500.0 * 500.0; // a note's energy is far above this
constexpr double kQuiet = 8.0 * 8.0;    // dither at most

TEST_F(ToolRendersWhatIsHeard, ASoloedPartSoundsAndTheOthersAreSilent) {
    // A piano part 1 at position 1, drums (part 10) at 100, a flute part 3 at 100.
    Song song = songWith(
        {{1, 60, 24, 0, 120, 64, 0}, {100, 38, 12, 9, 120, 64, 0}, {100, 72, 24, 2, 120, 64, 0}});
    song.partPrograms[2] = 73;
    const std::vector<int16_t> all = render(song, "");
    const std::vector<int16_t> solo = render(song, "--solo 10");
    const std::vector<int16_t> muted = render(song, "--mute 1,3");
    ASSERT_FALSE(all.empty() || solo.empty() || muted.empty());
    const double piano = 3 * kStep, drums = 102 * kStep;
    EXPECT_GT(energy(all, piano, piano + 0.4), kLoud);
    EXPECT_LT(energy(solo, piano, piano + 0.4), kQuiet) << "the piano is not soloed";
    EXPECT_GT(energy(solo, drums, drums + 0.2), kLoud);
    EXPECT_LT(energy(muted, piano, piano + 0.4), kQuiet);
    EXPECT_GT(energy(muted, drums, drums + 0.2), kLoud);
    // Only the drum sounds in the muted render; the flute beside it adds to the full one.
    EXPECT_GT(energy(all, drums + 0.3, drums + 0.9), 10 * energy(muted, drums + 0.3, drums + 0.9));
    EXPECT_TRUE(render(song, "--solo 17").empty()) << "parts are 1-16";
    EXPECT_TRUE(render(song, "--mute x").empty());
}

TEST_F(ToolRendersWhatIsHeard, TheMetronomeClicksOnTheBeatsAndIsSilentBetween) {
    // Tempo 60: a quarter is a second. Nothing but a short note at the end.
    Song song = songWith({{3 + 4 * 48, 60, 1, 0, 1, 64, 0}});
    song.tempoText = "60";
    song.changes[1].value = 60;
    const double step = 5000.0 / 60 / 1000;
    const std::vector<int16_t> plain = render(song, "");
    const std::vector<int16_t> clicks = render(song, "--metronome");
    ASSERT_FALSE(plain.empty() || clicks.empty());
    // The beat at position 3 + 12 k is sounded by the pass due at (3 + 12 k + 2) steps.
    for (int k = 0; k < 12; ++k) {
        const double beat = (5 + 12 * k) * step;
        EXPECT_LT(energy(plain, beat, beat + 0.15), kQuiet) << k;
        EXPECT_GT(energy(clicks, beat, beat + 0.15), kLoud) << k;
        EXPECT_LT(energy(clicks, beat - 0.3, beat - 0.002), energy(clicks, beat, beat + 0.15) / 100)
            << "between the clicks " << k;
    }
    // The first beat of a bar is the louder click.
    EXPECT_GT(energy(clicks, 5 * step, 5 * step + 0.15),
              energy(clicks, 17 * step, 17 * step + 0.15));
}

} // namespace
} // namespace vako
