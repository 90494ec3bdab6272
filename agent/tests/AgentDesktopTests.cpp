// accounting-agent on a person's desktop, as the session starts it, against a private CUPS server
// with queues that hold every new job: on X11 (Xvfb, bare or under a window manager) and on
// Wayland (weston's desktop shell), a held job's prompt comes up as a window of the desktop's,
// titled with the document and the queue, and the codes typed into it with the desktop's keys and
// its OK clicked with the desktop's pointer release the job with those codes, also once the agent
// has taken codes from the desktop's keyring. The codes window and the password window come up as
// dialogs on a desktop that tiles (sway), and every key typed into them arrives. On a compositor
// without a seat the prompt comes up all the same. A session whose Qt cannot put a window on screen
// keeps its agent: the jobs that need the prompt stay held, and the others go on. The codes window
// of a printer that asks for codes of its own hands the codes typed into it back to the agent, and
// closes when the agent stops.
#include "agent/tests/AgentSessionTest.h"
#include "agent/CodesWindowProcess.h"
#include "tests/support/EnvironmentChanges.h"
#include "queues/keyring/tests/PrivateSecretService.h"
#include "program/ProcessGuards.h"
#include "tests/support/RunningProgram.h"
#include "tests/cups/TestNetwork.h"
#include "tests/display/SwayDesktop.h"
#include "tests/display/WestonDesktop.h"
#include "tests/display/XvfbDesktop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Where the prompt's controls lie in its window, below the line naming the job (one line for the
// tests' documents), as its dump gives their bounds (top, left, bottom, right): the User ID
// 84,128,106,340, the Account ID 118,128,140,340 and OK 160,260,180,340.
struct Point {
    int x;
    int y;
};
constexpr Point kUserIDField { 234, 95 };
constexpr Point kAccountIDField { 234, 129 };
constexpr Point kOKButton { 300, 170 };

enum class Desktop {
    X11,
    X11WithWindowManager,
    Wayland,
    WaylandTiling,
};

const char* nameOf(Desktop desktop)
{
    return desktop == Desktop::X11                 ? "X11"
        : desktop == Desktop::X11WithWindowManager ? "X11WithWindowManager"
        : desktop == Desktop::Wayland              ? "Wayland"
                                                   : "WaylandTiling";
}

// The case as the test's messages name it.
void PrintTo(Desktop desktop, std::ostream* out)
{
    *out << nameOf(desktop);
}

std::unique_ptr<TestDesktop> makeDesktop(Desktop desktop)
{
    if (desktop == Desktop::X11)
        return std::make_unique<XvfbDesktop>();
    if (desktop == Desktop::X11WithWindowManager)
        return std::make_unique<XvfbDesktop>(XvfbDesktop::WindowManager::Openbox);
    if (desktop == Desktop::WaylandTiling)
        return std::make_unique<SwayDesktop>();
    return std::make_unique<WestonDesktop>();
}

// Why the desktop cannot be had on this machine; empty when it can. sway is the one desktop that
// CI's packages bring (scripts/setup) and a developer's machine may lack.
std::string unavailable(Desktop desktop)
{
    return desktop == Desktop::WaylandTiling ? SwayDesktop::unavailable() : "";
}

// The suites' server: queues that hold every new job, among them a second Movra one whose stored
// settings need no prompt.
class StoredQueueSessionTest : public AgentSessionTest {
protected:
    static void SetUpTestSuite()
    {
        startHoldingServer(PrivateCupsServer::JobOwners::Authenticated);
        addHoldingQueue("movra-stored");
        addHoldingQueue("lumio-codes-hold", "lumio-codes");
    }
};

class AgentOnDesktop : public StoredQueueSessionTest, public ::testing::WithParamInterface<Desktop> {
protected:
    void SetUp() override
    {
        StoredQueueSessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (std::string why = unavailable(GetParam()); !why.empty())
            GTEST_SKIP() << why;
        m_desktop = makeDesktop(GetParam());
        std::string error;
        ASSERT_TRUE(m_desktop->start(&error)) << error;
    }

