// printdialog given files that someone made to hurt it: a PPD that unpacks without end, a FIFO
// in place of a PPD or of one of the bundle's pictures, a broken layout, a translation that
// would drive the terminal. Each run must end by itself, soon, with little memory, and say what
// was wrong.
#include "tests/support/ProgramRun.h"
#include "tests/support/GuideBlocks.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/TestPPDFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const std::string kExamples = EXAMPLES_DIR;

class HostileFileRunTest : public ::testing::Test {
protected:
    ProgramRun run(const std::string& ppd, const std::string& script, const std::string& plugIn = ACCOUNTING_BUNDLE_DIR)
    {
        tree.addFile("script.txt", script);
        ProgramOptions options;
        options.environment = languageSettings;
        options.timeout = std::chrono::seconds(20);
        return runProgram({ PRINTDIALOG_PATH, "--ppd", ppd, "--script", tree.path("script.txt"), "--plugin", plugIn, "--save",
                              tree.path("saved.plist") },
            options);
    }

    // A copy of the built bundle to spoil: its path in the tree is "Accounting.plugin".
    std::string bundleCopy()
    {
        const std::string bundle = tree.path("Accounting.plugin");
        fs::copy(ACCOUNTING_BUNDLE_DIR, bundle, fs::copy_options::recursive);
        return bundle;
    }

    // A copy of the built bundle whose resource (a path in Contents/Resources) has text in place
    // of the first of what.
    std::string bundleCopyWith(const std::string& resource, const std::string& what, const std::string& text)
    {
        const std::string bundle = bundleCopy();
        const std::string path = bundle + "/Contents/Resources/" + resource;
        std::string contents = fileContents(path);
        const size_t found = contents.find(what);
        EXPECT_NE(found, std::string::npos) << what << " in " << resource;
        if (found != std::string::npos)
            tree.addFile("Accounting.plugin/Contents/Resources/" + resource, contents.replace(found, what.size(), text));
        return bundle;
    }

    TemporaryTree tree;
    std::vector<std::pair<std::string, std::string>> languageSettings = englishLanguageSettings();
};

TEST_F(HostileFileRunTest, AGzipBombPPDIsRefusedInOneLineNamingItSoonAndWithLittleMemory)
{
    // 1.5 million keywords before the Movra maker: 3 MB that unpack to 22 MB.
    const std::string bomb = tree.path("bomb.ppd.gz");
    writeKeywordFloodPPD(bomb, 1500000, "*Manufacturer: \"Movra\"\n");

    ProgramRun result = run(bomb, "show\nprint\n");
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 2) << "the job must not go on without the codes the printer needs";
    EXPECT_EQ(result.errors, "printdialog: " + bomb + ": larger than 16 MiB unpacked\n");
    EXPECT_EQ(result.output, "");
    EXPECT_FALSE(fs::exists(tree.path("saved.plist")));
    if (!kSanitizedBuild) {
        EXPECT_LT(result.processorTime, std::chrono::seconds(1));
        EXPECT_LT(result.peakResidentKiB, 64 * 1024);
    }
}

TEST_F(HostileFileRunTest, AnAdministratorGetsTheCodesOfAHostilePPDListedWholeSoonAndWithMemoryInProportion)
{
    // As many code options as fit under the size limit; a code whose label is 8 million '<', each
    // of which could start a <hex> run.
    const struct {
        const char* file;
        std::string text;
        size_t codes;
    } hostile[] = {
        { "codes.ppd", codeFloodPPD(200000), 200000 },
        { "label.ppd", "*PPD-Adobe: \"4.3\"\n*OpenUI *UserCode/" + std::string(8000000, '<') + ": PickOne\n*ParamCustomUserCode UserCode: 1 passcode 1 8\n", 1 },
    };
    const std::string policy = guidePrivacyLines();
    const size_t policyLines = std::count(policy.begin(), policy.end(), '\n');
    for (const auto& [file, text, codes] : hostile) {
        tree.addFile(file, text);
        ProgramOptions options;
        options.environment = englishLanguageSettings();
        options.timeout = std::chrono::seconds(20);
        ProgramRun result = runProgram({ PRINTDIALOG_PATH, "--list-codes", "--ppd", tree.path(file) }, options);
        EXPECT_FALSE(result.timedOut) << file;
        EXPECT_EQ(result.exitStatus, 0) << file << ": " << result.errors;
        size_t lines = std::count(result.output.begin(), result.output.end(), '\n');
        EXPECT_EQ(lines, codes + policyLines) << file << ": one line per code, then the policy's";
        if (!kSanitizedBuild) {
            EXPECT_LT(result.peakResidentKiB, 16 * static_cast<long>(text.size()) / 1024) << file << ": memory in proportion to the file";
        }
    }
}

