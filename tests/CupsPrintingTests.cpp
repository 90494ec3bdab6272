// printdialog printing for real through a private CUPS server of the tests' own (see
// tests/cups/PrivateCupsServer.h): the job, its options and attributes, and every way the
// submission can go wrong.
#include "tests/cups/DroppingProxy.h"
#include "tests/support/ClearError.h"
#include "tests/cups/CodePrinter.h"
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/cups/SharedCupsServerTest.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/GuideBlocks.h"
#include "tests/support/RunningProgram.h"
#include "tests/cups/TestNetwork.h"
#include "queues/cups/IppMessage.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <pwd.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kExamples = EXAMPLES_DIR;

class CupsPrintingTest : public SharedCupsServerTest {
protected:
    static void SetUpTestSuite()
    {
        startServer({});
        if (gServer && !gServer->addQueue("lumio-codes", "lumio-codes")) {
            TearDownTestSuite();
            gFailure = "the private server took no queue lumio-codes";
        }
    }

    struct Print {
        int exitStatus;
        std::string transcript;
        std::string errors;
        int job;
    };

    // printdialog printing the test document on queue through the private server, with a store
    // of queue settings of the test's own.
    std::vector<std::string> printDialogCommand(const std::string& queue, const std::string& settings = "") const
    {
        std::vector<std::string> arguments = gServer->printCommand(queue);
        arguments.insert(arguments.end(), { "--settings-dir", m_store.path("settings") });
        if (!settings.empty())
            arguments.insert(arguments.end(), { "--settings", settings });
        return arguments;
    }

    Print print(const std::string& script, const std::string& settings = "", const std::string& queue = "movra")
    {
        std::vector<std::string> arguments = printDialogCommand(queue, settings);
        arguments.insert(arguments.end(), { "--script", "-" });
        ProgramRun run = runProgram(arguments, withInput(script));
        return { run.exitStatus, run.output, run.errors, printedJobNumber(run.output) };
    }

    TemporaryTree m_store;
};

// Another maker's printer that asks for codes: after Print, the window built from its codes asks
// for them (as the agent's does), and the job goes with each as the printer's driver takes it;
// with codes stored for the queue, it goes with them without a question. The stored entries
// themselves never go with a job, and Cancel in the window prints nothing.
TEST_F(CupsPrintingTest, APrinterThatAsksForCodesGetsThemFromItsWindowAfterPrintOrStored)
{
    Print typed = print("print\ntype UserCode \"13579\"\nclick OK\n", "", "lumio-codes");
    ASSERT_EQ(typed.exitStatus, 0) << typed.errors;
    EXPECT_NE(typed.transcript.find("codes: "), std::string::npos) << typed.transcript;
    EXPECT_EQ((typed.transcript + typed.errors).find("13579"), std::string::npos) << typed.transcript;
    EXPECT_NE(gServer->driverOptions(typed.job).find("UserCode=Custom.13579"), std::string::npos) << gServer->driverOptions(typed.job);

    ProgramRun saved = runProgram({ PRINTDIALOG_PATH, "--configure", "--printer", "lumio-codes", "--server", gServer->socket(), "--settings-dir",
                                      m_store.path("settings"), "--script", "-" },
        withInput("check prompt off\ntype UserCode \"24680\"\nclick Save\n"));
    ASSERT_EQ(saved.exitStatus, 0) << saved.errors;
    Print stored = print("print\n", "", "lumio-codes");
    ASSERT_EQ(stored.exitStatus, 0) << stored.errors;
    std::string options = gServer->driverOptions(stored.job);
    EXPECT_NE(options.find("UserCode=Custom.24680"), std::string::npos) << options;
    EXPECT_EQ(options.find("com.movra.Act.codes"), std::string::npos) << options;

    ASSERT_EQ(runProgram({ PRINTDIALOG_PATH, "--configure", "--printer", "lumio-codes", "--server", gServer->socket(), "--settings-dir",
                             m_store.path("settings"), "--script", "-" },
                  withInput("check prompt on\nclick Save\n"))
                  .exitStatus,
        0);
    Print cancelled = print("print\nclick Cancel\n", "", "lumio-codes");
    EXPECT_EQ(cancelled.exitStatus, 1) << cancelled.errors;
    EXPECT_EQ(cancelled.job, 0) << cancelled.transcript;
}

TEST_F(CupsPrintingTest, DefaultCodesReachTheJobAndTheDriver)
{
    Print result = print("show\ntype 302 \"-2\"\nprint\n", kExamples + "/settings/default-codes.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    ASSERT_GT(result.job, 0) << result.transcript;
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-accounting-user-id"), "alice-2");
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-account-id"), "4711");
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-originating-user-name"), cupsUser()) << "the person's login stays the requesting user";
    std::string options = gServer->driverOptions(result.job);
    EXPECT_NE(options.find("com.movra.Act.trel.On=3"), std::string::npos) << options;
    EXPECT_NE(options.find("com.movra.Act.trel.UID=alice-2"), std::string::npos) << options;
    EXPECT_NE(options.find("com.movra.Act.trel.Prm=0"), std::string::npos) << options;
    EXPECT_EQ(result.transcript.find("4711"), std::string::npos) << "codes never reach the transcript";
}

TEST_F(CupsPrintingTest, PromptedCodesReachTheJob)
{
    Print result = print("show\nchoose 100 3\nclick 200\nprint\ntype 501 \"bob\"\ntype 503 \"77\"\nclick 1000\n");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-accounting-user-id"), "bob");
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-account-id"), "77");
    EXPECT_NE(gServer->driverOptions(result.job).find("com.movra.Act.trel.Prm=1"), std::string::npos);
}

TEST_F(CupsPrintingTest, TalliantAccountingWithAnAccountType)
{
    Print result = print("show\nprint\ntype 501 \"carol\"\nchoose 505 2\ntype 503 \"D-9\"\nclick 1000\n", kExamples + "/settings/talliant-prompt.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-account-id"), "D-9");
    std::string options = gServer->driverOptions(result.job);
    EXPECT_NE(options.find("com.movra.Act.trel.On=2"), std::string::npos) << options;
    EXPECT_NE(options.find("com.movra.Act.trel.AT=2"), std::string::npos) << options;
}

