#include <gtest/gtest.h>

#include <string>

#include "shell/texts.h"

using namespace shell;

namespace {

// English and German texts; English also carries texts named like the two
// special tokens, which must lose against them.
LanguageTable Languages() {
    LanguageTable table;
    core::DataGroup& en = table["English"];
    en.SetValue("Name", core::DataValue("English"));
    en.SetValue("TITLE", core::DataValue("Hello"));
    en.SetValue("APP_TITLE", core::DataValue("Demo Game"));
    en.SetValue("EDITION", core::DataValue("[ApplicationID] Deluxe"));
    en.SetValue("SHORT", core::DataValue("DG"));
    en.SetValue("CurrentLanguage", core::DataValue("not this"));
    en.SetValue("LaunchFolder", core::DataValue("nor this"));
    en.SetValue("BAR", core::DataValue("x|y"));
    table["German"].SetValue("TITLE", core::DataValue("Hallo"));
    return table;
}

struct Sources {
    LanguageTable languages = Languages();
    TextSources Get(const char* language, const char* appName = "[APP_TITLE]", const char* appId = "[SHORT]") {
        TextSources s;
        s.languages = &languages;
        s.currentLanguage = language;
        s.launchFolder = "D:\\";
        s.applicationName = appName;
        s.altApplicationName = "Alt";
        s.applicationId = appId;
        return s;
    }
};

}  // namespace

TEST(TranslateText, LanguagePass) {
    static const struct {
        const char* language;
        const char* text;
        const char* expected;
    } cases[] = {
        {"English", "a|b", "a\nb"},
        {"French", "a|b", "a|b"},  // unknown language: not even the bar changes
        {"French", "[TITLE]", "[TITLE]"},
        {"English", "[TITLE], world", "Hello, world"},
        {"German", "[TITLE]", "Hallo"},
        {"English", "[title]", "[title]"},  // keys match byte-exact
        {"English", "[MISSING] [TITLE]", "[MISSING] Hello"},
        {"English", "[CurrentLanguage]", "English"},
        {"English", "[LaunchFolder]Setup.exe", "D:\\Setup.exe"},
        {"English", "[Name]", "English"},
        {"English", "[ApplicationName]", "[ApplicationName]"},  // a placeholder, not a text
        {"English", "[BAR]", "x\ny"},      // a bar in a text breaks the line as one typed here does
        {"English", "[EDITION]", "[ApplicationID] Deluxe"},  // but replacements are not scanned again
        {"English", "", ""},
        {"English", "[TITLE", "[TITLE"},
    };
    Sources sources;
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(TranslateText(cases[i].text, sources.Get(cases[i].language)), cases[i].expected) << "case " << i;
    }
    TextSources none;
    EXPECT_EQ(TranslateText("a|b", none), "a|b");
}

TEST(ExpandText, PlaceholdersAndFolders) {
    static const struct {
        const char* text;
        bool wizard;
        const char* expected;
    } cases[] = {
        // ApplicationName holds a key: resolved by the next round.
        {"Install [ApplicationName]", false, "Install Demo Game"},
        {"[AltApplicationName] / [ApplicationID]", false, "Alt / DG"},
        // Three levels: placeholder -> key -> placeholder -> key.
        {"[EDITION]", false, "DG Deluxe"},
        {"[TargetFolder]\\bin", false, "[TargetFolder]\\bin"},  // no wizard, no folders
        {"[TargetFolder]\\bin", true, "C:\\Games\\Demo\\bin"},
        {"[StartMenu]|[TITLE]", true, "Demo\nHello"},
        {"\\\\server\\\\share\\\\\\dir", false, "\\\\server\\share\\dir"},
        {"\\\\\\\\server\\x", false, "\\\\server\\x"},
        {"C:\\\\Games\\\\Demo\\", false, "C:\\Games\\Demo\\"},
        {"a\\\\", false, "a\\"},
        {"\\", false, "\\"},
        {"[CurrentLanguage]", false, "English"},
    };
    Sources sources;
    WizardFolders folders{"C:\\Games\\Demo\\", "Demo"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(ExpandText(cases[i].text, sources.Get("English"), cases[i].wizard ? &folders : nullptr),
                  cases[i].expected)
            << "case " << i;
    }
}

TEST(ExpandText, FourthLevelStaysUnresolved) {
    // ApplicationName -> [LEVEL2] -> [ApplicationID] -> [LEVEL4] -> text: one
    // round too many, so the last key stays.
    Sources sources;
    sources.languages["English"].SetValue("LEVEL2", core::DataValue("[ApplicationID]"));
    sources.languages["English"].SetValue("LEVEL4", core::DataValue("[ApplicationName]"));
    EXPECT_EQ(ExpandText("[ApplicationName]", sources.Get("English", "[LEVEL2]", "[LEVEL4]"), nullptr),
              "[LEVEL2]");
}

TEST(ExpandText, LongTextsKeepEveryByte) {
    // Keys, doubled backslashes and a network path well past 8 KB.
    std::string text = "\\\\host\\\\share";
    std::string expected = "\\\\host\\share";
    for (int i = 0; i < 3000; ++i) {
        text += "[TITLE]\\\\|";
        expected += "Hello\\\n";
    }
    text += "end";
    expected += "end";
    ASSERT_GT(text.size(), 20000u);
    Sources sources;
    EXPECT_EQ(ExpandText(text, sources.Get("English"), nullptr), expected);
    EXPECT_EQ(TranslateText(std::string(70000, 'x') + "[TITLE]", sources.Get("English")),
              std::string(70000, 'x') + "Hello");
}
