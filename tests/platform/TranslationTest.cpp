#include "platform/ProgramSettings.h"
#include "platform/Translation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace vako {
namespace {

// A catalog image as msgfmt lays it out: header, two tables of (length,
// offset), the strings with their NULs. `swapped` writes it big-endian.
std::string moImage(const std::vector<std::pair<std::string, std::string>>& entries,
                    bool swapped = false) {
    auto word = [&](std::string& out, uint32_t v) {
        if (swapped) v = __builtin_bswap32(v);
        out.append(reinterpret_cast<const char*>(&v), 4);
    };
    const uint32_t n = static_cast<uint32_t>(entries.size());
    const uint32_t originals = 28, translations = originals + 8 * n;
    std::string strings;
    std::string origTable, transTable;
    uint32_t at = translations + 8 * n;
    for (const auto& [o, t] : entries) {
        word(origTable, static_cast<uint32_t>(o.size()));
        word(origTable, at);
        strings += o + '\0';
        at += static_cast<uint32_t>(o.size() + 1);
    }
    for (const auto& [o, t] : entries) {
        word(transTable, static_cast<uint32_t>(t.size()));
        word(transTable, at);
        strings += t + '\0';
        at += static_cast<uint32_t>(t.size() + 1);
    }
    std::string out;
    for (uint32_t v : {0x950412deu, 0u, n, originals, translations, 0u, 0u}) word(out, v);
    return out + origTable + transTable + strings;
}

// Puts the language back after each test: the rest of the suite reads Japanese.
class TranslationTest : public ::testing::Test {
protected:
    void TearDown() override { useLanguage("ja"); }
};

TEST_F(TranslationTest, CatalogFindsItsTextsInEitherByteOrder) {
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"", "Content-Type: text/plain; charset=UTF-8\n"}, {"上段", "Upper"}, {"下段", "Lower"}};
    for (bool swapped : {false, true}) {
        const std::string image = moImage(entries, swapped);
        const MessageCatalog catalog(image);
        EXPECT_EQ(catalog.size(), 2u) << "the header is no text";
        EXPECT_EQ(catalog.find("上段"), "Upper");
        EXPECT_EQ(catalog.find("下段"), "Lower");
        EXPECT_FALSE(catalog.find("中段"));
        EXPECT_FALSE(catalog.find(""));
    }
}