TEST_F(CupsPrintingTest, AccountingOffSendsNoCodesAtAll)
{
    // Stored default codes, and the person turns accounting off: nothing needs the codes.
    Print result = print("show\nchoose 100 1\nprint\n", kExamples + "/settings/default-codes.plist");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-accounting-user-id"), "");
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-account-id"), "");
    std::string options = gServer->driverOptions(result.job);
    EXPECT_NE(options.find("com.movra.Act.trel.On=1"), std::string::npos) << options;
    EXPECT_EQ(options.find("com.movra.Act.trel.UID"), std::string::npos) << options;
    EXPECT_EQ(options.find("com.movra.Act.trel.AID"), std::string::npos) << options;
    std::string all = jobsAsSeenBy(*gServer, "root", result.job);
    std::string seen = all.substr(all.find("Get-Job-Attributes: "));
    EXPECT_EQ(seen.find("alice"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("4711"), std::string::npos) << seen;
}

TEST_F(CupsPrintingTest, AnotherLocalUserReadsNoCodeThroughIPP)
{
    Print result = print("show\nchoose 100 3\nclick 200\nprint\ntype 501 \"uid-SECRET\"\ntype 503 \"aid-SECRET\"\nclick 1000\n");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    ASSERT_NE(gServer->driverOptions(result.job).find("com.movra.Act.trel.UID=uid-SECRET"), std::string::npos) << "the driver still gets them";

    std::string owner = jobsAsSeenBy(*gServer, "root", result.job);
    EXPECT_NE(owner.find("job-accounting-user-id=uid-SECRET"), std::string::npos) << owner;
    EXPECT_NE(owner.find("job-account-id=aid-SECRET"), std::string::npos) << owner;
    EXPECT_NE(owner.find("com.movra.Act.trel.AID=aid-SECRET"), std::string::npos) << owner;

    std::string other = jobsAsSeenBy(*gServer, "nobody", result.job);
    EXPECT_NE(other.find("Get-Jobs: successful-ok\n"), std::string::npos) << other;
    EXPECT_NE(other.find("Get-Job-Attributes: successful-ok\n"), std::string::npos) << other;
    EXPECT_NE(other.find("job-id=" + std::to_string(result.job) + "\n"), std::string::npos) << "the job itself is listed: " << other;
    EXPECT_EQ(other.find("SECRET"), std::string::npos) << other;
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
    EXPECT_NE(fileContents(saved).find("alice-secret"), std::string::npos) << "the settings are saved all the same";
}

TEST_F(CupsPrintingTest, AnotherMakersQueuePrintsWithAccountingOff)
{
    Print result = print("show\nprint\n", kExamples + "/settings/default-codes.plist", "lumio");
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-accounting-user-id"), "");
    EXPECT_EQ(gServer->jobAttribute(result.job, "job-account-id"), "");
    EXPECT_NE(gServer->driverOptions(result.job).find("com.movra.Act.trel.On=1"), std::string::npos) << "the pane stayed inert";
}

TEST_F(CupsPrintingTest, AServerThatStopsMidwayIsOneClearError)
{
    std::string saved = gServer->path("saved.plist");
    std::vector<std::string> arguments = printDialogCommand("movra", kExamples + "/settings/default-codes.plist");
    arguments.insert(arguments.end(), { "--save", saved, "--script", "-" });
    RunningProgram dialog(arguments);
    dialog.type("show\nsummary\n");
    ASSERT_TRUE(dialog.waitForOutput("summary:")) << "the dialog is open";
    gServer->stop();
    dialog.type("print\n");
    ProgramRun run = dialog.finish();
    EXPECT_EQ(run.exitStatus, 2);
    const std::string& errors = run.errors;
    EXPECT_NE(errors.find("movra: the job was not sent: the CUPS server at " + gServer->socket() + " cannot be reached"), std::string::npos) << errors;
    EXPECT_NE(fileContents(saved).find("alice"), std::string::npos) << "the settings are saved all the same";
    // The later tests of this process need a server again.
    delete gServer;
    gServer = new PrivateCupsServer;
    std::string error;
    EXPECT_TRUE(gServer->start({}, &error)) << error;
}

TEST_F(CupsPrintingTest, ADocumentTheServerRefusesLeavesNoJobWithTheCodes)
{
    std::ofstream(gServer->path("large.txt")) << std::string(2 * PrivateCupsServer::kMaxRequestBytes, 'x');
    std::vector<std::string> arguments = printDialogCommand("movra", kExamples + "/settings/default-codes.plist");
    arguments[6] = gServer->path("large.txt");
    arguments.insert(arguments.end(), { "--script", "-" });
    ProgramRun run = runProgram(arguments, withInput("show\ntype 302 \"-large\"\nprint\n"));
    EXPECT_TRUE(endsInOneClearError(run, "movra: the document could not be sent"));
    size_t cancelled = run.errors.find("was cancelled");
    ASSERT_NE(cancelled, std::string::npos) << run.errors;
    int job = atoi(run.errors.c_str() + run.errors.rfind("job ", cancelled) + 4);
    std::string seen = jobsAsSeenBy(*gServer, "root", job);
    EXPECT_NE(seen.find("Get-Job-Attributes: client-error-not-found"), std::string::npos) << "job " << job << " is gone: " << seen;
    EXPECT_EQ(seen.find("alice-large"), std::string::npos) << "no job keeps the codes: " << seen;
}

// The server does what it was asked, and its answer is lost on its way back: a job it made of a
// Create-Job holds the codes, is found and goes; a job whose document it took may print, and stays,
// named for the person to look at.
TEST_F(CupsPrintingTest, AnAnswerLostOnItsWayBackTakesNoJobThatMayPrint)
{
    struct Case {
        ipp_op_t operation;
        std::function<std::string(const std::string& job)> said;
        std::string fate;
    };
    const std::string dropped = "the CUPS server at " + m_store.path("proxy.sock") + " closed the connection before it answered";
    for (const Case& lost : {
             Case { IPP_OP_CREATE_JOB,
                 [&](const std::string& job) { return "movra: the server's answer to the new job was lost (" + dropped + "); job " + job + ", which it had made, was cancelled"; },
                 "" },
             Case { IPP_OP_SEND_DOCUMENT,
                 [&](const std::string& job) {
                     return "movra: the server took the document of job " + job + " but its answer was lost (" + dropped
                         + "): the job may print; check it with lpstat -W all movra-" + job;
                 },
                 "completed" } }) {
        SCOPED_TRACE(ippOpString(lost.operation));
        unlink(m_store.path("proxy.sock").c_str());
        DroppingProxy proxy;
        ASSERT_TRUE(proxy.start(m_store.path("proxy.sock"), gServer->socket(), lost.operation));
        std::vector<std::string> arguments = printDialogCommand("movra", kExamples + "/settings/default-codes.plist");
        arguments[4] = m_store.path("proxy.sock");
        arguments.insert(arguments.end(), { "--script", "-" });
        ProgramRun run = runProgram(arguments, withInput("show\nprint\n"));
        std::smatch named;
        if (!std::regex_search(run.errors, named, std::regex("job ([0-9]+)"))) {
            ADD_FAILURE() << "no job named: " << run.errors;
            continue;
        }
        int job = std::stoi(named[1]);
        std::string said = lost.said(std::to_string(job));
        EXPECT_TRUE(endsInOneClearError(run, said));
        if (lost.fate.empty())
            EXPECT_NE(jobsAsSeenBy(*gServer, "root", job).find("Get-Job-Attributes: client-error-not-found"), std::string::npos) << "job " << job << " is gone";
        else
            EXPECT_TRUE(gServer->awaitJobState(job, lost.fate)) << "job " << job << " printed: " << gServer->jobAttribute(job, "job-state");
    }
}

// A Create-Job lost on its way, its answer with it: the server made no job, and the person's older
// job with the same title and no document (made by an earlier Create-Job that sent none) is not
// the one to cancel.
TEST_F(CupsPrintingTest, ARequestLostBeforeTheServerMadeTheJobCancelsNoOlderJobOfTheSameTitle)
{
    IppMessage request = newIppRequest(IPP_OP_CREATE_JOB);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/printers/movra");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "document.txt");
    http_t* http = httpConnect2(gServer->socket().c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    ASSERT_NE(http, nullptr);
    IppMessage made(cupsDoRequest(http, request.release(), "/printers/movra"));
    ipp_attribute_t* id = ippFindAttribute(made.get(), "job-id", IPP_TAG_INTEGER);
    int older = id ? ippGetInteger(id, 0) : 0;
    httpClose(http);
    ASSERT_GT(older, 0) << cupsLastErrorString();
    std::string state = gServer->jobAttribute(older, "job-state");
    // The server's clock counts in seconds, and a second either side is forgiven.
    sleep(2);
    DroppingProxy proxy;
    ASSERT_TRUE(proxy.start(m_store.path("proxy.sock"), gServer->socket(), IPP_OP_CREATE_JOB, DroppingProxy::Drop::Request));
    std::vector<std::string> arguments = printDialogCommand("movra", kExamples + "/settings/default-codes.plist");
    arguments[4] = m_store.path("proxy.sock");
    arguments.insert(arguments.end(), { "--script", "-" });
    ProgramRun run = runProgram(arguments, withInput("show\nprint\n"));
    EXPECT_TRUE(endsInOneClearError(run, "movra: the server's answer to the new job was lost (the CUPS server at " + m_store.path("proxy.sock") + " closed the connection before it answered); no job of yours it made is there"));
    EXPECT_EQ(gServer->jobAttribute(older, "job-state"), state) << "job " << older << " stays";
    gServer->cancelAllJobs();
}

TEST_F(CupsPrintingTest, AHalfMadeJobThatCannotBeCancelledIsNamed)
{
    ASSERT_TRUE(gServer->addQueue("stubborn", "movra", "stubborn"));
    std::ofstream(gServer->path("large.txt")) << std::string(2 * PrivateCupsServer::kMaxRequestBytes, 'x');
    std::vector<std::string> arguments = printDialogCommand("stubborn", kExamples + "/settings/default-codes.plist");
    arguments[6] = gServer->path("large.txt");
    arguments.insert(arguments.end(), { "--script", "-" });
    // A user who is not the server's administrator, as on a shared server, with a folder for
    // the queue settings.
    ProgramOptions asNobody = withInput("show\nprint\n");
    asNobody.user = "nobody";
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(chown(m_store.root().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ProgramRun run = runProgram(arguments, asNobody);
    const std::string advice = "cancel it with \"cancel stubborn-";
    size_t named = run.errors.find(advice);
    ASSERT_NE(named, std::string::npos) << run.errors;
    int job = atoi(run.errors.c_str() + named + advice.size());
    EXPECT_TRUE(endsInOneClearError(run, "stubborn: the document could not be sent"));
    EXPECT_NE(run.errors.find("job " + std::to_string(job) + ", which holds the codes, could not be cancelled"), std::string::npos) << run.errors;
    EXPECT_NE(jobsAsSeenBy(*gServer, "root", job).find("Get-Job-Attributes: successful-ok"), std::string::npos) << "the job named is the one left";
}

TEST_F(CupsPrintingTest, AQueueRemovedBeforePrintIsOneClearError)
{
    ASSERT_TRUE(gServer->addQueue("fleeting"));
    std::vector<std::string> arguments = printDialogCommand("fleeting", kExamples + "/settings/default-codes.plist");
    arguments.insert(arguments.end(), { "--script", "-" });
    RunningProgram dialog(arguments);
    dialog.type("show\nsummary\n");
    ASSERT_TRUE(dialog.waitForOutput("summary:"));
    ASSERT_TRUE(gServer->removeQueue("fleeting"));
    dialog.type("print\n");
    EXPECT_TRUE(endsInOneClearError(dialog.finish(),
        "fleeting: the job was not accepted: there is no such queue at the CUPS server at " + gServer->socket() + " any more"));
}

TEST_F(CupsPrintingTest, AMissingSocketIsOneClearError)
{
    ProgramRun run = runProgram({ PRINTDIALOG_PATH, "--printer", "movra", "--server", "/nonexistent.sock", "--file", gServer->path("document.txt"),
        "--script", "-" });
    EXPECT_TRUE(endsInOneClearError(run, "movra: cannot get the printer's PPD: the CUPS server at /nonexistent.sock cannot be reached: there is no such socket"));
}

TEST_F(CupsPrintingTest, AnOverlongQueueNameIsOneClearError)
{
    std::vector<std::string> arguments = printDialogCommand(std::string(100000, 'q'));
    arguments.insert(arguments.end(), { "--script", "-" });
    ProgramRun run = runProgram(arguments);
    EXPECT_TRUE(endsInOneClearError(run, "--printer: a CUPS queue name has at most 127 bytes, and this one has 100000"));
    EXPECT_EQ(run.errors.find("qqqqqqqq"), std::string::npos) << "the name is not repeated";
}

TEST_F(CupsPrintingTest, CtrlCLeavesNoCopyOfThePPDBehind)
{
    auto temporaryPPDs = [] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator("/tmp")) {
            std::string name = entry.path().filename();
            if (name.rfind("printdialog-", 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".ppd") == 0)
                names.insert(name);
        }
        return names;
    };
    std::set<std::string> before = temporaryPPDs();
    std::vector<std::string> arguments = printDialogCommand("movra");
    arguments.insert(arguments.end(), { "--script", "-" });
    RunningProgram dialog(arguments);
    dialog.type("show\nsummary\n");
    ASSERT_TRUE(dialog.waitForOutput("summary:")) << "the PPD is in use";
    dialog.sendSignal(SIGINT);
    EXPECT_EQ(dialog.finish().signal, SIGINT);
    EXPECT_EQ(temporaryPPDs(), before);
}

TEST_F(CupsPrintingTest, AnAdministratorListsTheCodesAQueueAsksFor)
{
    auto list = [](const std::string& queue) { return runProgram({ PRINTDIALOG_PATH, "--list-codes", "--printer", queue, "--server", gServer->socket() }); };
    ProgramRun movra = list("movra");
    EXPECT_EQ(movra.exitStatus, 0) << movra.errors;
    EXPECT_EQ(movra.output,
        "com.movra.Act.trel.UID\tcharacters\t1-79\t-\tUser ID\ncom.movra.Act.trel.AID\tcharacters\t1-79\t-\tAccount ID\n"
            + guidePrivacyLines())
        << "the administrators' guide's lines of privacy";
    ProgramRun lumio = list("lumio");
    EXPECT_EQ(lumio.exitStatus, 0) << lumio.errors;
    EXPECT_EQ(lumio.output, "") << "another maker's printer that asks for no code, whatever the server says of its own attributes";
    EXPECT_TRUE(endsInOneClearError(list("nosuch"), "nosuch: cannot get the printer's PPD: there is no such queue, or none with a PPD"));
}

TEST_F(CupsPrintingTest, AMissingQueueIsOneClearError)
{
    std::vector<std::string> arguments = printDialogCommand("nosuch");
    arguments.insert(arguments.end(), { "--script", "-" });
    EXPECT_TRUE(endsInOneClearError(runProgram(arguments), "nosuch: cannot get the printer's PPD: there is no such queue, or none with a PPD"));
}

// A driverless queue that holds every job, for a printer that asks for codes with every job
// (CodePrinter): what CUPS itself does with the codes of a held job as it is released, which a
// release of such jobs relies on.
class CodeAskingPrinterTest : public CupsPrintingTest {
protected:
    void SetUp() override
    {
        CupsPrintingTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!CodePrinter::installed())
            GTEST_SKIP() << kNoCodePrinter;
        std::string error;
        ASSERT_TRUE(m_printer.start(&error)) << error;
        ASSERT_TRUE(gServer->addDriverlessQueue("asks-codes", m_printer.uri(), PrivateCupsServer::JobHold::Indefinite))
            << fileContents(gServer->path("log/error_log"));
    }

    // A job of the test's own user named name, with lp's arguments, once the queue holds it.
    int heldJob(const std::string& name, std::vector<std::string> arguments = {})
    {
        arguments.insert(arguments.end(), { "-t", name });
        int job = submitWithLp(gServer->socket(), "asks-codes", m_printer.page(), arguments);
        EXPECT_TRUE(job > 0 && gServer->awaitJobState(job, "pending-held")) << name << ": " << job;
        return job;
    }

    // One Set-Job-Attributes with what add puts in, that also releases the job
    // (job-hold-until=no-hold), as the agent releases a job; the server's answer.
    static ipp_status_t setAndRelease(int job, const std::function<void(ipp_t*)>& add)
    {
        http_t* http = httpConnect2(gServer->socket().c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
        if (!http)
            return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
        IppMessage request = newIppRequest(IPP_OP_SET_JOB_ATTRIBUTES);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, ("ipp://localhost/jobs/" + std::to_string(job)).c_str());
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        add(request.get());
        ippAddString(request.get(), IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr, "no-hold");
        IppMessage answer(cupsDoRequest(http, request.release(), "/jobs"));
        httpClose(http);
        return cupsLastError();
    }

    CodePrinter m_printer;
};

// The codes (job-account-id, job-accounting-user-id) reach the printer however they are given:
// as the job is made or set on the held job. The PIN (job-password) reaches it when given as the
// job is made, or set on the held job among the request's job attributes. Set among its
// operation attributes, cupsd answers successful-ok and drops it; cupsEncodeOptions2 (lp -i, the
// agent's options) leaves it out of a request's job attributes, and the server again answers
// successful-ok: either way the job prints without the PIN. So a release with a PIN puts it in
// itself, an octetString among the job attributes of the request that releases the job; nothing
// can check it afterwards, since cupsd shows job-password to nobody, not even the job's owner.
// A job without a user ID reaches the printer with its owner's login as one (the ipp backend
// fills it in).
TEST_F(CodeAskingPrinterTest, ReleasedHeldJobsCarryTheirCodesToThePrinter)
{
    const std::string socket = gServer->socket();
    int atCreation = heldJob("at-creation", { "-o", "job-account-id=A1", "-o", "job-accounting-user-id=U1", "-o", "job-password=1111" });
    EXPECT_TRUE(changeWithLp(socket, atCreation, { "-H", "resume" }));

    int withLp = heldJob("with-lp");
    EXPECT_TRUE(changeWithLp(socket, withLp, { "-o", "job-account-id=A2", "-o", "job-accounting-user-id=U2", "-o", "job-password=2222" }));
    EXPECT_TRUE(changeWithLp(socket, withLp, { "-H", "resume" }));

    EXPECT_EQ(setAndRelease(heldJob("as-options"),
                  [](ipp_t* request) {
                      cups_option_t* options = nullptr;
                      int count = cupsAddOption("job-account-id", "A3", 0, &options);
                      count = cupsAddOption("job-accounting-user-id", "U3", count, &options);
                      count = cupsAddOption("job-password", "3333", count, &options);
                      cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
                      cupsFreeOptions(count, options);
                      EXPECT_EQ(ippFindAttribute(request, "job-password", IPP_TAG_ZERO), nullptr);
                  }),
        IPP_STATUS_OK);
    auto withPassword = [](ipp_tag_t group, const char* password) {
        return [=](ipp_t* request) {
            ippAddOctetString(request, group, "job-password", password, static_cast<int>(strlen(password)));
            ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, "job-account-id", nullptr, "A4");
        };
    };
    EXPECT_EQ(setAndRelease(heldJob("in-operation"), withPassword(IPP_TAG_OPERATION, "4444")), IPP_STATUS_OK);
    EXPECT_EQ(setAndRelease(heldJob("in-job"), withPassword(IPP_TAG_JOB, "5555")), IPP_STATUS_OK);

    std::map<std::string, CodePrinter::ReceivedJob> received;
    for (const CodePrinter::ReceivedJob& job : m_printer.awaitJobs(5))
        received[job.attribute("job-name")] = job;
    ASSERT_EQ(received.size(), 5u) << m_printer.log();
    for (const auto& [name, job] : received) {
        EXPECT_TRUE(job.printed) << name;
        EXPECT_EQ(job.attribute("requesting-user-name"), cupsUser()) << name;
    }
    auto codes = [&](const char* name) {
        const CodePrinter::ReceivedJob& job = received[name];
        return job.attribute("job-account-id") + " " + job.attribute("job-accounting-user-id") + " " + job.attribute("job-password");
    };
    EXPECT_EQ(codes("at-creation"), "A1 U1 1111");
    EXPECT_EQ(codes("with-lp"), "A2 U2 ");
    EXPECT_EQ(codes("as-options"), "A3 U3 ");
    EXPECT_EQ(codes("in-operation"), "A4 " + std::string(cupsUser()) + " ");
    EXPECT_EQ(codes("in-job"), "A4 " + std::string(cupsUser()) + " 5555");
}