    // The agent's session on the desktop.
    ProgramOptions onDesktop() const
    {
        ProgramOptions options = session();
        for (const auto& variable : m_desktop->session())
            options.environment.push_back(variable);
        return options;
    }

    // A person clicking at a point of a window's content.
    bool clickIn(const ShownWindow& window, Point point, std::string* error) const
    {
        return m_desktop->click(window.x + point.x, window.y + point.y, error);
    }

    // The prompt of the document's job as it comes up; none, with the test failed and the agent
    // stopped, when it does not.
    std::optional<ShownWindow> waitForPrompt(RunningProgram& agent, const std::string& document) const
    {
        std::optional<ShownWindow> prompt = m_desktop->waitForWindow(document, 8s);
        if (!prompt) {
            agent.sendSignal(SIGTERM);
            ADD_FAILURE() << "no prompt among " << m_desktop->describeWindows() << "; " << screen("no-prompt") << "\n"
                          << agent.finish().errors << "\nthe display server:\n"
                          << m_desktop->serverLog();
        }
        return prompt;
    }

    // The person types codes into the prompt with the desktop's keys and clicks its OK with the
    // desktop's pointer; the agent's run once it has written the line that ends the job.
    ProgramRun answer(RunningProgram& agent, const ShownWindow& prompt, const std::string& endLine) const
    {
        std::string error;
        bool answered = clickIn(prompt, kUserIDField, &error) && m_desktop->type("dana-SECRET", &error) && clickIn(prompt, kAccountIDField, &error)
            && m_desktop->type("K-17-SECRET", &error) && clickIn(prompt, kOKButton, &error);
        EXPECT_TRUE(answered) << error;
        bool ended = agent.waitForOutput(endLine);
        std::string shown;
        if (!ended) {
            shown = screen("not-released");
            agent.sendSignal(SIGTERM);
        }
        ProgramRun run = checked(agent.finish());
        EXPECT_TRUE(ended) << shown << "\n"
                           << run.output << run.errors;
        return run;
    }

    // Whether the agent's lock in the session's runtime folder can be taken within wait: no
    // process of an agent that has ended still holds it.
    bool lockFreedWithin(std::chrono::milliseconds wait) const
    {
        // The desktop's runtime folder, where it has one (weston's), is the session's.
        std::string runtime;
        for (const auto& [name, value] : onDesktop().environment) {
            if (name == "XDG_RUNTIME_DIR")
                runtime = value;
        }
        std::string lock;
        for (const auto& entry : std::filesystem::directory_iterator(runtime)) {
            if (entry.path().filename().string().rfind("accounting-agent", 0) == 0)
                lock = entry.path();
        }
        int file = open(lock.c_str(), O_RDWR | O_CLOEXEC);
        bool taken = false;
        for (auto end = std::chrono::steady_clock::now() + wait; file >= 0 && !taken && std::chrono::steady_clock::now() < end;) {
            taken = flock(file, LOCK_EX | LOCK_NB) == 0;
            if (!taken)
                std::this_thread::sleep_for(10ms);
        }
        if (file >= 0)
            close(file);
        return taken;
    }

    // What the screen showed, for a failure's message.
    std::string screen(const std::string& name) const
    {
        std::string path = ::testing::TempDir() + "AgentOnDesktop-" + name + ".png";
        std::string error;
        return m_desktop->picture(path, &error) ? "the screen then: " + path : "no picture of the screen: " + error;
    }

    std::unique_ptr<TestDesktop> m_desktop;
};

// sway's headless backend has no pointer to click the prompt's fields and its OK with.
constexpr const char* kNoPointer = "nobody can click on sway's headless backend";

