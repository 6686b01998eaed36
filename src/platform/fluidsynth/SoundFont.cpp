#include "platform/fluidsynth/SoundFont.h"

#include <cstdlib>
#include <filesystem>

namespace vako {

const std::vector<std::string>& soundFontCandidates() {
    static const std::vector<std::string> candidates = {
        "/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf3/FluidR3Mono_GM.sf3",
        "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
    };
    return candidates;
}

std::string findSoundFont() {
    if (const char* chosen = std::getenv("VAKO_SOUNDFONT"); chosen && *chosen) return chosen;
    std::error_code error;
    for (const std::string& path : soundFontCandidates())
        if (std::filesystem::is_regular_file(path, error)) return path;
    return {};
}

} // namespace vako