// The agent releases a job from lp with the account, the user ID and the PIN typed into the window
// it builds from what the printer asks for, and the printer receives all three, the PIN too.
TEST_F(CodeAskingPrinterTest, TheAgentReleasesAJobWithTheAccountAndThePinTypedAndThePrinterReceivesThem)
{
    int job = heldJob("typed");
    ProgramOptions options = withInput("type job-account-id \"sales-7\"\ntype job-accounting-user-id \"alice\"\ntype job-password \"2468\"\nclick OK\n");
    options.environment = { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", m_store.root() } };
    ProgramRun run = runProgram({ AGENT_PATH, "--once", "--server", gServer->socket(), "--settings-dir", m_store.path("settings"), "--script", "-" }, options);
    EXPECT_NE(run.output.find("job " + std::to_string(job) + " asks-codes: released"), std::string::npos) << run.output << run.errors;
    for (const char* code : { "sales-7", "2468" })
        EXPECT_EQ((run.output + run.errors).find(code), std::string::npos) << code << " in " << run.output << run.errors;
    // The printer may still be taking jobs of the test before, which the queue had not sent it yet.
    std::vector<CodePrinter::ReceivedJob> received;
    auto isTyped = [](const CodePrinter::ReceivedJob& printed) { return printed.printed && printed.attribute("job-name") == "typed"; };
    for (size_t count = 1; count <= 8 && std::none_of(received.begin(), received.end(), isTyped); ++count)
        received = m_printer.awaitJobs(count);
    auto typed = std::find_if(received.begin(), received.end(), isTyped);
    ASSERT_NE(typed, received.end()) << m_printer.log();
    EXPECT_EQ(typed->attribute("job-account-id") + " " + typed->attribute("job-accounting-user-id") + " " + typed->attribute("job-password"),
        "sales-7 alice 2468");
}

// Under the administrators' guide's policy another local user reads none of a held job's codes over
// IPP; its owner reads the codes, and nobody the PIN, which cupsd never shows.
TEST_F(CodeAskingPrinterTest, AnotherLocalUserReadsNoCodeOfAHeldJob)
{
    int job = heldJob("secret", { "-o", "job-account-id=aid-SECRET", "-o", "job-accounting-user-id=uid-SECRET", "-o", "job-password=7357" });
    std::string owner = jobsAsSeenBy(*gServer, "root", job);
    EXPECT_NE(owner.find("job-account-id=aid-SECRET\n"), std::string::npos) << owner;
    EXPECT_NE(owner.find("job-accounting-user-id=uid-SECRET\n"), std::string::npos) << owner;
    EXPECT_EQ(owner.find("7357"), std::string::npos) << owner;
    std::string other = jobsAsSeenBy(*gServer, "nobody", job);
    EXPECT_NE(other.find("job-id=" + std::to_string(job) + "\n"), std::string::npos) << other;
    EXPECT_EQ(other.find("SECRET"), std::string::npos) << other;
    EXPECT_EQ(other.find("7357"), std::string::npos) << other;
}

// Held jobs with a code of every family a printer asks for, each under its option's name (each
// digit of HP's, Toshiba's and Oce's, each spelling of Kyocera's, and an option a vendor names its
// PIN as it likes), and the accounting attributes: the guide's lines of privacy in Debian's own
// policy, and the guide's whole policy, keep them all out of what another local user reads of the
// jobs over IPP, whether proving who they are or giving the owner's name without proof, over the
// socket or TCP, and out of the events of the user's own subscription, while the owner reads them.
// The PIN given as a job is made (job-password) is shown to nobody, not even the job's owner.
TEST(GuidePrivacyLines, AnotherLocalUserReadsNoCodeOfAnyPrintersJob)
{
    if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0)
        GTEST_SKIP() << kNoPrivateCupsServer;
    using Codes = std::vector<std::pair<std::string, std::string>>;
    // lp keeps one of two options whose names differ in case alone: Kyocera's third spelling
    // goes in a job of its own, as a PPD has one of them.
    const std::vector<Codes> jobs = {
        { { "UserCode", "Custom.13579" }, { "Password", "Custom.1357" }, { "LockedPrintPassword", "Custom.2468" },
            { "DocServerPassword", "Custom.3579" }, { "StoredPrintPassword", "Custom.4680" }, { "JobPassword", "Custom.5791" },
            { "FolderPassword", "Custom.6802" }, { "JCLJACPassword", "Custom.jac-7913" }, { "JCLCDPPassword", "Custom.8024" },
            { "PIN", "Custom.9135" }, { "HPUserAccessCode", "Custom.24680" }, { "HPFIDigit", "7" }, { "HPSEDigit", "3" }, { "HPTHDigit", "0" },
            { "HPFTDigit", "9" }, { "KmManagment", "MG00000001" }, { "KMManagement", "MG00000002" }, { "BRJobPIN", "HoldKey1" },
            { "job-account-id", "acct9" }, { "job-accounting-user-id", "user9" }, { "SecurePIN", "Custom.9753" },
            { "JCLJACUserID", "Custom.jacu-31" }, { "JCLCDPUserID", "Custom.cdpu-42" }, { "HPDigit", "Custom.4826" }, { "DCDigit1", "4" },
            { "DCDigit2", "2" }, { "DCDigit3", "6" }, { "DCDigit4", "1" }, { "DCDigit5", "3" }, { "DINDigit1", "1" }, { "DINDigit2", "3" },
            { "DINDigit3", "5" }, { "DINDigit4", "7" }, { "DINDigit5", "9" }, { "JCLMJOBMANAGERCODE", "0086" }, { "BRJobHoldKey", "HoldKey2" } },
        { { "KmManagement", "MG00000003" } },
    };
    const std::string pin = "86420975";
    for (PrivateCupsServer::JobOwners owners : { PrivateCupsServer::JobOwners::NamedInTheRequest, PrivateCupsServer::JobOwners::Authenticated }) {
        SCOPED_TRACE(owners == PrivateCupsServer::JobOwners::Authenticated ? "the guide's policy" : "Debian's policy with the guide's lines");
        PrivateCupsServer::Setup setup;
        setup.owners = owners;
        const std::string address = "127.0.0.1:" + std::to_string(TestNetwork::freeLoopbackPort());
        setup.listen = address;
        PrivateCupsServer server;
        std::string error;
        ASSERT_TRUE(server.start(setup, &error)) << error;
        ASSERT_TRUE(server.addQueue("held", "", "", PrivateCupsServer::JobHold::Indefinite));
        int subscription = subscribedAs(server, "nobody", "held");
        ASSERT_GT(subscription, 0);
        for (const Codes& codes : jobs) {
            std::vector<std::string> arguments = { "-o", "job-password=" + pin, "-o", "HPPinPrnt=True" };
            for (const auto& [name, value] : codes)
                arguments.insert(arguments.end(), { "-o", name + "=" + value });
            int job = submitWithLp(server.socket(), "held", server.path("document.txt"), arguments);
            ASSERT_GT(job, 0);
            ASSERT_TRUE(server.awaitJobState(job, "pending-held")) << server.jobAttribute(job, "job-state");
            std::string owner = jobsAsSeenBy(server, "root", job);
            std::string other = jobsAsSeenBy(server, "nobody", job);
            EXPECT_NE(other.find("job-id=" + std::to_string(job) + "\n"), std::string::npos) << "the job itself is listed: " << other;
            std::string naming = jobsReadByNaming(server.socket(), "nobody", "root", job) + jobsReadByNaming(address, "nobody", "root", job);
            EXPECT_EQ(naming.find("successful-ok"), std::string::npos) << "a name proves nothing: " << naming;
            for (const auto& [name, value] : codes) {
                EXPECT_NE(owner.find("\n" + name + "=" + value + "\n"), std::string::npos) << "its owner reads " << name << ": " << owner;
                EXPECT_EQ(other.find("\n" + name + "="), std::string::npos) << other;
                EXPECT_EQ(naming.find("\n" + name + "="), std::string::npos) << naming;
            }
            EXPECT_EQ(owner.find(pin), std::string::npos) << owner;
            EXPECT_EQ(other.find(pin), std::string::npos) << other;
        }
        std::string events = notificationsSeenBy(server, "nobody", subscription);
        EXPECT_NE(events.find("notify-job-id="), std::string::npos) << "the events of every job are there: " << events;
        // A single digit is found anywhere; every other code is a word of its own.
        for (const Codes& codes : jobs) {
            for (const auto& [name, value] : codes) {
                if (std::string secret = value.substr(value.find('.') + 1); secret.size() > 1) {
                    EXPECT_EQ(events.find(secret), std::string::npos) << name << " in " << events;
                }
            }
        }
    }
}

