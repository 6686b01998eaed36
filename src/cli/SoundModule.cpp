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

// Where a module may be, from the tool's own folder: beside it in the build
// tree (`name`), in the library folder once installed (`installed`, relative).
std::vector<std::filesystem::path> moduleCandidates(const char* name, const char* installed) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path folder = error ? std::filesystem::path(".") : self.parent_path();
    return {folder / name, folder / installed};
}

// Loads the module and runs `symbol` with the command; `what` names the
// module in the message when it cannot be loaded.
int runModuleCommand(const std::vector<std::filesystem::path>& candidates, const char* symbol,
                     const char* what, int argc, char** argv) {
    std::string reasons;
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
        const auto command = reinterpret_cast<Command>(dlsym(module, symbol));
        if (!command) {
            reasons += "\n  " + candidate.string() + ": no " + symbol;
            continue;
        }
        return command(argc, argv);
    }
    std::cerr << "vako: " << argv[0] << " needs the " << what
              << " module, which cannot be loaded:" << reasons << '\n';
    return kExitFailed;
}

} // namespace

int runSoundCommand(int argc, char** argv) {
    return runModuleCommand(moduleCandidates(VAKO_SOUND_MODULE_NAME, VAKO_SOUND_MODULE_INSTALLED),
                            kSoundCommandSymbol, "sound", argc, argv);
}

int runPdfCommand(int argc, char** argv) {
    return runModuleCommand(moduleCandidates(VAKO_PDF_MODULE_NAME, VAKO_PDF_MODULE_INSTALLED),
                            kPdfCommandSymbol, "PDF", argc, argv);
}

} // namespace vako::cli
