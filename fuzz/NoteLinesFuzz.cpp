// Any text on the clipboard under the program's own note type (another
// program may put anything there): the reader gives notes a song can hold or
// nothing, and what it gives is written back to the same notes.
#include "song/NoteLines.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto notes = vako::readNoteLines(text);
    if (!notes) return 0;
    for (const vako::Note& note : *notes)
        if (!vako::isStorableNote(note.key)) std::abort();
    const auto again = vako::readNoteLines(vako::formatNoteLines(*notes));
    if (!again || *again != *notes) std::abort();
    return 0;
}