TEST_F(TranslationTest, DamagedCatalogReadsAsEmptyNotPastItsEnd) {
    const std::string good = moImage({{"上段", "Upper"}, {"下段", "Lower"}});
    // Cut anywhere, a catalog never reads past its end (ASan would say so).
    for (size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(MessageCatalog(good.substr(0, length)).find("下段")) << length;
    std::string badOffset = good;
    badOffset[28 + 4] = '\xff'; // the first original's offset far outside
    badOffset[28 + 7] = '\x7f';
    EXPECT_EQ(MessageCatalog(badOffset).size(), 0u);
    std::string hugeCount = good;
    hugeCount[8] = hugeCount[9] = hugeCount[10] = '\xff';
    EXPECT_EQ(MessageCatalog(hugeCount).size(), 0u);
    EXPECT_EQ(MessageCatalog("not a catalog at all, only some words").size(), 0u);
}

TEST_F(TranslationTest, TemplatesKeepJapaneseAsWrittenAndLetEnglishReorder) {
    const auto recording = [] {
        return translated("録音した {recorded} 個の音符のうち {kept} 個を曲に入れました（入りきらない "
                          "{leftOut} 個は入っていません）",
                          {{"recorded", "10"}, {"kept", "7"}, {"leftOut", "3"}});
    };
    EXPECT_EQ(recording(),
              "録音した 10 個の音符のうち 7 個を曲に入れました（入りきらない 3 個は入っていません）");
    useLanguage("en");
    EXPECT_EQ(recording(), "7 of the 10 recorded notes went into the song (3 did not fit)");
    // A place the caller gives no value for stays visible; braces alone are text.
    EXPECT_EQ(translated("{a} and {b} {", {{"a", "x"}}), "x and {b} {");
    EXPECT_EQ(translated("{page} / {pages} ページ", {{"page", "2"}, {"pages", "{page}"}}),
              "Page 2 / {page}")
        << "a value is not read again as a template";
}

TEST_F(TranslationTest, EnglishCatalogIsBuiltInAndUnknownLanguagesFallBackToIt) {
    EXPECT_EQ(translated("上段"), "上段");
    useLanguage("en");
    EXPECT_EQ(languageInUse(), "en");
    EXPECT_EQ(translated("上段"), "Upper");
    EXPECT_EQ(translated("1: グランドピアノ"), "1: Acoustic Grand Piano");
    EXPECT_EQ(translated("a text no catalog has"), "a text no catalog has");
    useLanguage("xx");
    EXPECT_EQ(languageInUse(), "en");
    EXPECT_EQ(translated("下段"), "Lower");
    useLanguage("ja");
    EXPECT_EQ(translated("下段"), "下段");
    const auto languages = availableLanguages();
    EXPECT_EQ(languages.front(), "ja");
    EXPECT_NE(std::find(languages.begin(), languages.end(), "en"), languages.end());
}

TEST_F(TranslationTest, LanguageRuleReadsOverrideThenChoiceThenLocale) {
    using Env = std::map<std::string, std::string>;
    auto choose = [](const Env& env, std::string_view saved = "") {
        return chooseLanguage(
            [&](const char* name) -> std::optional<std::string> {
                const auto it = env.find(name);
                if (it == env.end() || it->second.empty()) return std::nullopt;
                return it->second;
            },
            saved);
    };
    // Nothing set, C and POSIX: the program as it always was.
    EXPECT_EQ(choose({}), "ja");
    EXPECT_EQ(choose({{"LANG", "C"}}), "ja");
    EXPECT_EQ(choose({{"LANG", "C.UTF-8"}}), "ja");
    EXPECT_EQ(choose({{"LC_ALL", "POSIX"}, {"LANG", "en_US.UTF-8"}}), "ja");
    EXPECT_EQ(choose({{"LANG", "ja_JP.UTF-8"}}), "ja");
    // Any other language speaks English.
    EXPECT_EQ(choose({{"LANG", "en_US.UTF-8"}}), "en");
    EXPECT_EQ(choose({{"LANG", "fr_FR.UTF-8"}}), "en");
    EXPECT_EQ(choose({{"LANG", "de_DE@euro"}}), "en");
    // The first that is set counts, in the toolkit's order; LANGUAGE's first entry.
    EXPECT_EQ(choose({{"LANGUAGE", "fr:ja"}, {"LANG", "ja_JP.UTF-8"}}), "en");
    EXPECT_EQ(choose({{"LANGUAGE", "ja:en"}, {"LC_ALL", "en_GB.UTF-8"}}), "ja");
    EXPECT_EQ(choose({{"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "en_US.UTF-8"}}), "ja");
    EXPECT_EQ(choose({{"LC_ALL", "en_US.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}}), "en");
    // The saved choice beats the locale; VAKO_LANG beats both.
    EXPECT_EQ(choose({{"LANG", "ja_JP.UTF-8"}}, "en"), "en");
    EXPECT_EQ(choose({{"LANG", "en_US.UTF-8"}}, "ja"), "ja");
    EXPECT_EQ(choose({{"VAKO_LANG", "ja"}, {"LANG", "en_US.UTF-8"}}, "en"), "ja");
    EXPECT_EQ(choose({{"VAKO_LANG", "en"}, {"LANG", "C"}}, "ja"), "en");
    // A value the program does not know is passed over.
    EXPECT_EQ(choose({{"VAKO_LANG", "klingon"}, {"LANG", "C"}}, "garbage"), "ja");
}

TEST(ProgramSettings, ChoiceIsKeptBesideOtherLinesAndMissingFileReadsEmpty) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("vako-settings-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    const std::filesystem::path file = folder / "vakomidi" / "vakomidi.conf";
    EXPECT_EQ(readProgramSetting(file, kLanguageSetting), "");
    ASSERT_TRUE(writeProgramSetting(file, kLanguageSetting, "en")) << "the folder is made";
    EXPECT_EQ(readProgramSetting(file, kLanguageSetting), "en");
    {
        std::ofstream more(file, std::ios::app);
        more << "somethingElse=1\r\nlanguage2=ja\n";
    }
    ASSERT_TRUE(writeProgramSetting(file, kLanguageSetting, "ja"));
    EXPECT_EQ(readProgramSetting(file, kLanguageSetting), "ja");
    EXPECT_EQ(readProgramSetting(file, "somethingElse"), "1");
    EXPECT_EQ(readProgramSetting(file, "language2"), "ja") << "a longer key is another key";
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace vako
