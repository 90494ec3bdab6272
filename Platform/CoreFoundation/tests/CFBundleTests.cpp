// Bundles as the pane uses them: file URLs, the information dictionary, the registry by
// identifier, resources and localized strings in the user's language, the strings-file reader
// and the choice of language, including folders and files that are missing or malformed.
#include "tests/support/HostilePropertyLists.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/LiveObjects.h"

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFPreferredLanguagesStandIn.h>
#include <CoreFoundation/CFStringsFileStandIn.h>
#include <CoreFoundation/CoreFoundation.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Releases what a helper made, null or not, at the end of its scope.
struct Owned {
    CFTypeRef object;
    ~Owned()
    {
        if (object)
            CFRelease(object);
    }
    CFStringRef string() const { return static_cast<CFStringRef>(object); }
    CFURLRef url() const { return static_cast<CFURLRef>(object); }
    CFBundleRef bundle() const { return static_cast<CFBundleRef>(const_cast<void*>(object)); }
};

CFStringRef makeString(const char* text)
{
    return text ? CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8) : nullptr;
}

std::string textOf(CFTypeRef string)
{
    char buffer[512] = "<null>";
    if (string && CFGetTypeID(string) == CFStringGetTypeID())
        CFStringGetCString(static_cast<CFStringRef>(string), buffer, sizeof buffer, kCFStringEncodingUTF8);
    return buffer;
}

CFURLRef urlFor(const std::string& path, bool isDirectory = true)
{
    Owned string { makeString(path.c_str()) };
    return CFURLCreateWithFileSystemPath(kCFAllocatorDefault, string.string(), kCFURLPOSIXPathStyle, isDirectory);
}

std::string pathOf(CFURLRef url)
{
    Owned path { url ? CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle) : nullptr };
    return textOf(path.object);
}

CFBundleRef openBundle(const std::string& path)
{
    Owned url { urlFor(path) };
    return CFBundleCreate(kCFAllocatorDefault, url.url());
}

std::string localized(CFBundleRef bundle, const char* key, const char* value = nullptr, const char* table = nullptr)
{
    Owned strings[] = { { makeString(key) }, { makeString(value) }, { makeString(table) } };
    Owned result { CFBundleCopyLocalizedString(bundle, strings[0].string(), strings[1].string(), strings[2].string()) };
    return textOf(result.object);
}

// The resource's path within the resources folder, "<null>" when it is not found.
std::string resource(CFBundleRef bundle, const char* name, const char* type, const char* subdirectory = nullptr)
{
    Owned strings[] = { { makeString(name) }, { makeString(type) }, { makeString(subdirectory) } };
    Owned url { CFBundleCopyResourceURL(bundle, strings[0].string(), strings[1].string(), strings[2].string()) };
    Owned resources { CFBundleCopyResourcesDirectoryURL(bundle) };
    std::string path = pathOf(url.url());
    std::string base = pathOf(resources.url()) + "/";
    return path.starts_with(base) ? path.substr(base.size()) : path;
}

// The names a folder lists, in the order it lists them, "." and ".." among them.
std::vector<std::string> listedNames(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* folder = opendir(path.c_str())) {
        while (dirent* entry = readdir(folder))
            names.emplace_back(entry->d_name);
        closedir(folder);
    }
    return names;
}

std::string infoPlist(const std::string& entries)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\"><dict>\n"
        + entries + "</dict></plist>\n";
}

std::string entry(const std::string& key, const std::string& value)
{
    return "<key>" + key + "</key><string>" + value + "</string>\n";
}