// The packages the administrators' guide has an administrator install, read from the guide itself:
// the words after "apt-get install" in its section on a queue that holds jobs.
std::vector<std::string> guidePackages()
{
    std::vector<std::string> packages;
    for (const std::string& block : guideBlocks(kAdministratorsGuide, "## A queue that holds jobs for the agent")) {
        std::istringstream words(block.rfind("apt-get install ", 0) == 0 ? block.substr(16) : "");
        for (std::string word; words >> word;)
            packages.push_back(word);
    }
    return packages;
}

// Whether the example PPD's queue prints a text document through the filters of packages.
bool examplePrintsWith(const std::vector<std::string>& packages, std::string* why)
{
    PrivateCupsServer::Setup setup;
    setup.filterPackages = packages;
    PrivateCupsServer server;
    if (!server.start(setup, why))
        return false;
    int job = submitWithLp(server.socket(), "movra-plain", server.path("document.txt"));
    bool printed = job > 0 && server.awaitJobState(job, "completed");
    *why = job > 0 ? "job " + std::to_string(job) + ": " + server.jobAttribute(job, "job-state") + ", " + server.jobAttribute(job, "job-printer-state-message")
                   : "lp refused it";
    return printed;
}

TEST(ServerPackages, TheGuidesPackagesPrintTheExamplePPDsJobsWhereCupsAloneCannot)
{
    if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0)
        GTEST_SKIP() << kNoPrivateCupsServer;
    std::vector<std::string> packages = guidePackages();
    ASSERT_FALSE(packages.empty()) << "the administrators' guide names the packages to install";
    std::string why;
    EXPECT_TRUE(examplePrintsWith(packages, &why)) << why;
    EXPECT_FALSE(examplePrintsWith({ "cups-daemon" }, &why)) << "the scheduler alone has no filter for it: " << why;
}

