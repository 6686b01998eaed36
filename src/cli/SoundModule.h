// The sound module: `vako play` and `vako render`, with the synthesizer and the
// MIDI port libraries they need, built as a module of its own that the tool
// loads only for those two commands. Converting or describing a file then
// starts without some sixty libraries and their memory.
#pragma once

#define VAKO_SOUND_MODULE_EXPORT __attribute__((visibility("default")))

namespace vako::cli {

// The module's entry point, by name: int vakoSoundCommand(int argc, char** argv),
// argv[0] being the command ("play" or "render"); the exit status.
inline constexpr const char* kSoundCommandSymbol = "vakoSoundCommand";

// Loads the module and runs the command in argv[0]. When the module cannot be
// loaded, says why on stderr and returns the failure status.
int runSoundCommand(int argc, char** argv);

// `vako pdf` lives in a module of its own, with the toolkit: int
// vakoPdfCommand(int argc, char** argv), argv[0] being "pdf".
inline constexpr const char* kPdfCommandSymbol = "vakoPdfCommand";
int runPdfCommand(int argc, char** argv);

} // namespace vako::cli