// The locale variables, cleared for the test and restored afterwards.
class LocaleEnvironment {
public:
    LocaleEnvironment()
    {
        for (const char* name : kNames) {
            const char* value = getenv(name);
            m_saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    ~LocaleEnvironment()
    {
        for (size_t i = 0; i < m_saved.size(); ++i)
            m_saved[i] ? setenv(kNames[i], m_saved[i]->c_str(), 1) : unsetenv(kNames[i]);
    }

private:
    static constexpr const char* kNames[] = { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" };
    std::vector<std::optional<std::string>> m_saved;
};

class CFURLTest : public BalancedTest { };

class CFBundleTest : public BalancedTest {
protected:
    void write(const std::string& relative, std::string_view contents) const
    {
        fs::path file = fs::path(m_root) / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary).write(contents.data(), static_cast<std::streamsize>(contents.size()));
    }

    CFBundleRef open(const std::string& relative) const { return openBundle(m_root + "/" + relative); }

    // In memory: one test's resources folder holds 10,050 entries.
    TemporaryTree m_tree { TreePlace::memory };
    const std::string m_root = m_tree.root();
    LocaleEnvironment m_environment;
};

class LocalizedStringTest : public CFBundleTest { };
class StringsFileTest : public ::testing::Test { };
class PreferredLanguagesTest : public ::testing::Test {
protected:
    LocaleEnvironment m_environment;
};

TEST_F(CFURLTest, PathsForTheSameFileAreEqualAndPathsForNoFileAreRefused)
{
    Owned a { urlFor("/tmp//bundle/./Contents/") }, b { urlFor("/tmp/bundle/Contents", false) }, other { urlFor("/tmp/bundle") };
    EXPECT_TRUE(CFEqual(a.object, b.object));
    EXPECT_EQ(CFHash(a.object), CFHash(b.object));
    EXPECT_FALSE(CFEqual(a.object, other.object));
    EXPECT_EQ(pathOf(a.url()), "/tmp/bundle/Contents");
    Owned relative { urlFor("Resources/Info.plist", false) };
    EXPECT_EQ(pathOf(relative.url()), fs::current_path().string() + "/Resources/Info.plist");

    EXPECT_EQ(urlFor(""), nullptr);
    EXPECT_EQ(CFURLCreateWithFileSystemPath(kCFAllocatorDefault, nullptr, kCFURLPOSIXPathStyle, false), nullptr);
    const UInt8 invalid[] = { '/', 't', 0xFF, 'x' };
    EXPECT_EQ(CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, invalid, sizeof invalid, false), nullptr);
}

TEST_F(CFURLTest, FileSystemRepresentationIsWrittenOnlyWhenItFits)
{
    Owned url { urlFor("/tmp/abc") };
    UInt8 buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url.url(), true, buffer, 8));
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_TRUE(CFURLGetFileSystemRepresentation(url.url(), true, buffer, 9));
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/tmp/abc");
}

TEST_F(CFBundleTest, InfoDictionaryValuesBecomeCFObjects)
{
    write("A.bundle/Contents/Info.plist",
        infoPlist(entry("CFBundleIdentifier", "com.example.a") + "<key>Count</key><integer>-42</integer>"
            + "<key>Scale</key><real>1.5</real><key>On</key><true/><key>Blob</key><data>AAEC</data>"
            + "<key>List</key><array><string>x</string><date>2020-01-01T00:00:00Z</date></array>"
            + "<key>Nested</key><dict>" + entry("Name", "Grüße") + "</dict>"));
    Owned object { open("A.bundle") };
    CFBundleRef bundle = object.bundle();
    ASSERT_NE(bundle, nullptr);
    auto value = [&](CFStringRef key) { return CFBundleGetValueForInfoDictionaryKey(bundle, key); };

    EXPECT_EQ(textOf(CFBundleGetIdentifier(bundle)), "com.example.a");
    SInt64 count = 0;
    double scale = 0;
    SInt8 on = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(value(CFSTR("Count"))), kCFNumberSInt64Type, &count));
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(value(CFSTR("Scale"))), kCFNumberDoubleType, &scale));
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(value(CFSTR("On"))), kCFNumberSInt8Type, &on));
    EXPECT_EQ(count, -42);
    EXPECT_EQ(scale, 1.5);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(value(CFSTR("Blob")), nullptr);
    auto list = static_cast<CFArrayRef>(value(CFSTR("List")));
    ASSERT_EQ(CFArrayGetCount(list), 1);
    EXPECT_EQ(textOf(CFArrayGetValueAtIndex(list, 0)), "x");
    EXPECT_EQ(textOf(CFDictionaryGetValue(static_cast<CFDictionaryRef>(value(CFSTR("Nested"))), CFSTR("Name"))), "Grüße");
    EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(bundle)), 6);
}