// cupsd.conf with lines the administrators' guide gives put in as it says: a section (<Policy
// default>, <Location />) in place of Debian's of the same name, Port in place of Debian's Listen
// localhost:631, any other line added. Undone, Debian's are back and the others gone, as its "To
// undo it" says.
std::string withGuideLines(std::string configuration, const std::string& lines, bool undo)
{
    const std::string debian = fileContents(PrivateCupsServer::kDebianConfiguration);
    std::istringstream text(lines);
    for (std::string line; std::getline(text, line);) {
        std::string guide = line + "\n";
        std::string theirs;
        if (line.rfind("<", 0) == 0) {
            for (std::string more; guide.find("\n</") == std::string::npos && std::getline(text, more);)
                guide += more + "\n";
            size_t start = debian.find("\n" + line + "\n");
            size_t end = start == std::string::npos ? start : debian.find("\n</", start + 1);
            if (end != std::string::npos)
                theirs = debian.substr(start + 1, debian.find('\n', end + 1) - start);
        } else if (line.rfind("Port ", 0) == 0) {
            theirs = "Listen localhost:631\n";
        }
        const std::string& from = undo ? guide : theirs;
        size_t at = from.empty() ? configuration.size() : configuration.find(from);
        if (at == std::string::npos)
            ADD_FAILURE() << "cupsd.conf has no " << from;
        else
            configuration.replace(at, from.size(), undo ? theirs : guide);
    }
    return configuration;
}

