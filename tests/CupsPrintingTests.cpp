// printdialog printing for real: a private CUPS server of the tests' own (its own configuration
// and spool folders, a socket in a temporary folder, no effect on any system CUPS), a queue with
// the Movra PPD, a file device and a filter that records the options a driver would read.
#include "ProgramRun.h"
#include "TemporaryTree.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kExamples = EXAMPLES_DIR;

std::string readFile(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class PrivateCupsServer {
public:
    bool start(std::string* error)
    {
        std::string root = m_folder.root();
        for (const char* folder : { "spool", "tmp", "cache", "state", "log", "records", "out", "bin/filter", "bin/backend" })
            m_folder.addFolder(folder);
        m_folder.addFile("cupsd.conf", "Listen " + socket() + "\nLogLevel warn\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                "<Policy default>\n  JobPrivateValues none\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
        m_folder.addFile("cups-files.conf", "ServerRoot " + root + "\nRequestRoot " + root + "/spool\nTempDir " + root + "/tmp\nCacheDir "
                + root + "/cache\nStateDir " + root + "/state\nServerBin " + root + "/bin\nErrorLog " + root + "/log/error_log\nAccessLog "
                + root + "/log/access_log\nPageLog " + root + "/log/page_log\nFileDevice Yes\nSystemGroup root\n");
        m_folder.addFile("bin/filter/accounting-test-filter", readFile(TESTS_DIR "/cups/accounting-test-filter"));
        std::string ppd = readFile(kExamples + "/Movra-RK7700.ppd");
        ppd.replace(ppd.find("*DefaultResolution"), 0, "*cupsFilter: \"text/plain 0 accounting-test-filter\"\n");
        m_folder.addFile("movra.ppd", ppd);
        std::string otherMaker = readFile(kExamples + "/Lumio-LP200.ppd");
        otherMaker.replace(otherMaker.find("*DefaultResolution"), 0, "*cupsFilter: \"text/plain 0 accounting-test-filter\"\n");
        m_folder.addFile("lumio.ppd", otherMaker);
        m_folder.addFile("document.txt", "A page to print.\n");
        // The scheduler runs filters through its own helper, which lives in the standard folder.
        symlink("/usr/lib/cups/daemon", (root + "/bin/daemon").c_str());
        chmod((root + "/bin/filter/accounting-test-filter").c_str(), 0755);
        chmod(root.c_str(), 0755);
        for (const char* shared : { "records", "out", "tmp" })
            chmod((root + "/" + shared).c_str(), 01777);

        m_server = fork();
        if (m_server == 0) {
            execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", (root + "/cupsd.conf").c_str(), "-s", (root + "/cups-files.conf").c_str(), nullptr);
            _exit(127);
        }
        for (int tries = 0; tries < 100 && access(socket().c_str(), F_OK) != 0; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto addQueue = [&](const std::string& name) {
            std::string command = "lpadmin -h '" + socket() + "' -p " + name + " -E -v 'file://" + root + "/out/" + name + ".out' -P '" + root
                + "/" + name + ".ppd' 2>/dev/null";
            return system(command.c_str()) == 0;
        };
        if (!addQueue("movra") || !addQueue("lumio")) {
            *error = "the private CUPS server did not take the queue; its log: " + readFile(root + "/log/error_log");
            return false;
        }
        return true;
    }

    ~PrivateCupsServer() { stop(); }

    void stop()
    {
        if (m_server > 0) {
            kill(m_server, SIGTERM);
            waitpid(m_server, nullptr, 0);
            m_server = -1;
        }
    }

    std::string socket() const { return m_folder.path("cups.sock"); }
    std::string path(const std::string& relative) const { return m_folder.path(relative); }

private:
    TemporaryTree m_folder;
    pid_t m_server { -1 };
};

PrivateCupsServer* gServer = nullptr;

class CupsPrintingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0)
            return;
        gServer = new PrivateCupsServer;
        std::string error;
        if (!gServer->start(&error)) {
            ADD_FAILURE() << error;
            delete gServer;
            gServer = nullptr;
        }
    }

    static void TearDownTestSuite()
    {
        delete gServer;
        gServer = nullptr;
    }

    void SetUp() override
    {
        if (!gServer)
            GTEST_SKIP() << "a private CUPS server needs root and cupsd (scripts/setup installs it; CI runs as root)";
    }

    struct Print {
        int exitStatus;
        std::string transcript;
        std::string errors;
        int job;
    };

    // printdialog printing the test document on queue through the private server.
    static std::vector<std::string> printDialogCommand(const std::string& queue, const std::string& settings = "")
    {
        std::vector<std::string> arguments { PRINTDIALOG_PATH, "--printer", queue, "--server", gServer->socket(), "--file",
            gServer->path("document.txt") };
        if (!settings.empty())
            arguments.insert(arguments.end(), { "--settings", settings });
        return arguments;
    }

    Print print(const std::string& script, const std::string& settings = "", const std::string& queue = "movra")
    {
        std::vector<std::string> arguments = printDialogCommand(queue, settings);
        arguments.insert(arguments.end(), { "--script", "-" });
        ProgramRun run = runProgram(arguments, withInput(script));
        Print result { run.exitStatus, run.output, run.errors, 0 };
        size_t printed = result.transcript.find("printed job ");
        if (printed != std::string::npos)
            result.job = atoi(result.transcript.c_str() + printed + 12);
        return result;
    }

    // The options the driver's filter received for the job, once it has run.
    static std::string driverOptions(int job)
    {
        std::string path = gServer->path("records/job-" + std::to_string(job) + ".options");
        for (int tries = 0; tries < 200 && access(path.c_str(), F_OK) != 0; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return readFile(path);
    }

    // A job attribute as the server holds it, read over IPP; empty when the job has none.
    static std::string jobAttribute(int job, const char* name)
    {
        cupsSetServer(gServer->socket().c_str());
        ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        std::string uri = "ipp://localhost/jobs/" + std::to_string(job);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
        ipp_attribute_t* attribute = response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr;
        const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
        std::string text = value ? value : "";
        ippDelete(response);
        return text;
    }
};

TEST_F(CupsPrintingTest, DefaultCodesReachTheJobAndTheDriver)
{
    Print result = print("show\ntype 302 \"-2\"\nprint\n", kExamples + "/settings/default-codes.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    ASSERT_GT(result.job, 0) << result.transcript;
    EXPECT_EQ(jobAttribute(result.job, "job-accounting-user-id"), "alice-2");
    EXPECT_EQ(jobAttribute(result.job, "job-account-id"), "4711");
    EXPECT_EQ(jobAttribute(result.job, "job-originating-user-name"), cupsUser()) << "the person's login stays the requesting user";
    std::string options = driverOptions(result.job);
    EXPECT_NE(options.find("com.movra.Act.trel.On=3"), std::string::npos) << options;
    EXPECT_NE(options.find("com.movra.Act.trel.UID=alice-2"), std::string::npos) << options;
    EXPECT_NE(options.find("com.movra.Act.trel.Prm=0"), std::string::npos) << options;
    EXPECT_EQ(result.transcript.find("4711"), std::string::npos) << "codes never reach the transcript";
}

TEST_F(CupsPrintingTest, PromptedCodesReachTheJob)
{
    Print result = print("show\nchoose 100 3\nclick 200\nprint\ntype 501 \"bob\"\ntype 503 \"77\"\nclick 1000\n");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(jobAttribute(result.job, "job-accounting-user-id"), "bob");
    EXPECT_EQ(jobAttribute(result.job, "job-account-id"), "77");
    EXPECT_NE(driverOptions(result.job).find("com.movra.Act.trel.Prm=1"), std::string::npos);
}

TEST_F(CupsPrintingTest, TalliantAccountingWithAnAccountType)
{
    Print result = print("show\nprint\ntype 501 \"carol\"\nchoose 505 2\ntype 503 \"D-9\"\nclick 1000\n", kExamples + "/settings/talliant-prompt.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(jobAttribute(result.job, "job-account-id"), "D-9");
    std::string options = driverOptions(result.job);
    EXPECT_NE(options.find("com.movra.Act.trel.On=2"), std::string::npos) << options;
    EXPECT_NE(options.find("com.movra.Act.trel.AT=2"), std::string::npos) << options;
}

TEST_F(CupsPrintingTest, AccountingOffSendsNoAccountingAttributes)
{
    Print result = print("show\nprint\n");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(jobAttribute(result.job, "job-accounting-user-id"), "");
    EXPECT_EQ(jobAttribute(result.job, "job-account-id"), "");
    EXPECT_NE(driverOptions(result.job).find("com.movra.Act.trel.On=1"), std::string::npos);
}

TEST_F(CupsPrintingTest, CancelInThePromptSubmitsNoJob)
{
    Print result = print("show\nchoose 100 3\nclick 200\nprint\nclick 1001\ncancel\n");
    EXPECT_EQ(result.exitStatus, 1) << result.errors;
    EXPECT_EQ(result.job, 0);
    EXPECT_EQ(result.transcript.find("printed job"), std::string::npos) << result.transcript;
}

TEST_F(CupsPrintingTest, ARefusedJobIsAnErrorThatKeepsTheSavedSettings)
{
    ASSERT_EQ(system(("cupsreject -h '" + gServer->socket() + "' movra").c_str()), 0);
    std::string saved = gServer->path("saved.plist");
    std::vector<std::string> arguments = printDialogCommand("movra", kExamples + "/settings/default-codes.plist");
    arguments.insert(arguments.end(), { "--save", saved, "--script", "-" });
    ProgramRun run = runProgram(arguments, withInput("show\ntype 302 \"-secret\"\nprint\n"));
    EXPECT_EQ(system(("cupsaccept -h '" + gServer->socket() + "' movra").c_str()), 0);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.errors.find("movra: the job was not accepted"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("secret"), std::string::npos) << "no code in the message";
    EXPECT_NE(readFile(saved).find("alice-secret"), std::string::npos) << "the settings are saved all the same";
}

TEST_F(CupsPrintingTest, AnotherMakersQueuePrintsWithAccountingOff)
{
    Print result = print("show\nprint\n", kExamples + "/settings/default-codes.plist", "lumio");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(jobAttribute(result.job, "job-accounting-user-id"), "");
    EXPECT_EQ(jobAttribute(result.job, "job-account-id"), "");
    EXPECT_NE(driverOptions(result.job).find("com.movra.Act.trel.On=1"), std::string::npos) << "the pane stayed inert";
}

TEST_F(CupsPrintingTest, AServerThatStopsMidwayIsOneClearError)
{
    std::string saved = gServer->path("saved.plist");
    std::string command;
    for (const auto& argument : printDialogCommand("movra", kExamples + "/settings/default-codes.plist"))
        command += "'" + argument + "' ";
    command += "--save '" + saved + "' --script - >'" + gServer->path("out.txt") + "' 2>'" + gServer->path("errors.txt") + "'";
    FILE* script = popen(command.c_str(), "w");
    fputs("show\n", script);
    fflush(script);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    gServer->stop();
    fputs("print\n", script);
    int status = pclose(script);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    std::string errors = readFile(gServer->path("errors.txt"));
    EXPECT_NE(errors.find("movra: the job was not sent: the CUPS server at " + gServer->socket() + " cannot be reached"), std::string::npos) << errors;
    EXPECT_NE(readFile(saved).find("alice"), std::string::npos) << "the settings are saved all the same";
    // The later tests of this process need a server again.
    delete gServer;
    gServer = new PrivateCupsServer;
    std::string error;
    EXPECT_TRUE(gServer->start(&error)) << error;
}

TEST_F(CupsPrintingTest, AMissingQueueIsOneClearError)
{
    std::vector<std::string> arguments = printDialogCommand("nosuch");
    arguments.insert(arguments.end(), { "--script", "-" });
    ProgramRun run = runProgram(arguments);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.errors.find("nosuch: cannot get the printer's PPD"), std::string::npos) << run.errors;
}

}