TEST_F(CFBundleTest, FlatAndNestedLayoutsHaveTheirOwnResourcesFolder)
{
    write("Flat/Info.plist", infoPlist(""));
    write("Nested.bundle/Contents/Info.plist", infoPlist(""));
    Owned flat { open("Flat") }, nested { open("Nested.bundle/") };
    Owned urls[] = { { CFBundleCopyBundleURL(flat.bundle()) }, { CFBundleCopyResourcesDirectoryURL(flat.bundle()) },
        { CFBundleCopyBundleURL(nested.bundle()) }, { CFBundleCopyResourcesDirectoryURL(nested.bundle()) } };
    EXPECT_EQ(pathOf(urls[0].url()), m_root + "/Flat");
    EXPECT_EQ(pathOf(urls[1].url()), m_root + "/Flat/Resources");
    EXPECT_EQ(pathOf(urls[2].url()), m_root + "/Nested.bundle");
    EXPECT_EQ(pathOf(urls[3].url()), m_root + "/Nested.bundle/Contents/Resources");
    EXPECT_EQ(CFBundleGetIdentifier(flat.bundle()), nullptr);
}

TEST_F(CFBundleTest, TheNewestLiveBundleAnswersForItsIdentifier)
{
    write("One/Info.plist", infoPlist(entry("CFBundleIdentifier", "com.example.shared")));
    write("Two/Info.plist", infoPlist(entry("CFBundleIdentifier", "com.example.shared")));
    CFStringRef identifier = CFSTR("com.example.shared");
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(identifier), nullptr);
    CFBundleRef one = open("One");
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(identifier), one);
    CFBundleRef two = open("Two");
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(identifier), two);
    CFRelease(two);
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(identifier), one);
    CFRelease(one);
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(identifier), nullptr);
}