// The administrators' guide on a fresh server as Debian installs it, a private one in
// a network of its own: every command run as written and every cupsd.conf block put where it
// says, up to a central server for the office's desktops, then its "To undo it". What must differ
// on a private server is said where it does.
TEST(AdministratorsGuide, TakesAFreshServerToOneThatHoldsEveryJobAndPutsItBack)
{
    if (geteuid() != 0 || access("/usr/sbin/cupsd", X_OK) != 0)
        GTEST_SKIP() << kNoPrivateCupsServer;
    std::string error;
    TestNetwork network;
    ASSERT_TRUE(network.create(&error)) << error;
    PrivateCupsServer::Setup setup;
    setup.asDebianInstallsIt = true;
    setup.network = network.serverSide();
    // apt-get install is not run: the packages are installed here (ServerPackages checks that
    // they print the example PPD's jobs), and the server gets their filters.
    setup.filterPackages = guidePackages();
    PrivateCupsServer server;
    ASSERT_TRUE(server.start(setup, &error)) << error;
    std::string configuration = fileContents(server.path("cupsd.conf"));

    // The printer is a file of the server's, and the example PPD the checkout's.
    std::vector<std::string> steps = guideBlocks(kAdministratorsGuide, "## A queue that holds jobs for the agent",
        { { "ipp://PRINTER/ipp/print", "file://" + server.path("out/movra.out") }, { "/usr/share/doc/accounting-pane/examples/", EXAMPLES_DIR "/" } });
    // The desktops know the server by its address (the test has no DNS), on the test's network.
    std::vector<std::string> central = guideBlocks(kAdministratorsGuide, "## A central server for the office's desktops",
        { { "print.example.com", TestNetwork::kServerAddress }, { "192.168.10.0/24", "192.0.2.0/24" } });
    ASSERT_EQ(central.size(), 3u) << "cupsd.conf's lines, client.conf's line and the commands that undo them";
    // As root on the server: lpadmin finds the private server through CUPS_SERVER instead of
    // /run/cups/cups.sock, and "systemctl restart cups" is its restart.
    auto runAsWritten = [&](const std::string& commands) {
        std::istringstream lines(commands);
        for (std::string line; std::getline(lines, line);) {
            if (line == "systemctl restart cups") {
                EXPECT_TRUE(server.restart(&error)) << error;
                continue;
            }
            ProgramOptions options;
            options.environment = { { "CUPS_SERVER", server.socket() } };
            ProgramRun run = runProgram({ "/bin/sh", "-c", line }, options);
            EXPECT_EQ(run.exitStatus, 0) << line << ": " << run.errors;
        }
    };
    // A desktop on the office's network, its /etc/cups (CUPS_SERVERROOT) holding the guide's
    // client.conf.
    TemporaryTree desktop;
    desktop.addFile("client.conf", central[1]);
    auto desktopReachesMovra = [&] {
        ProgramOptions options;
        options.environment = { { "CUPS_SERVERROOT", desktop.root() }, { "HOME", desktop.root() }, { "CUPS_SERVER", "" } };
        return runProgram({ "/usr/bin/nsenter", "--net=/run/netns/" + network.clientSide(), "--", "/usr/bin/lpstat", "-v", "movra" }, options)
                   .output.find("device for movra: ")
            != std::string::npos;
    };
    auto lp = [&](const std::vector<std::string>& arguments, const std::string& user = "") {
        return submitWithLp(server.socket(), "movra", server.path("document.txt"), arguments, user);
    };

    for (const std::string& step : steps) {
        if (step.rfind("<", 0) == 0)
            configuration = withGuideLines(configuration, step, false);
        else if (step.rfind("apt-get install ", 0) != 0)
            runAsWritten(step);
    }
    configuration = withGuideLines(configuration, central[0], false);
    std::ofstream(server.path("cupsd.conf")) << configuration;
    runAsWritten("systemctl restart cups");
    EXPECT_TRUE(desktopReachesMovra());
    int held = lp({ "-o", "job-account-id=aid-SECRET" });
    ASSERT_GT(held, 0);
    EXPECT_TRUE(server.awaitJobState(held, "pending-held")) << server.jobAttribute(held, "job-state");
    EXPECT_EQ(server.jobAttribute(held, "job-hold-until"), "indefinite");
    EXPECT_EQ(server.jobAttribute(held, "job-account-id"), "aid-SECRET") << "its owner sees its codes";
    EXPECT_EQ(lp({ "-U", "root" }, "nobody"), 0) << "another local user cannot print in root's name";
    std::string other = jobsAsSeenBy(server, "nobody", held);
    EXPECT_NE(other.find("job-id=" + std::to_string(held) + "\n"), std::string::npos) << other;
    EXPECT_EQ(other.find("SECRET"), std::string::npos) << "another user does not see the job's codes: " << other;

    // cupsd.conf's lines first, as the guide says, then its commands.
    configuration = withGuideLines(configuration, central[0], true);
    for (const std::string& step : steps) {
        if (step.rfind("<", 0) == 0)
            configuration = withGuideLines(configuration, step, true);
    }
    std::ofstream(server.path("cupsd.conf")) << configuration;
    runAsWritten(central[2]);
    EXPECT_FALSE(desktopReachesMovra()) << "the server listens on localhost alone again";
    int printed = lp({});
    ASSERT_GT(printed, 0);
    EXPECT_TRUE(server.awaitJobState(printed, "completed")) << server.jobAttribute(printed, "job-printer-state-message");
    EXPECT_GT(lp({ "-U", "root" }, "nobody"), 0) << "Debian's policy takes another user's job in root's name again";
}

}
