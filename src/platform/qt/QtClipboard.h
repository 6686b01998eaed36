// The system clipboard through Qt: every form goes into one QMimeData, so a
// program that knows only one of the types still finds it.
#pragma once

#include "platform/Clipboard.h"

namespace vako {

class QtClipboard : public Clipboard {
public:
    void put(const std::vector<ClipboardForm>& forms) override;
    std::optional<std::string> get(const std::string& mimeType) const override;
};

} // namespace vako