TEST_F(CFBundleTest, MissingOrMalformedInfoPlistGivesNoBundle)
{
    std::string deep = nestedXMLArrays(200'000);
    const std::pair<std::string, std::string> cases[] = {
        { "Empty", "" },
        { "Garbage", "this is not a property list" },
        { "Truncated", infoPlist(entry("A", "b")).substr(0, 200) },
        { "TopLevelArray", "<plist version=\"1.0\"><array><string>x</string></array></plist>" },
        { "InvalidUTF8", infoPlist(entry("A", "\xFF\xFE")) },
        { "DeepXML", infoPlist("<key>k</key>" + deep) },
        { "DeepBinary", binaryArrayChain(100'000, 1) },
        { "SharedBinary", binaryArrayChain(60, 2) },
        { "CyclicBinary", binaryArrayChain(3, 1, true) },
        { "Oversized", std::string(5 * 1024 * 1024, ' ') },
    };
    for (const auto& [name, contents] : cases) {
        write(name + "/Info.plist", contents);
        EXPECT_EQ(open(name), nullptr) << name;
    }
    write("NoPlist/Resources/x.txt", "x");
    EXPECT_EQ(open("NoPlist"), nullptr);
    EXPECT_EQ(open("NoPlist/Resources/x.txt"), nullptr);
    EXPECT_EQ(CFBundleCreate(kCFAllocatorDefault, nullptr), nullptr);

    write("Shallow/Info.plist", binaryArrayChain(10, 2));
    Owned shallow { open("Shallow") };
    EXPECT_NE(shallow.object, nullptr);
}

TEST_F(CFBundleTest, ResourcesAreFoundInLanguageOrderThenUnlocalized)
{
    write("B/Info.plist", infoPlist(entry("CFBundleDevelopmentRegion", "French")));
    for (const char* file : { "de.lproj/Page.html", "French.lproj/Page.html", "French.lproj/Only.html", "en.lproj/English.html",
             "Page.html", "Plain.txt", "de.lproj/Help/Index.html" })
        write(std::string("B/Resources/") + file, "x");
    Owned object { open("B") };
    CFBundleRef bundle = object.bundle();
    ASSERT_NE(bundle, nullptr);

    setenv("LANG", "de_CH.UTF-8", 1);
    EXPECT_EQ(resource(bundle, "Page", "html"), "de.lproj/Page.html");
    EXPECT_EQ(resource(bundle, "Page.html", nullptr), "de.lproj/Page.html");
    EXPECT_EQ(resource(bundle, "Only", "html"), "French.lproj/Only.html");
    EXPECT_EQ(resource(bundle, "English", "html"), "en.lproj/English.html");
    EXPECT_EQ(resource(bundle, "Plain", "txt"), "Plain.txt");
    EXPECT_EQ(resource(bundle, "Index", "html", "Help"), "de.lproj/Help/Index.html");
    EXPECT_EQ(resource(bundle, "Help", nullptr), "de.lproj/Help");
    setenv("LANG", "ja_JP.UTF-8", 1);
    EXPECT_EQ(resource(bundle, "Page", "html"), "French.lproj/Page.html");
    EXPECT_EQ(resource(bundle, "Missing", "html"), "<null>");
}

TEST_F(CFBundleTest, ResourceNamesThatLeaveTheResourcesFolderAreRefused)
{
    write("C/Info.plist", infoPlist(""));
    write("C/Secret.txt", "outside");
    write("C/Resources/en.lproj/x.txt", "inside");
    Owned object { open("C") };
    CFBundleRef bundle = object.bundle();
    EXPECT_EQ(resource(bundle, "../Secret", "txt"), "<null>");
    EXPECT_EQ(resource(bundle, "x", "txt", ".."), "<null>");
    EXPECT_EQ(resource(bundle, "Secret", "txt", "en.lproj/../.."), "<null>");
    EXPECT_EQ(resource(bundle, (m_root + "/C/Secret").c_str(), "txt"), "<null>");
    EXPECT_EQ(resource(bundle, "x", "/../../Secret.txt"), "<null>");
    EXPECT_EQ(resource(bundle, "x", "txt"), "en.lproj/x.txt");
}

// A look-up reads the resources folder to its first 10,000 entries only, in the order the folder
// lists them: a localization listed after them is not looked in, one listed first is.
TEST_F(CFBundleTest, OnlyTheFirst10000EntriesOfTheResourcesFolderAreLookedAt)
{
    write("Crowded/Info.plist", infoPlist(""));
    write("Crowded/Resources/Page.html", "x");
    // Each localization's folder is a link to one in Languages, made for the two asked for alone.
    m_tree.addSymbolicLinks("Crowded/Resources", 10'050, ".lproj", m_root + "/Crowded/Languages");
    std::vector<std::string> localizations;
    for (const std::string& name : listedNames(m_root + "/Crowded/Resources")) {
        if (name.ends_with(".lproj"))
            localizations.push_back(name.substr(0, name.size() - 6));
    }
    ASSERT_EQ(localizations.size(), 10'050u);
    Owned object { open("Crowded") };
    const std::pair<std::string, std::string> asked[] = { { localizations.front(), localizations.front() + ".lproj/Page.html" },
        { localizations.back(), "Page.html" } };
    for (const auto& [language, found] : asked) {
        write("Crowded/Languages/" + language + "/Page.html", "x");
        setenv("LANG", language.c_str(), 1);
        EXPECT_EQ(resource(object.bundle(), "Page", "html"), found) << "LANG=" << language;
    }
}

TEST_F(LocalizedStringTest, ThePreferredLanguageWinsAndMissingKeysFallBackThroughTheOthers)
{
    write("L/Info.plist", infoPlist(entry("CFBundleDevelopmentRegion", "English")));
    write("L/Resources/English.lproj/Localizable.strings", "\"Print\" = \"Print\";\n\"Cancel\" = \"Cancel\";\n\"Only English\" = \"Yes\";");
    write("L/Resources/de.lproj/Localizable.strings", "\"Print\" = \"Drucken\";\n\"Cancel\" = \"Abbrechen\";\n");
    write("L/Resources/fr.lproj/Localizable.strings", "\"Print\" = \"Imprimer\";\n");
    Owned object { open("L") };
    CFBundleRef bundle = object.bundle();

    setenv("LANGUAGE", "fr:de", 1);
    EXPECT_EQ(localized(bundle, "Print"), "Imprimer");
    EXPECT_EQ(localized(bundle, "Cancel"), "Abbrechen");
    EXPECT_EQ(localized(bundle, "Only English"), "Yes");
    unsetenv("LANGUAGE");
    EXPECT_EQ(localized(bundle, "Print"), "Print");
}

TEST_F(LocalizedStringTest, MissingEntryFallsBackToTheValueThenTheKey)
{
    write("M/Info.plist", infoPlist(""));
    write("M/Resources/en.lproj/Localizable.strings", "\"Known\" = \"Bekannt\";");
    Owned object { open("M") };
    CFBundleRef bundle = object.bundle();
    EXPECT_EQ(localized(bundle, "Unknown", "Default"), "Default");
    EXPECT_EQ(localized(bundle, "Unknown", ""), "Unknown");
    EXPECT_EQ(localized(bundle, "Known", nullptr, "Absent"), "Known");
    EXPECT_EQ(localized(nullptr, "Known", "Default"), "Default");
    EXPECT_EQ(CFBundleCopyLocalizedString(bundle, nullptr, nullptr, nullptr), nullptr);

    Owned key { makeString("Unknown") };
    Owned result { CFBundleCopyLocalizedString(bundle, key.string(), nullptr, nullptr) };
    EXPECT_EQ(result.object, key.object);
}

TEST_F(LocalizedStringTest, NamedAndUnlocalizedTablesAreRead)
{
    write("N/Info.plist", infoPlist(""));
    write("N/Resources/en.lproj/Alerts.strings", "\"Title\" = \"Alert\";");
    write("N/Resources/Other.strings", "\"Title\" = \"Other\";");
    Owned object { open("N") };
    CFBundleRef bundle = object.bundle();
    EXPECT_EQ(localized(bundle, "Title", nullptr, "Alerts"), "Alert");
    EXPECT_EQ(localized(bundle, "Title", nullptr, "Other"), "Other");
    EXPECT_EQ(localized(bundle, "Title", nullptr, "../N/Resources/Other"), "Title");
}

TEST_F(LocalizedStringTest, AMalformedTableIsIgnoredWhole)
{
    write("O/Info.plist", infoPlist(entry("CFBundleDevelopmentRegion", "en")));
    write("O/Resources/de.lproj/Localizable.strings", "\"Print\" = \"Drucken\";\n\"Cancel\" = \"Abbrechen\"\n");
    write("O/Resources/en.lproj/Localizable.strings", "\"Print\" = \"Print!\";\n");
    Owned object { open("O") };
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(localized(object.bundle(), "Print"), "Print!");
    EXPECT_EQ(localized(object.bundle(), "Cancel"), "Cancel");
}

TEST_F(LocalizedStringTest, EachTableIsParsedOncePerBundle)
{
    write("P/Info.plist", infoPlist(""));
    write("P/Resources/en.lproj/Localizable.strings", "\"Print\" = \"First\";");
    Owned first { open("P") };
    EXPECT_EQ(localized(first.bundle(), "Print"), "First");
    write("P/Resources/en.lproj/Localizable.strings", "\"Print\" = \"Second\";");
    EXPECT_EQ(localized(first.bundle(), "Print"), "First");
    Owned second { open("P") };
    EXPECT_EQ(localized(second.bundle(), "Print"), "Second");
}

TEST_F(StringsFileTest, EntriesCommentsAndEscapesAreRead)
{
    auto table = StandIn::parseStringsFile("/* header\n comment */\n\"Print\" = \"Drucken\"; // trailing\n"
                                           "\"Multi\"\n =\n \"a\\\"b\\\\c\\nd\\te\\r\"\n;\nBare.key-1 = bare_value;\n\"Self\";\n"
                                           "\"Unicode\" = \"\\U00e9\\UD83D\\UDE00\";\n\"Print\" = \"Drucken!\";",
        nullptr);
    ASSERT_TRUE(table);
    StandIn::StringsTable expected { { u"Print", u"Drucken!" }, { u"Multi", u"a\"b\\c\nd\te\r" }, { u"Bare.key-1", u"bare_value" },
        { u"Self", u"Self" }, { u"Unicode", u"\u00e9\U0001F600" } };
    EXPECT_EQ(*table, expected);
    EXPECT_TRUE(StandIn::parseStringsFile("  /* only a comment */ // and another", nullptr)->empty());
}

TEST_F(StringsFileTest, UTF16InEitherOrderAndUTF8WithAMarkAreRead)
{
    std::u16string text = u"\"Gr\u00fc\u00dfe\" = \"\u3053\u3093\";";
    for (bool bigEndian : { true, false }) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t unit : text) {
            bytes += static_cast<char>(bigEndian ? unit >> 8 : unit & 0xFF);
            bytes += static_cast<char>(bigEndian ? unit & 0xFF : unit >> 8);
        }
        EXPECT_EQ(StandIn::parseStringsFile(bytes, nullptr), StandIn::StringsTable({ { u"Grüße", u"こん" } }));
        EXPECT_FALSE(StandIn::parseStringsFile(bytes + "x", nullptr));
    }
    EXPECT_EQ(StandIn::parseStringsFile("\xEF\xBB\xBF\"a\" = \"b\";", nullptr), StandIn::StringsTable({ { u"a", u"b" } }));
}

TEST_F(StringsFileTest, MalformedFilesAreRefusedWithTheLineOfTheFault)
{
    const std::pair<std::string, size_t> cases[] = {
        { "\"a\" = \"b\";\n\"c\" = \"d\n\n", 2 }, // unterminated string
        { "\"a\" = \"b\";\n/* open\n\n", 2 }, // unterminated comment
        { "\"a\" = \"b\"\n\"c\" = \"d\";", 1 }, // missing ;
        { "\"a\" = \"b\";\n\"c\"\n\n= \"d\"\n\n", 4 },
        { "\"a\" \"b\";", 1 }, // missing =
        { "\"a\" = ;", 1 },
        { "\"a\" = \"b\" = \"c\";", 1 },
        { "\n\n\"a\" = \"\\q\";", 3 }, // unknown escape
        { "\"a\" = \"\\U12G4\";", 1 },
        { "\"a\" = \"\\UD83D\";", 1 }, // lone surrogates
        { "\"a\" = \"\\UDE00\";", 1 },
        { "\"a\" = \"b\";\r\n\"c\" = \"\xC3\";", 2 }, // invalid UTF-8
        { "\"a\" = \"b\";\r\"c\" = @;", 2 },
        { std::string(kCFMaximumResourceFileSize + 1, ' '), 0 },
    };
    for (const auto& [file, line] : cases) {
        StandIn::StringsFileError error;
        EXPECT_FALSE(StandIn::parseStringsFile(file, &error)) << file;
        EXPECT_EQ(error.line, line) << file;
        EXPECT_FALSE(error.message.empty());
    }
}

TEST_F(StringsFileTest, EveryTruncationOfAFileEndsWithoutFault)
{
    std::string file = "/* c */ \"k\\U00e9y\" = \"v\\\"al\"; // x\nbare = \"y\";\n\"z\";";
    size_t parsed = 0;
    for (size_t length = 0; length <= file.size(); ++length)
        parsed += StandIn::parseStringsFile(std::string_view(file).substr(0, length), nullptr).has_value();
    EXPECT_GE(parsed, 4u);
}

TEST_F(PreferredLanguagesTest, LanguageListComesFirstThenTheFirstLocaleVariableSet)
{
    setenv("LANGUAGE", "fr:de_AT", 1);
    setenv("LC_MESSAGES", "es_ES.UTF-8@euro", 1);
    setenv("LANG", "it_IT.UTF-8", 1);
    EXPECT_EQ(StandIn::preferredLanguages(), std::vector<std::string>({ "fr", "de_AT", "de-AT", "de", "es_ES", "es-ES", "es" }));
    setenv("LC_ALL", "pt-BR", 1);
    EXPECT_EQ(StandIn::preferredLanguages(), std::vector<std::string>({ "fr", "de_AT", "de-AT", "de", "pt_BR", "pt-BR", "pt" }));
}

TEST_F(PreferredLanguagesTest, PosixLocalesAndValuesThatAreNotLanguageNamesGiveNothing)
{
    setenv("LANGUAGE", ("../../etc:x/y::" + std::string(65, 'a')).c_str(), 1);
    for (const char* locale : { "C.UTF-8", "POSIX" }) {
        setenv("LANG", locale, 1);
        EXPECT_TRUE(StandIn::preferredLanguages().empty()) << locale;
    }
}

TEST_F(PreferredLanguagesTest, LocalizationsFollowTheUserThenTheDevelopmentRegionThenEnglish)
{
    std::vector<std::string> available { "Dutch", "English", "de", "en", "fr", "ja", "nl" };
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(StandIn::preferredLocalizations(available, "Dutch"), std::vector<std::string>({ "de", "nl", "Dutch", "en", "English" }));
    unsetenv("LANG");
    EXPECT_EQ(StandIn::preferredLocalizations(available, "fr"), std::vector<std::string>({ "fr", "en", "English" }));
    EXPECT_TRUE(StandIn::preferredLocalizations({ "ja" }, "").empty());
}

}
