#include "cli/SoundModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

namespace vako::cli {

namespace {

constexpr int kExitFailed = 1;

// Where the module may be, from the tool's own folder: beside it in the build
// tree, in the library folder once installed.
std::vector<std::filesystem::path> moduleCandidates() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = error ? std::filesystem::path(".") : self.parent_path();
    return {folder / VAKO_SOUND_MODULE_NAME, folder / VAKO_SOUND_MODULE_INSTALLED};
}

} // namespace

int runSoundCommand(int argc, char** argv) {
    std::string reasons;
    const std::vector<std::filesystem::path> candidates = moduleCandidates();
    for (const std::filesystem::path& candidate : candidates) {
        if (!std::filesystem::exists(candidate)) {
            reasons += "\n  " + candidate.lexically_normal().string() + ": not there";
            continue;
        }
        // The module stays loaded until the process ends.
        void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            reasons += std::string("\n  ") + dlerror();
            continue;
        }
        using Command = int (*)(int, char**);
        const auto command = reinterpret_cast<Command>(dlsym(module, kSoundCommandSymbol));
        if (!command) {
            reasons += "\n  " + candidate.string() + ": no " + kSoundCommandSymbol;
            continue;
        }
        return command(argc, argv);
    }
    std::cerr << "vako: " << argv[0] << " needs the sound module, which cannot be loaded:" << reasons
              << '\n';
    return kExitFailed;
}

} // namespace vako::cli