TEST_P(AgentOnDesktop, ThePromptComesUpOnTheDesktopAndTheCodesTypedIntoItReleaseTheJob)
{
    if (GetParam() == Desktop::WaylandTiling)
        GTEST_SKIP() << kNoPointer;
    int job = lp("movra-hold", { "-t", "Quarterly report.pdf" });
    ASSERT_GT(job, 0);
    // An agent killed with the prompt up (the OOM killer, a crash) takes its prompt with it: the
    // agent started again finds its lock free at once, and brings the prompt back.
    {
        RunningProgram killed(agentCommand({}), onDesktop());
        ASSERT_TRUE(waitForPrompt(killed, "Quarterly report.pdf"));
        killed.sendSignal(SIGKILL);
        EXPECT_TRUE(lockFreedWithin(1s)) << "the killed agent's prompt keeps its lock";
    }
    RunningProgram agent(agentCommand({ "--once" }), onDesktop());
    std::optional<ShownWindow> prompt = waitForPrompt(agent, "Quarterly report.pdf");
    ASSERT_TRUE(prompt);
    EXPECT_EQ(prompt->title, "Accounting \u2014 Quarterly report.pdf \u2014 movra-hold") << "the person can tell which print asks";
    std::string line = prefix(job, "movra-hold");
    ProgramRun run = answer(agent, *prompt, line + "released\n");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, line + "prompt: Accounting\n" + line + "released\n");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "dana-SECRET");
    EXPECT_EQ(gServer->jobAttribute(job, "job-account-id"), "K-17-SECRET");
}

