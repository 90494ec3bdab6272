// printdialog's command line: what goes together, what needs a value, and the CUPS queue and
// server timeout checked before anything is loaded.
#include "printdialog/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(PrintDialogArguments, TheCommandLineIsChecked)
{
    PrintDialogOptions options;
    std::string error;
    EXPECT_FALSE(parsePrintDialogArguments({ "--script", "-" }, &options, &error));
    EXPECT_EQ(error, "--ppd or --printer is required");
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd", "a.ppd", "--printer", "movra" }, &options, &error));
    EXPECT_EQ(error, "--ppd and --printer cannot go together");
    PrintDialogOptions queue;
    EXPECT_FALSE(parsePrintDialogArguments({ "--printer", "movra" }, &queue, &error));
    EXPECT_EQ(error, "--printer needs --file, the document to print");
    PrintDialogOptions stray;
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd", "a.ppd", "--file", "doc.txt" }, &stray, &error));
    EXPECT_EQ(error, "--server, --timeout, --file and --settings-dir go with --printer");
    PrintDialogOptions strayFolder;
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd", "a.ppd", "--settings-dir", "store" }, &strayFolder, &error));
    EXPECT_EQ(error, "--server, --timeout, --file and --settings-dir go with --printer");
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd" }, &options, &error));
    EXPECT_EQ(error, "--ppd needs a value");
    EXPECT_FALSE(parsePrintDialogArguments({ "--ppd", "a.ppd", "--colour" }, &options, &error));
    EXPECT_EQ(error, "unknown option \"--colour\"");
}

TEST(PrintDialogArguments, ConfigureSavesAQueuesSettingsAndPrintsNothing)
{
    std::string error;
    PrintDialogOptions defaultQueue;
    ASSERT_TRUE(parsePrintDialogArguments({ "--configure", "--script", "-" }, &defaultQueue, &error)) << error;
    EXPECT_EQ(defaultQueue.purpose, DialogPurpose::Configure);
    EXPECT_EQ(defaultQueue.printerQueue, "") << "the server's default queue, found later";
    PrintDialogOptions named;
    ASSERT_TRUE(parsePrintDialogArguments({ "--printer", "movra", "--configure", "--settings-dir", "store", "--server", "/s.sock" }, &named, &error))
        << error;
    EXPECT_EQ(named.purpose, DialogPurpose::Configure);
    EXPECT_EQ(named.printerQueue, "movra");
    EXPECT_EQ(named.settingsFolder, "store");
    PrintDialogOptions printing;
    ASSERT_TRUE(parsePrintDialogArguments({ "--printer", "movra", "--file", "doc.txt" }, &printing, &error)) << error;
    EXPECT_EQ(printing.purpose, DialogPurpose::Print);
    EXPECT_EQ(printing.settingsFolder, "") << "the user's own store";

    PrintDialogOptions withPPD;
    EXPECT_FALSE(parsePrintDialogArguments({ "--configure", "--ppd", "a.ppd" }, &withPPD, &error));
    EXPECT_EQ(error, "--configure stores the settings of a CUPS queue: --printer QUEUE, or none for the server's default queue, not --ppd");
    PrintDialogOptions withFile;
    EXPECT_FALSE(parsePrintDialogArguments({ "--configure", "--printer", "movra", "--file", "doc.txt" }, &withFile, &error));
    EXPECT_EQ(error, "--configure prints nothing: --file goes with printing");
    PrintDialogOptions badName;
    EXPECT_FALSE(parsePrintDialogArguments({ "--configure", "--printer", "../movra" }, &badName, &error));
    EXPECT_EQ(error.rfind("--printer: a CUPS queue name holds no blank", 0), 0u) << error;
}

TEST(PrintDialogArguments, WhereTheCodesGoAndForgettingGoWithTheSettingsWindow)
{
    std::string error;
    PrintDialogOptions inFile;
    ASSERT_TRUE(parsePrintDialogArguments({ "--configure", "--printer", "movra", "--keep-codes", "file" }, &inFile, &error)) << error;
    EXPECT_EQ(inFile.keepCodes, QueueSettingsStore::CodesChoice::File);
    PrintDialogOptions forgetting;
    ASSERT_TRUE(parsePrintDialogArguments({ "--configure", "--forget", "--printer", "movra" }, &forgetting, &error)) << error;
    EXPECT_TRUE(forgetting.forget);

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        { { "--configure", "--keep-codes", "wallet" }, "--keep-codes takes keyring or file" },
        { { "--printer", "movra", "--file", "doc.txt", "--keep-codes", "file" }, "--keep-codes and --forget go with --configure" },
        { { "--printer", "movra", "--file", "doc.txt", "--forget" }, "--keep-codes and --forget go with --configure" },
        { { "--configure", "--forget", "--script", "-" }, "--forget opens no settings window: --script, --snapshot, --settings, --save and --keep-codes go with one" },
        { { "--configure", "--forget", "--keep-codes", "file" }, "--forget opens no settings window: --script, --snapshot, --settings, --save and --keep-codes go with one" },
    };
    for (const auto& [arguments, says] : refused) {
        PrintDialogOptions options;
        EXPECT_FALSE(parsePrintDialogArguments(arguments, &options, &error)) << says;
        EXPECT_EQ(error, says);
    }
}

