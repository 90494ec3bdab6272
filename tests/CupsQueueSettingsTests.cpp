// The queues' stored settings through printdialog and a private CUPS server: --configure saves
// them without printing or prompting, printing on the queue starts from them and keeps them, the
// codes typed into the prompt never land in them, and printdialog's jobs go through a queue that
// holds every other job for the accounting agent.
#include "tests/support/ClearError.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/cups/SharedCupsServerTest.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/SettingsFileValues.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kExamples = EXAMPLES_DIR;
const std::string kDefaultCodes = kExamples + "/settings/default-codes.plist";

// Default codes typed into the pane and saved for the queue.
const std::string kSaveDefaultCodes = "show\nchoose 100 3\nclick 300\ntype 302 \"alice-SECRET\"\ntype 304 \"4711-SECRET\"\nprint\n";

class QueueSettingsTest : public SharedCupsServerTest {
protected:
    static void SetUpTestSuite()
    {
        PrivateCupsServer::Setup setup;
        setup.holdingQueues = true;
        startServer(setup);
    }

    // printdialog saving the queue's settings (the server's default queue when queue is empty).
    ProgramRun configure(const std::string& queue, const std::string& script, const std::vector<std::string>& more = {}) const
    {
        std::vector<std::string> arguments { PRINTDIALOG_PATH, "--configure", "--server", gServer->socket(), "--settings-dir", folder(), "--script",
            "-" };
        if (!queue.empty())
            arguments.insert(arguments.end(), { "--printer", queue });
        arguments.insert(arguments.end(), more.begin(), more.end());
        return checked(runProgram(arguments, withInput(script)));
    }

    // printdialog printing the server's test document on the queue.
    ProgramRun print(const std::string& queue, const std::string& script, const std::vector<std::string>& more = {}) const
    {
        std::vector<std::string> arguments = gServer->printCommand(queue);
        arguments.insert(arguments.end(), { "--settings-dir", folder(), "--script", "-" });
        arguments.insert(arguments.end(), more.begin(), more.end());
        return checked(runProgram(arguments, withInput(script)));
    }

    // No code ever reaches what printdialog writes.
    static ProgramRun checked(ProgramRun run)
    {
        EXPECT_EQ(run.output.find("SECRET"), std::string::npos) << run.output;
        EXPECT_EQ(run.errors.find("SECRET"), std::string::npos) << run.errors;
        return run;
    }

    std::string folder() const { return m_home.path("accounting-pane"); }
    std::string storedFile(const std::string& queue) const { return queueSettingsFile(folder(), queue, gServer->socket()); }

    // An entry of the queue's stored settings (on the suite's server, or the one at socket) as the
    // dialog reads it; empty when there is none.
    std::string stored(const std::string& queue, const std::string& key, const std::string& socket = gServer->socket()) const
    {
        auto values = settingsFileValues(queueSettingsFile(folder(), queue, socket));
        auto found = values.find("com.movra.Act.trel." + key);
        return found == values.end() ? "" : found->second;
    }

    static std::string lastJobs() { return jobsAsSeenBy(*gServer, "root", 0); }

    TemporaryTree m_home;
};

std::string modeOf(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return "none";
    char mode[8];
    snprintf(mode, sizeof mode, "%04o", info.st_mode & 07777);
    return mode;
}

TEST_F(QueueSettingsTest, ConfigureSavesTheQueuesSettingsAndPrintsNothing)
{
    std::string jobsBefore = lastJobs();
    // Without "show": the settings window's pane is the one a person acts on.
    ProgramRun run = configure("movra", kSaveDefaultCodes.substr(std::string("show\n").size()));
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "saved\n");
    EXPECT_EQ(stored("movra", "On"), "3");
    EXPECT_EQ(stored("movra", "Prm"), "0");
    EXPECT_EQ(stored("movra", "UID"), "alice-SECRET");
    EXPECT_EQ(stored("movra", "AID"), "4711-SECRET");
    EXPECT_EQ(modeOf(storedFile("movra")), "0600");
    EXPECT_EQ(modeOf(folder()), "0700");
    EXPECT_EQ(lastJobs(), jobsBefore) << "no job was sent";
}