TEST_F(HostileFileRunTest, PPDsThatAreNoPPDSayWhyInOneLine)
{
    tree.addFolder("folder.ppd");
    ASSERT_EQ(mkfifo(tree.path("fifo.ppd").c_str(), 0600), 0);
    tree.addFile("letter.ppd", "Dear printer,\n*Manufacturer: \"Movra\"\n");
    const std::pair<std::string, std::string> refused[] = {
        { tree.path("folder.ppd"), "not a regular file (a folder)" },
        { tree.path("fifo.ppd"), "not a regular file (a FIFO)" },
        { tree.path("letter.ppd"), "not a PPD file (line 1 is not *PPD-Adobe: \"4.x\")" },
        { tree.path("missing.ppd"), "No such file or directory" },
    };
    for (const auto& [ppd, why] : refused) {
        ProgramRun result = run(ppd, "show\nprint\n");
        EXPECT_FALSE(result.timedOut) << ppd;
        EXPECT_EQ(result.exitStatus, 2) << ppd;
        EXPECT_EQ(result.errors, "printdialog: " + ppd + ": " + why + "\n");
        EXPECT_FALSE(fs::exists(tree.path("saved.plist")));
    }
}

TEST_F(HostileFileRunTest, AFIFOInPlaceOfAPictureLeavesThePictureBlankAndTheDialogWorking)
{
    const std::string bundle = bundleCopy();
    for (const char* picture : { "Accounting-Off.gif", "Accounting-On.gif" }) {
        const std::string path = bundle + "/Contents/Resources/" + picture;
        fs::remove(path);
        ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << path;
    }

    // Showing the pane draws the off picture; choosing a mode draws the on picture.
    ProgramRun result = run(kExamples + "/Movra-RK7700.ppd", "show\nchoose 100 3\nsummary\ncancel\n", bundle);
    EXPECT_FALSE(result.timedOut) << "the picture's file was waited on";
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_EQ(result.output, "summary:  Accounting =  Enabled\ncancelled\n");
    if (!kSanitizedBuild) {
        EXPECT_LT(result.elapsed, std::chrono::seconds(1));
    }
}

TEST_F(HostileFileRunTest, AControlCharacterInATranslationReachesTheDumpEscaped)
{
    const std::string bundle = bundleCopyWith("de.lproj/Accounting.strings", "\"Die Abrechnung ist", "\"Die\x1b[2J Abrechnung ist");
    languageSettings = { { "LANGUAGE", "de" }, { "LC_ALL", "de_DE.UTF-8" }, { "LANG", "de_DE.UTF-8" } };

    ProgramRun result = run(kExamples + "/Movra-RK7700.ppd", "show\ndump\ncancel\n", bundle);
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_NE(result.output.find("static-text visible enabled 0 150,80,308,356 \"Die\\x1B[2J Abrechnung"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find('\x1b'), std::string::npos) << "no terminal may be sent the translation's escape";
}

TEST_F(HostileFileRunTest, ABundleWhoseLayoutIsBrokenStopsTheScriptAtItsFirstActionSayingWhere)
{
    const std::string bundle = bundleCopyWith("Accounting.nib", "id='MVRa',91", "id=broken");
    const std::string layout = bundle + "/Contents/Resources/Accounting.nib";

    // Acting on the pane before "show" shows it first, and fails as "show" does.
    for (const char* script : { "show\nprint\n", "choose 100 3\nprint\n" }) {
        ProgramRun result = run(kExamples + "/Movra-RK7700.ppd", script, bundle);
        EXPECT_EQ(result.exitStatus, 2) << script;
        EXPECT_NE(result.errors.find(layout + ":17: 'id' takes a four-char code and a number"), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find("printdialog: " + tree.path("script.txt") + ": line 1: the pane answered status "), std::string::npos)
            << script << ": " << result.errors;
        EXPECT_EQ(result.output, "") << script;
        EXPECT_FALSE(fs::exists(tree.path("saved.plist"))) << script;
    }
}

}
