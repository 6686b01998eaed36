// The system clipboard: one piece of data in several forms at once, each
// under its MIME type, so that another program takes the form it knows.
// `MemoryClipboard` keeps them in the process: the window's clipboard when
// no toolkit gives another, and the tests'.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vako {

struct ClipboardForm {
    std::string mimeType; // "audio/midi", ...
    std::string bytes;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Replaces whatever the clipboard held by `forms`.
    virtual void put(const std::vector<ClipboardForm>& forms) = 0;
    // The bytes of the form `mimeType`; nullopt when the clipboard holds none.
    virtual std::optional<std::string> get(const std::string& mimeType) const = 0;
};

class MemoryClipboard : public Clipboard {
public:
    void put(const std::vector<ClipboardForm>& forms) override {
        m_forms.clear();
        for (const ClipboardForm& f : forms) m_forms[f.mimeType] = f.bytes;
    }
    std::optional<std::string> get(const std::string& mimeType) const override {
        const auto it = m_forms.find(mimeType);
        if (it == m_forms.end()) return std::nullopt;
        return it->second;
    }

private:
    std::map<std::string, std::string> m_forms;
};

} // namespace vako