TEST_F(QueueSettingsTest, ThePaneWorksInConfigureAsItDoesInPrint)
{
    std::string picture = m_home.path("configure.png");
    ProgramRun run = configure("movra", "preset " + kDefaultCodes + "\nshow\nsummary\nhelp\nsnapshot " + picture + "\nprint\n");
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "summary:  Accounting =  Enabled\nhelp: Movra Printer Help Mac_topics/M_accounting_dialog.htm\nsaved\n");
    EXPECT_EQ(fileContents(picture).substr(0, 4), "\x89PNG");
    EXPECT_EQ(stored("movra", "UID"), "alice") << "the preset's default codes";
}

TEST_F(QueueSettingsTest, CancelInConfigureKeepsTheStoredSettings)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);
    std::string before = fileContents(storedFile("movra"));
    ProgramRun run = configure("movra", "show\nchoose 100 1\ncancel\n");
    EXPECT_EQ(run.exitStatus, 1) << run.errors;
    EXPECT_EQ(run.output, "cancelled\n");
    EXPECT_EQ(fileContents(storedFile("movra")), before);
}

TEST_F(QueueSettingsTest, PrintingStartsFromTheQueuesStoredSettings)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);
    ProgramRun run = print("movra", "summary\nprint\n");
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    int job = printedJobNumber(run.output);
    EXPECT_EQ(run.output, "summary:  Accounting =  Enabled\nprinted job " + std::to_string(job) + "\n");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "4711-SECRET");

    // Settings given on the command line stand for the stored ones, and are then stored.
    ProgramRun given = print("movra", "print\n", { "--settings", kDefaultCodes });
    ASSERT_EQ(given.exitStatus, 0) << given.errors;
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(given.output), "job-accounting-user-id"), "alice");
    EXPECT_EQ(stored("movra", "UID"), "alice");

    // Another queue has settings of its own: none stored, so it starts as the agent starts a held
    // job of it, with accounting on and both codes asked for.
    ProgramRun other = print("movra-hold", "print\ntype 501 \"carol\"\ntype 503 \"12\"\nclick 1000\n");
    ASSERT_EQ(other.exitStatus, 0) << other.errors;
    EXPECT_EQ(other.output.rfind("prompt: Accounting\n", 0), 0u) << other.output;
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(other.output), "job-accounting-user-id"), "carol");
}

TEST_F(QueueSettingsTest, ThePromptNeverKeepsItsCodesInTheStore)
{
    ASSERT_EQ(configure("movra", kSaveDefaultCodes).exitStatus, 0);
    // The person asks for the prompt this time and types other codes: the job carries them, the
    // store keeps the prompt on and the default codes as they were.
    ProgramRun run = print("movra", "show\nclick 200\nprint\ntype 501 \"typed-SECRET\"\ntype 503 \"typed-SECRET\"\nclick 1000\n");
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(printedJobNumber(run.output), "job-accounting-user-id"), "typed-SECRET");
    EXPECT_EQ(stored("movra", "Prm"), "1");
    EXPECT_EQ(stored("movra", "UID"), "alice-SECRET");
    EXPECT_EQ(stored("movra", "AID"), "4711-SECRET");
    EXPECT_EQ(fileContents(storedFile("movra")).find("typed"), std::string::npos);

    // With the prompt on, the next print asks again, and Save in --configure never asks.
    ProgramRun asks = print("movra", "print\nclick 1001\n");
    EXPECT_EQ(asks.exitStatus, 1) << asks.errors;
    EXPECT_EQ(asks.output.rfind("prompt: Accounting\n", 0), 0u) << asks.output;
    ProgramRun saved = configure("movra", "show\ndump\nprint\n");
    ASSERT_EQ(saved.exitStatus, 0) << saved.errors;
    EXPECT_EQ(saved.output.find("prompt:"), std::string::npos) << saved.output;
    EXPECT_NE(saved.output.find("\"Save\"\n"), std::string::npos) << saved.output;
    EXPECT_EQ(saved.output.substr(saved.output.size() - 6), "saved\n");
    EXPECT_EQ(stored("movra", "UID"), "alice-SECRET");

    // Back to the default codes: the settings window offers the stored ones, and Save keeps them.
    ASSERT_EQ(configure("movra", "show\nclick 300\nprint\n").exitStatus, 0);
    EXPECT_EQ(stored("movra", "Prm"), "0");
    EXPECT_EQ(stored("movra", "UID"), "alice-SECRET");
    EXPECT_EQ(stored("movra", "AID"), "4711-SECRET");
}