TEST_P(AgentOnDesktop, AfterAJobReleasedWithCodesFromTheKeyringTheNextPromptStillComesUp)
{
    if (GetParam() == Desktop::WaylandTiling)
        GTEST_SKIP() << kNoPointer;
    // The agent talks to the keyring (GLib's threads start in it) before its prompt's process is
    // made from it.
    if (std::string why = PrivateSecretService::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    PrivateSecretService keyring(m_home);
    std::string error;
    ASSERT_TRUE(keyring.startBus(&error) && keyring.startKeyring(&error)) << error;
    configure("movra-stored", kSaveDefaultCodes, { keyring.busVariable() });
    int stored = lp("movra-stored");
    int asking = lp("movra-hold", { "-t", "Minutes.pdf" });
    ASSERT_GT(stored, 0);
    ASSERT_GT(asking, 0);
    ProgramOptions options = onDesktop();
    options.environment.push_back(keyring.busVariable());
    RunningProgram agent(agentCommand({ "--once" }), options);
    std::optional<ShownWindow> prompt = waitForPrompt(agent, "Minutes.pdf");
    ASSERT_TRUE(prompt);
    ProgramRun run = answer(agent, *prompt, prefix(asking, "movra-hold") + "released\n");
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(gServer->jobAttribute(stored, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(gServer->jobAttribute(asking, "job-accounting-user-id"), "dana-SECRET");
}

// Another maker's printer that asks for a user code: the window built from its codes comes up
// titled with the document and the queue, the user code typed into its first field and Return
// release the job with the code as the printer's driver takes it, and the locked print's
// password left blank makes no locked print.
TEST_P(AgentOnDesktop, TheWindowOfAPrinterThatAsksForCodesComesUpAndTheCodeTypedReleasesTheJob)
{
    // Keys go to the window with the focus, which a window manager gives a new window.
    if (GetParam() == Desktop::X11)
        GTEST_SKIP() << "the keys need a desktop that gives the new window the focus";
    int job = lp("lumio-codes-hold", { "-t", "Invoice.pdf" });
    ASSERT_GT(job, 0);
    RunningProgram agent(agentCommand({ "--once" }), onDesktop());
    std::optional<ShownWindow> window = waitForPrompt(agent, "Invoice.pdf");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title, "Accounting \u2014 Invoice.pdf \u2014 lumio-codes-hold");
    EXPECT_TRUE(window->floating) << "the codes window fills a tile of the screen, " << window->width << "x" << window->height;
    std::string error;
    EXPECT_TRUE(m_desktop->type("13579", &error) && m_desktop->pressReturn(&error)) << error;
    std::string line = prefix(job, "lumio-codes-hold");
    bool ended = agent.waitForOutput(line + "released\n");
    std::string shown = ended ? "" : screen("codes-not-released");
    if (!ended)
        agent.sendSignal(SIGTERM);
    ProgramRun run = agent.finish();
    EXPECT_TRUE(ended) << shown << "\n"
                       << run.output << run.errors;
    EXPECT_EQ(run.output.find("13579"), std::string::npos) << run.output;
    std::string options = gServer->driverOptions(job);
    EXPECT_NE(options.find("UserCode=Custom.13579"), std::string::npos) << options;
    EXPECT_EQ(options.find("LockedPrint"), std::string::npos) << options;
}

INSTANTIATE_TEST_SUITE_P(Desktops, AgentOnDesktop, ::testing::Values(Desktop::X11, Desktop::X11WithWindowManager, Desktop::Wayland, Desktop::WaylandTiling),
    [](const ::testing::TestParamInfo<Desktop>& info) { return std::string(nameOf(info.param)); });

// A server of this machine reached by its address that asks every request for a password and
// lists nothing without one, so that no socket can be told to be its own: the agent asks the
// person in a window of its own, on each desktop.
class AgentOnADesktopWithAPasswordServer : public AgentSessionTest, public ::testing::WithParamInterface<Desktop> {
protected:
    static constexpr const char* kPassword = "right-PASSWORD";

    static void SetUpTestSuite()
    {
        PrivateCupsServer::Setup setup = holdingServer(PrivateCupsServer::JobOwners::Authenticated,
            "<Location />\n  AuthType Basic\n  Require valid-user\n  Order allow,deny\n  Allow all\n</Location>\n");
        gAddress = "127.0.0.1:" + std::to_string(TestNetwork::freeLoopbackPort());
        setup.listen = gAddress;
        setup.passwords = { { "root", kPassword } };
        startServer(setup);
    }

    static inline std::string gAddress;
};

TEST_P(AgentOnADesktopWithAPasswordServer, ThePasswordWindowComesUpTitledWithTheServerAndThePasswordTypedReleasesTheJob)
{
    if (std::string why = unavailable(GetParam()); !why.empty())
        GTEST_SKIP() << why;
    std::unique_ptr<TestDesktop> desktop = makeDesktop(GetParam());
    std::string error;
    ASSERT_TRUE(desktop->start(&error)) << error;
    configure("movra-hold", std::string("password ") + kPassword + "\n" + kSaveDefaultCodes, {}, gAddress);
    int job = lp("movra-hold");
    ASSERT_GT(job, 0);
    ProgramOptions options = session();
    for (const auto& variable : desktop->session())
        options.environment.push_back(variable);
    // An agent asked to stop while the window is up closes it, and ends.
    {
        RunningProgram stopped(agentCommand({ "--server", gAddress }), options);
        ASSERT_TRUE(desktop->waitForWindow("Print Server " + gAddress, 8s)) << "no password window among " << desktop->describeWindows();
        stopped.sendSignal(SIGTERM);
        ProgramRun run = stopped.finish();
        EXPECT_FALSE(run.timedOut) << "the agent waited on its window";
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
    }
    RunningProgram agent(agentCommand({ "--once", "--server", gAddress }), options);
    std::optional<ShownWindow> window = desktop->waitForWindow("Print Server " + gAddress, 8s);
    ASSERT_TRUE(window) << "no password window among " << desktop->describeWindows();
    EXPECT_TRUE(window->floating) << "the password window fills a tile of the screen, " << window->width << "x" << window->height;
    // The password field has the focus, and Return signs in; a key lost makes the password wrong.
    EXPECT_TRUE(desktop->type(kPassword, &error) && desktop->pressReturn(&error)) << error;
    EXPECT_TRUE(agent.waitForOutput(prefix(job, "movra-hold") + "released\n"));
    ProgramRun run = checked(agent.finish());
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, "password: the CUPS server at " + gAddress + " asks for the password of root\npassword: given\n" + prefix(job, "movra-hold") + "released\n");
    EXPECT_EQ(gServer->jobAttribute(job, "job-accounting-user-id"), "alice-SECRET");
}

INSTANTIATE_TEST_SUITE_P(Desktops, AgentOnADesktopWithAPasswordServer, ::testing::Values(Desktop::X11WithWindowManager, Desktop::Wayland, Desktop::WaylandTiling),
    [](const ::testing::TestParamInfo<Desktop>& info) { return std::string(nameOf(info.param)); });

TEST_F(StoredQueueSessionTest, OnACompositorWithoutASeatThePromptStillComesUpAndTheJobWaits)
{
    WestonDesktop desktop(WestonDesktop::Backend::HeadlessWithoutSeat);
    std::string error;
    ASSERT_TRUE(desktop.start(&error)) << error;
    int job = lp("movra-hold", { "-t", "Quarterly report.pdf" });
    ASSERT_GT(job, 0);
    ProgramOptions options = session();
    for (const auto& variable : desktop.session())
        options.environment.push_back(variable);
    RunningProgram agent(agentCommand({}), options);
    std::optional<ShownWindow> prompt = desktop.waitForWindow("Quarterly report.pdf", 8s);
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_TRUE(prompt) << "no prompt among " << desktop.describeWindows() << "\n"
                        << run.output << run.errors << "\nthe display server:\n"
                        << desktop.serverLog();
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    EXPECT_EQ(run.output, prefix(job, "movra-hold") + "prompt: Accounting\n") << run.errors;
    EXPECT_EQ(state(job), "pending-held");
}

// A session that names a screen Qt cannot open: a Qt platform that does not exist beside a
// working X server, or a Wayland compositor that is not there and no X server.
enum class UnusableScreen {
    NoSuchQtPlatform,
    WaylandWithoutCompositor,
};

const char* nameOf(UnusableScreen screen)
{
    return screen == UnusableScreen::NoSuchQtPlatform ? "NoSuchQtPlatform" : "WaylandWithoutCompositor";
}

void PrintTo(UnusableScreen screen, std::ostream* out)
{
    *out << nameOf(screen);
}

class AgentWithAnUnusableScreen : public StoredQueueSessionTest, public ::testing::WithParamInterface<UnusableScreen> {
protected:
    // The agent's session; false, with the reason, when the X server does not come up.
    bool unusableSession(ProgramOptions* options, std::string* error)
    {
        *options = session();
        if (GetParam() == UnusableScreen::WaylandWithoutCompositor) {
            options->environment.push_back({ "WAYLAND_DISPLAY", "wayland-0" });
            return true;
        }
        if (!m_x11.start(error))
            return false;
        for (const auto& variable : m_x11.session())
            options->environment.push_back(variable);
        options->environment.push_back({ "QT_QPA_PLATFORM", "nosuch" });
        return true;
    }

    XvfbDesktop m_x11;
};

TEST_P(AgentWithAnUnusableScreen, TheAgentStaysUpAndAJobThatNeedsThePromptStaysHeldWhileStoredCodesStillGo)
{
    configure("movra-stored", kSaveDefaultCodes);
    int asking = lp("movra-hold");
    ASSERT_GT(asking, 0);
    ProgramOptions options;
    std::string error;
    ASSERT_TRUE(unusableSession(&options, &error)) << error;
    RunningProgram agent(agentCommand({}), options);
    std::string askingLine = prefix(asking, "movra-hold");
    if (!agent.waitForOutput(askingLine + "left held: it needs the prompt")) {
        agent.sendSignal(SIGTERM);
        ProgramRun ended = agent.finish();
        FAIL() << "the agent ended with status " << ended.exitStatus << ", signal " << ended.signal << ":\n"
               << ended.output << ended.errors;
    }
    int stored = lp("movra-stored");
    ASSERT_GT(stored, 0);
    bool released = agent.waitForOutput(prefix(stored, "movra-stored") + "released\n");
    agent.sendSignal(SIGTERM);
    ProgramRun run = checked(agent.finish());
    EXPECT_TRUE(released) << run.output << run.errors;
    EXPECT_EQ(run.signal, 0) << "it ended only when asked: " << run.errors;
    EXPECT_EQ(run.exitStatus, 0) << run.errors;
    size_t lines = 0;
    for (size_t at = run.output.find(askingLine); at != std::string::npos; at = run.output.find(askingLine, at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << "one line says why: " << run.output;
    EXPECT_EQ(state(asking), "pending-held");
    EXPECT_EQ(gServer->jobAttribute(stored, "job-accounting-user-id"), "alice-SECRET");
    EXPECT_EQ(gServer->jobAttribute(stored, "job-account-id"), "4711-SECRET");
}

INSTANTIATE_TEST_SUITE_P(Sessions, AgentWithAnUnusableScreen, ::testing::Values(UnusableScreen::NoSuchQtPlatform, UnusableScreen::WaylandWithoutCompositor),
    [](const ::testing::TestParamInfo<UnusableScreen>& info) { return std::string(nameOf(info.param)); });

// The window of a printer that asks for codes of its own, in the process the agent forks for it:
// the codes typed on the desktop come back to the agent, and the agent's stop closes the window.
TEST(CodesWindowOnDesktop, TheCodesTypedComeBackToTheAgentAndItsStopClosesTheWindow)
{
    XvfbDesktop desktop(XvfbDesktop::WindowManager::Openbox);
    std::string error;
    ASSERT_TRUE(desktop.start(&error)) << error;
    EnvironmentChanges environment;
    environment.set("LANGUAGE", "en");
    for (const auto& [name, value] : desktop.session()) {
        if (value.empty())
            environment.unset(name);
        else
            environment.set(name, value);
    }
    CodesForm form;
    form.document = "report.pdf";
    form.queue = "office";
    form.fields = { { { .name = "UserCode", .label = "User code", .kind = CodeKind::Digits, .minLength = 4, .maxLength = 8 }, "" } };
    StopRequests stops;
    ASSERT_TRUE(stops.open(&error)) << error;
    // The person acts once the window is up; the wait starts after the agent has forked the
    // window's process, which must not copy a thread in the middle of something. A window that
    // never comes up, or that the person cannot answer, is closed as the agent's stop closes it.
    auto person = [&desktop](const std::function<bool()>& act) {
        return std::thread([&desktop, act] {
            std::this_thread::sleep_for(300ms);
            bool shown = desktop.waitForWindow("report.pdf", 8s).has_value();
            EXPECT_TRUE(shown) << "no codes window among " << desktop.describeWindows();
            if (!shown || !act())
                kill(getpid(), SIGTERM);
        });
    };

    std::thread typing = person([&desktop] {
        std::string problem;
        // The field has the focus, and Return clicks Print.
        bool typed = desktop.type("12345", &problem) && desktop.pressReturn(&problem);
        EXPECT_TRUE(typed) << problem;
        return typed;
    });
    std::string why;
    CodesFormAnswer answer = askCodesOnScreen(&form, &why);
    typing.join();
    ASSERT_EQ(answer, CodesFormAnswer::Accepted) << why;
    EXPECT_EQ(form.fields[0].value, "12345");

    std::thread stopping = person([] { return false; });
    answer = askCodesOnScreen(&form, &why);
    stopping.join();
    EXPECT_EQ(answer, CodesFormAnswer::Unanswered);
    EXPECT_EQ(why, "the codes window was closed as the agent stops");
    EXPECT_EQ(form.fields[0].value, "12345") << "nothing is taken from a window closed unanswered";
    EXPECT_FALSE(desktop.waitForWindow("report.pdf", 1s)) << desktop.describeWindows();
}

}
