#include "platform/Translation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vako {

// The catalogs compiled from po/*.po at build time (BuiltInCatalogs.cpp).
struct BuiltInCatalogImage {
    const char* language;
    const unsigned char* bytes;
    size_t size;
};
extern const BuiltInCatalogImage kBuiltInCatalogImages[];
extern const size_t kBuiltInCatalogCount;

namespace {

constexpr uint32_t kMoMagic = 0x950412de;
constexpr uint32_t kMoMagicSwapped = 0xde120495;

uint32_t readWord(std::string_view image, size_t offset, bool swapped) {
    uint32_t v;
    std::memcpy(&v, image.data() + offset, 4);
    return swapped ? __builtin_bswap32(v) : v;
}

struct LanguageState {
    std::string language{kSourceLanguage};
    const MessageCatalog* catalog = nullptr;
};

LanguageState& state() {
    static LanguageState s;
    return s;
}

// "en_US.UTF-8@euro" -> "en"; "C.UTF-8" -> "C".
std::string languagePart(const std::string& locale) {
    const size_t end = locale.find_first_of("_.@");
    return locale.substr(0, end);
}

bool isKnownLanguage(std::string_view language) {
    return language == kSourceLanguage || builtInCatalog(language) != nullptr;
}

} // namespace

MessageCatalog::MessageCatalog(std::string_view image) {
    if (image.size() < 28) return;
    const uint32_t magic = readWord(image, 0, false);
    if (magic != kMoMagic && magic != kMoMagicSwapped) return;
    const bool swapped = magic == kMoMagicSwapped;
    const uint64_t count = readWord(image, 8, swapped);
    const uint64_t originals = readWord(image, 12, swapped);
    const uint64_t translations = readWord(image, 16, swapped);
    if (originals + count * 8 > image.size() || translations + count * 8 > image.size()) return;
    auto stringAt = [&](uint64_t table, uint64_t i) -> std::optional<std::string_view> {
        const uint64_t length = readWord(image, table + i * 8, swapped);
        const uint64_t offset = readWord(image, table + i * 8 + 4, swapped);
        // msgfmt ends each string with a NUL it does not count.
        if (offset > image.size() || length >= image.size() - offset) return std::nullopt;
        return image.substr(offset, length);
    };
    std::vector<std::pair<std::string_view, std::string_view>> entries;
    entries.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        const auto original = stringAt(originals, i);
        const auto translation = stringAt(translations, i);
        if (!original || !translation) return;
        if (original->empty() || translation->empty()) continue;
        entries.emplace_back(*original, *translation);
    }
    std::sort(entries.begin(), entries.end());
    m_entries = std::move(entries);
}

std::optional<std::string_view> MessageCatalog::find(std::string_view original) const {
    const auto it = std::lower_bound(
        m_entries.begin(), m_entries.end(), original,
        [](const auto& entry, std::string_view key) { return entry.first < key; });
    if (it == m_entries.end() || it->first != original) return std::nullopt;
    return it->second;
}

const MessageCatalog* builtInCatalog(std::string_view language) {
    // Read once, on first use; the images live as long as the program.
    static const std::vector<std::pair<std::string, MessageCatalog>> catalogs = [] {
        std::vector<std::pair<std::string, MessageCatalog>> list;
        for (size_t i = 0; i < kBuiltInCatalogCount; ++i) {
            const BuiltInCatalogImage& c = kBuiltInCatalogImages[i];
            list.emplace_back(c.language,
                              MessageCatalog({reinterpret_cast<const char*>(c.bytes), c.size}));
        }
        return list;
    }();
    for (const auto& [name, catalog] : catalogs)
        if (name == language) return &catalog;
    return nullptr;
}

std::vector<std::string> availableLanguages() {
    std::vector<std::string> languages{std::string(kSourceLanguage)};
    for (size_t i = 0; i < kBuiltInCatalogCount; ++i)
        languages.emplace_back(kBuiltInCatalogImages[i].language);
    return languages;
}

std::string translated(std::string_view japanese) {
    if (const MessageCatalog* catalog = state().catalog)
        if (const auto found = catalog->find(japanese)) return std::string(*found);
    return std::string(japanese);
}

std::string translated(std::string_view japaneseTemplate, std::initializer_list<TextValue> values) {
    const std::string text = translated(japaneseTemplate);
    std::string out;
    out.reserve(text.size() + 16);
    size_t i = 0;
    while (i < text.size()) {
        const size_t open = text.find('{', i);
        if (open == std::string::npos) break;
        const size_t close = text.find('}', open + 1);
        if (close == std::string::npos) break;
        const std::string_view name(text.data() + open + 1, close - open - 1);
        const auto value = std::find_if(values.begin(), values.end(),
                                        [&](const TextValue& v) { return v.first == name; });
        out.append(text, i, open - i);
        if (value != values.end()) {
            out += value->second;
        } else {
            out.append(text, open, close + 1 - open);
        }
        i = close + 1;
    }
    out.append(text, i, std::string::npos);
    return out;
}

const std::string& languageInUse() {
    return state().language;
}

void useLanguage(std::string_view language) {
    LanguageState& s = state();
    if (language == kSourceLanguage) {
        s.language = std::string(kSourceLanguage);
        s.catalog = nullptr;
        return;
    }
    const MessageCatalog* catalog = builtInCatalog(language);
    if (!catalog) {
        language = kFallbackLanguage;
        catalog = builtInCatalog(language);
    }
    s.language = std::string(language);
    s.catalog = catalog;
}

std::string chooseLanguage(const EnvironmentLookup& environment, std::string_view savedChoice) {
    if (const auto forced = environment("VAKO_LANG"); forced && isKnownLanguage(*forced))
        return *forced;
    if (isKnownLanguage(savedChoice)) return std::string(savedChoice);
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const auto value = environment(name);
        if (!value) continue;
        // LANGUAGE lists languages by preference, "fr:en"; the first one counts.
        const std::string first = value->substr(0, value->find(':'));
        const std::string language = languagePart(first);
        if (language.empty()) continue;
        if (language == "C" || language == "POSIX") return std::string(kSourceLanguage);
        if (isKnownLanguage(language)) return language;
        return std::string(kFallbackLanguage);
    }
    return std::string(kSourceLanguage);
}

EnvironmentLookup processEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (!value || !*value) return std::nullopt;
        return std::string(value);
    };
}

} // namespace vako
