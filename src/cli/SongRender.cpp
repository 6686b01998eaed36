#include "cli/SongRender.h"

#include "midi/OfflineRender.h"
#include "platform/WavFormat.h"
#include "platform/fluidsynth/FluidSynthRender.h"

#include <limits>

namespace vako {

namespace {

OfflineRenderOptions offlineOptions(const RenderOptions& options, double maxSeconds) {
    OfflineRenderOptions offline;
    offline.sampleRate = synthesizerSampleRate();
    offline.startPage = options.startPage;
    offline.playback = options.playback;
    offline.tailSeconds = options.tailSeconds;
    offline.maxSeconds = maxSeconds;
    return offline;
}

} // namespace

RenderResult renderSong(Song& song, const RenderOptions& options) {
    RenderResult result;
    result.sampleRate = synthesizerSampleRate();
    VectorSampleSink samples(result.samples);
    SynthesizerBlockSink synth(options.soundFont, samples);
    if (!synth.error().empty()) {
        result.error = synth.error();
        return result;
    }
    const OfflineRenderResult rendered = renderOffline(
        song, offlineOptions(options, std::numeric_limits<double>::infinity()), synth);
    if (rendered.ok) synth.finish();
    result.ok = rendered.ok;
    result.error = rendered.error;
    result.playSeconds = rendered.playSeconds;
    return result;
}

std::string renderSongToWav(Song& song, const RenderOptions& options,
                            const std::filesystem::path& out, double* playSeconds) {
    const int sampleRate = synthesizerSampleRate();
    WavFileSink file(out, sampleRate);
    if (!file.error().empty()) return file.error();
    SynthesizerBlockSink synth(options.soundFont, file);
    if (!synth.error().empty()) return synth.error();
    const OfflineRenderResult rendered =
        renderOffline(song, offlineOptions(options, wavFileMaxSeconds(sampleRate)), synth);
    if (!rendered.ok) return rendered.error;
    synth.finish();
    if (playSeconds) *playSeconds = rendered.playSeconds;
    return file.commit();
}

} // namespace vako