TEST_F(QueueSettingsTest, PrintdialogsJobsAreNotHeldOnAHoldingQueue)
{
    // The queue holds what other programs send, for the accounting agent to complete.
    ASSERT_EQ(system(("lp -h '" + gServer->socket() + "' -d movra-hold '" + gServer->path("document.txt") + "' >/dev/null").c_str()), 0);
    std::string jobs = lastJobs();
    size_t last = jobs.rfind("job-id=");
    ASSERT_NE(last, std::string::npos) << jobs;
    int held = atoi(jobs.c_str() + last + 7);
    EXPECT_EQ(gServer->jobAttribute(held, "job-state"), "pending-held");
    EXPECT_EQ(system(("cancel -h '" + gServer->socket() + "' " + std::to_string(held)).c_str()), 0);

    ProgramRun run = print("movra-hold", "print\n", { "--settings", kDefaultCodes });
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    int job = printedJobNumber(run.output);
    EXPECT_EQ(gServer->jobAttribute(job, "job-hold-until"), "no-hold");
    EXPECT_NE(gServer->driverOptions(job).find("com.movra.Act.trel.UID=alice"), std::string::npos) << "the job printed";
    EXPECT_NE(gServer->jobAttribute(job, "job-state"), "pending-held");
}

TEST_F(QueueSettingsTest, TheSettingsWindowWithoutAQueueIsForTheServersMovraPrinter)
{
    // A server of its own, with a Movra printer and another maker's.
    PrivateCupsServer server;
    std::string error;
    ASSERT_TRUE(server.start({}, &error)) << error;
    std::vector<std::string> arguments { PRINTDIALOG_PATH, "--configure", "--server", server.socket(), "--settings-dir", folder(), "--script", "-" };
    ProgramRun run = runProgram(arguments, withInput(kSaveDefaultCodes));
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "saved\n");
    EXPECT_EQ(stored("movra", "UID", server.socket()), "alice-SECRET");

    // With two, a script names the one it sets; another maker's printer has nothing to set.
    ASSERT_TRUE(server.addQueue("movra2"));
    std::string name = "the CUPS server at " + server.socket();
    EXPECT_TRUE(endsInOneClearError(runProgram(arguments, withInput("print\n")),
        name + " has 2 Movra printers (movra, movra2): name the one to set with --printer QUEUE"));
    std::vector<std::string> other = arguments;
    other.insert(other.begin() + 2, { "--printer", "lumio" });
    EXPECT_TRUE(endsInOneClearError(runProgram(other, withInput("print\n")), "lumio has no accounting settings: its printer is not a Movra printer"));
    ASSERT_TRUE(server.removeQueue("movra") && server.removeQueue("movra2"));
    EXPECT_TRUE(endsInOneClearError(runProgram(arguments, withInput("print\n")),
        name + " has no Movra printer, and only a Movra printer has accounting settings"));
}

TEST_F(QueueSettingsTest, AStoredFileThatCannotBeReadIsOneClearErrorAndStaysAsItWas)
{
    // Stored by an earlier version under the queue's name alone: it is the server's now.
    const std::string before = "<plist><dict><key>com.movra.Act.trel.UID</key><string>SECRET";
    m_home.addFile("accounting-pane/movra.plist", before);
    EXPECT_TRUE(endsInOneClearError(print("movra", "print\n"), storedFile("movra") + ": "));
    EXPECT_TRUE(endsInOneClearError(configure("movra", "print\n"), storedFile("movra") + ": "));
    // Settings given instead still cannot replace what could not be read.
    ProgramRun over = configure("movra", "print\n", { "--settings", kDefaultCodes });
    EXPECT_TRUE(endsInOneClearError(over, "the settings of queue movra were not stored: the stored print settings cannot be read, so they are left as they are: " + storedFile("movra") + ": "));
    EXPECT_EQ(fileContents(storedFile("movra")), before);
}

TEST_F(QueueSettingsTest, AStoreThatCannotBeWrittenLetsTheJobPrintButNotASave)
{
    // The store's folder would have to be inside a file.
    m_home.addFile("accounting-pane");
    ProgramRun run = print("movra", "print\n", { "--settings", kDefaultCodes });
    ASSERT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_NE(printedJobNumber(run.output), 0) << run.output;
    EXPECT_NE(run.errors.find("\nprintdialog: warning: the settings of queue movra were not stored: " + folder()
                  + ": the stored print settings need a folder here, and this is not one\n"),
        std::string::npos)
        << run.errors;

    EXPECT_TRUE(endsInOneClearError(configure("movra", "print\n", { "--settings", kDefaultCodes }),
        "the settings of queue movra were not stored: " + folder() + ": the stored print settings need a folder here"));
}

}