TEST(PrintDialogArguments, ListingTheCodesReadsAPrinterAndOpensNoDialog)
{
    std::string error;
    PrintDialogOptions ppd;
    ASSERT_TRUE(parsePrintDialogArguments({ "--list-codes", "--ppd", "a.ppd" }, &ppd, &error)) << error;
    EXPECT_TRUE(ppd.listCodes);
    PrintDialogOptions queue;
    ASSERT_TRUE(parsePrintDialogArguments({ "--list-codes", "--printer", "movra", "--server", "/s.sock", "--timeout", "2" }, &queue, &error)) << error;
    EXPECT_EQ(queue.printerQueue, "movra") << "no document needed";

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        { { "--list-codes" }, "--ppd or --printer is required" },
        { { "--list-codes", "--ppd", "a.ppd", "--server", "/s.sock" }, "--server, --timeout, --file and --settings-dir go with --printer" },
        { { "--list-codes", "--printer", "movra", "--configure" }, "--list-codes opens no dialog: only --ppd, or --printer with --server and --timeout, go with it" },
        { { "--list-codes", "--ppd", "a.ppd", "--script", "-" }, "--list-codes opens no dialog: only --ppd, or --printer with --server and --timeout, go with it" },
        { { "--list-codes", "--printer", "movra", "--file", "doc.txt" }, "--list-codes opens no dialog: only --ppd, or --printer with --server and --timeout, go with it" },
    };
    for (const auto& [arguments, says] : refused) {
        PrintDialogOptions options;
        EXPECT_FALSE(parsePrintDialogArguments(arguments, &options, &error)) << says;
        EXPECT_EQ(error, says);
    }
}

TEST(PrintDialogArguments, QueueNamesFollowCupsRules)
{
    std::string error;
    PrintDialogOptions fine;
    EXPECT_TRUE(parsePrintDialogArguments({ "--printer", "Movra_RK-7700.2", "--file", "doc.txt" }, &fine, &error)) << error;
    PrintDialogOptions longest;
    EXPECT_TRUE(parsePrintDialogArguments({ "--printer", std::string(127, 'q'), "--file", "doc.txt" }, &longest, &error)) << error;
    for (const char* bad : { "a b", "a/b", "a#b", "a?b", "a\"b", "a'b", "a\\b", "a\tb", "a\x7f" }) {
        PrintDialogOptions options;
        error.clear();
        EXPECT_FALSE(parsePrintDialogArguments({ "--printer", bad, "--file", "doc.txt" }, &options, &error)) << bad;
        EXPECT_EQ(error.rfind("--printer: a CUPS queue name holds no blank", 0), 0u) << error;
    }
    PrintDialogOptions tooLong;
    EXPECT_FALSE(parsePrintDialogArguments({ "--printer", std::string(128, 'q'), "--file", "doc.txt" }, &tooLong, &error));
    EXPECT_EQ(error, "--printer: a CUPS queue name has at most 127 bytes, and this one has 128");
}

TEST(PrintDialogArguments, TheServerTimeoutIsInSeconds)
{
    std::string error;
    PrintDialogOptions standard;
    ASSERT_TRUE(parsePrintDialogArguments({ "--printer", "movra", "--file", "doc.txt" }, &standard, &error)) << error;
    EXPECT_EQ(standard.serverTimeout, std::chrono::seconds(30));
    PrintDialogOptions quick;
    ASSERT_TRUE(parsePrintDialogArguments({ "--printer", "movra", "--file", "doc.txt", "--timeout", "0.25" }, &quick, &error)) << error;
    EXPECT_EQ(quick.serverTimeout, std::chrono::milliseconds(250));
    for (const char* bad : { "0", "-1", "soon", "5s", "3601", "nan", "inf" }) {
        PrintDialogOptions options;
        error.clear();
        EXPECT_FALSE(parsePrintDialogArguments({ "--printer", "movra", "--file", "doc.txt", "--timeout", bad }, &options, &error)) << bad;
        EXPECT_EQ(error, "--timeout needs a number of seconds, more than 0 and at most 3600") << bad;
    }
}

}
