// The program's texts in the user's language. Every text a user reads is
// written in the sources in Japanese, and that Japanese text is its own key in
// the message catalogs (po/<language>.po, compiled into the program): so the
// Japanese face needs no catalog and stays exactly what it is, and another
// language is one more catalog file. The core, the tool and the window all
// look texts up here; nothing else holds a translation.
//
// Texts with values in them are templates with named places, "{count}",
// filled after the lookup, so a translation may put the values where its
// language wants them.
#pragma once

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vako {

// The language whose texts are built in the sources: no catalog.
inline constexpr std::string_view kSourceLanguage = "ja";
// The language shown to users whose language has no catalog.
inline constexpr std::string_view kFallbackLanguage = "en";

// Marks a text for the catalog where it is kept (a constant, a table) without
// looking it up; the code that shows it passes it through `translated`.
constexpr const char* markForTranslation(const char* japanese) {
    return japanese;
}

// The text in the language in use (the text itself when the language is
// Japanese or the catalog lacks it).
std::string translated(std::string_view japanese);

// One value of a template: the place's name (without braces) and its text.
using TextValue = std::pair<std::string_view, std::string>;

// The template in the language in use, each "{name}" replaced by its value.
// A place without a value stays as written.
std::string translated(std::string_view japaneseTemplate, std::initializer_list<TextValue> values);

// The language in use, "ja" until `useLanguage` says otherwise.
const std::string& languageInUse();

// Uses `language` ("ja", or one with a built-in catalog; any other falls
// back to English) for every text from now on. Set at start-up, before any
// other thread runs; tests set it around their checks.
void useLanguage(std::string_view language);

// The languages the program can show: "ja" and those with a catalog.
std::vector<std::string> availableLanguages();

// Reads one environment variable; empty or unset gives nullopt.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The language the program speaks, by its rule: VAKO_LANG ("ja" or "en"),
// then the user's saved choice (`savedChoice`, "" for none), then the first of
// LANGUAGE, LC_ALL, LC_MESSAGES, LANG that is set. Japanese for a Japanese
// locale and for C/POSIX (and when nothing is set); a language with a catalog
// for itself; English otherwise.
std::string chooseLanguage(const EnvironmentLookup& environment, std::string_view savedChoice);

// The process's own environment, for `chooseLanguage`.
EnvironmentLookup processEnvironment();

// A catalog in the standard compiled form (.mo, as msgfmt writes it), read in
// place. A file that is not one reads as an empty catalog.
class MessageCatalog {
public:
    MessageCatalog() = default;
    explicit MessageCatalog(std::string_view moImage);

    // The translation of `original`, or nullopt when the catalog lacks it
    // (or has it untranslated).
    std::optional<std::string_view> find(std::string_view original) const;
    size_t size() const { return m_entries.size(); }

private:
    // Sorted by original, as msgfmt writes them; the header (original "") left out.
    std::vector<std::pair<std::string_view, std::string_view>> m_entries;
};

// The built-in catalog of `language`, or nullptr when there is none.
const MessageCatalog* builtInCatalog(std::string_view language);

} // namespace vako
