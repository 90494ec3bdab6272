// Every language the bundle offers speaks all of it: each text of every window of the
// interface definition is in the language's Accounting.strings (in the development region the
// definition's own English is the text), and every key of any Localizable.strings is in the
// language's Localizable.strings. The programs' own texts (PrintingSystem.bundle) are in the same
// languages, each with every text the programs show. A text left out would show up in English in
// the middle of a German pane, and nothing else would notice.
#include "tests/support/TemporaryTree.h"
#include "tests/support/TestBundles.h"

#include <CoreFoundation/CFStandIn.h>
#include <CoreFoundation/CFStringsFileStandIn.h>
#include <CoreFoundation/CoreFoundation.h>
#include <HIToolbox/InterfaceDefinitionStandIn.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kResources = ACCOUNTING_RESOURCES_DIR;
const std::string kProgramTexts = PRINTING_SYSTEM_BUNDLE_DIR "/Contents/Resources";

// The language folders of a resources folder, by their language: "de" for de.lproj.
std::vector<std::string> languages(const std::string& resources = kResources)
{
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(resources)) {
        if (entry.is_directory() && entry.path().extension() == ".lproj")
            found.push_back(entry.path().stem());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The bundle's development region, from its Info.plist read as the bundle reads it.
std::string developmentRegion()
{
    TemporaryTree tree;
    tree.addFile("Accounting.plugin/Contents/Info.plist", fileContents(kResources + "/Info.plist"));
    CFBundleRef bundle = openBundleAt(tree.path("Accounting.plugin"));
    if (!bundle)
        return "";
    std::string region = StandIn::toUTF8(static_cast<CFStringRef>(CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleDevelopmentRegion"))));
    CFRelease(bundle);
    return region;
}

// The keys of a strings file, read as the bundle reads it; none when there is no such file.
std::set<std::string> keysOf(const std::string& path)
{
    std::set<std::string> keys;
    if (!std::filesystem::exists(path))
        return keys;
    StandIn::StringsFileError error;
    auto table = StandIn::parseStringsFile(fileContents(path), &error);
    EXPECT_TRUE(table) << path << ":" << error.line << ": " << error.message;
    if (!table)
        return keys;
    for (const auto& entry : *table) {
        CFStringRef key = CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar*>(entry.first.data()),
            static_cast<CFIndex>(entry.first.size()));
        keys.insert(StandIn::toUTF8(key));
        CFRelease(key);
    }
    return keys;
}

// Every text a person reads in the windows of the interface definition, which the loader looks
// up in the strings table named after the file.
std::set<std::string> windowTexts(const std::string& nib)
{
    StandIn::InterfaceDefinition::ParseResult parsed = StandIn::InterfaceDefinition::parse(fileContents(kResources + "/" + nib + ".nib"));
    EXPECT_FALSE(parsed.error) << nib << ".nib:" << parsed.error->line << ": " << parsed.error->message;
    std::set<std::string> texts;
    auto add = [&texts](const std::string& text) {
        if (!text.empty())
            texts.insert(text);
    };
    for (const auto& window : parsed.description.windows) {
        add(window.title);
        for (const auto& control : window.controls) {
            add(control.title);
            add(control.text);
            for (const auto& item : control.items)
                add(item);
        }
    }
    return texts;
}

std::string missing(const std::set<std::string>& wanted, const std::set<std::string>& present)
{
    std::string list;
    for (const auto& text : wanted) {
        if (!present.contains(text))
            list += "  \"" + text + "\"\n";
    }
    return list;
}

TEST(Translations, TheResourcesOfferTheDevelopmentRegionAndAnotherLanguage)
{
    std::vector<std::string> offered = languages();
    std::string region = developmentRegion();
    EXPECT_EQ(region, "en");
    EXPECT_NE(std::find(offered.begin(), offered.end(), region), offered.end()) << "a folder for the development region";
    EXPECT_GE(offered.size(), 2u) << "this test checks something only with a translation";
}

TEST(Translations, EveryLanguageHasEveryTextOfEveryWindow)
{
    const std::set<std::string> texts = windowTexts("Accounting");
    ASSERT_FALSE(texts.empty());
    const std::string region = developmentRegion();
    for (const auto& language : languages()) {
        std::set<std::string> translated = keysOf(kResources + "/" + language + ".lproj/Accounting.strings");
        // In the development region an untranslated text is already in its language.
        if (language == region)
            translated.insert(texts.begin(), texts.end());
        EXPECT_EQ(missing(texts, translated), "") << language << ".lproj/Accounting.strings lacks these texts of Accounting.nib";
    }
}

TEST(Translations, EveryLanguageHasEveryKeyOfLocalizableStrings)
{
    std::set<std::string> keys;
    for (const auto& language : languages()) {
        std::set<std::string> own = keysOf(kResources + "/" + language + ".lproj/Localizable.strings");
        keys.insert(own.begin(), own.end());
    }
    ASSERT_FALSE(keys.empty());
    for (const auto& language : languages()) {
        std::set<std::string> translated = keysOf(kResources + "/" + language + ".lproj/Localizable.strings");
        EXPECT_EQ(missing(keys, translated), "") << language << ".lproj/Localizable.strings lacks these keys";
    }
}

// The keys the programs' sources give programText: the texts they show themselves.
std::set<std::string> keysShownByThePrograms()
{
    std::set<std::string> keys;
    const std::regex call(R"(programText\("((?:[^"\\]|\\.)*)\")");
    for (const char* folder : { "program", "queues", "dialog", "printdialog", "agent", "screen" }) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(PROJECT_SOURCE_DIR) + "/" + folder)) {
            if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h")
                continue;
            std::string source = fileContents(entry.path());
            for (auto match = std::sregex_iterator(source.begin(), source.end(), call); match != std::sregex_iterator(); ++match)
                keys.insert((*match)[1]);
        }
    }
    return keys;
}

TEST(Translations, TheProgramsSpeakEveryLanguageOfThePaneAndShowOnlyTextsOfTheirTable)
{
    EXPECT_EQ(languages(kProgramTexts), languages()) << "PrintingSystem.bundle and the pane offer the same languages";
    std::set<std::string> english = keysOf(kProgramTexts + "/en.lproj/PrintingSystem.strings");
    std::set<std::string> shown = keysShownByThePrograms();
    ASSERT_GE(shown.size(), 10u) << "the sources were found";
    EXPECT_EQ(missing(shown, english), "") << "en.lproj/PrintingSystem.strings lacks these texts that the programs show";
    for (const auto& language : languages(kProgramTexts))
        EXPECT_EQ(missing(english, keysOf(kProgramTexts + "/" + language + ".lproj/PrintingSystem.strings")), "")
            << language << ".lproj/PrintingSystem.strings lacks these texts";
}

}
