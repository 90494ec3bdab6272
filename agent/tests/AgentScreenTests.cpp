// A held job's prompt on screen (Qt's offscreen platform, driven as a person would with QTest),
// with a private CUPS server holding the job: the prompt comes up as a window of its own whose
// title names the document and the queue, the keys and clicks typed into it release the job
// with those codes, closing it cancels the job after the pane's alert, and the notice of a
// missing default code waits on screen while the job stays held.
#include "HeldJob.h"
#include "LpJobs.h"
#include "SharedCupsServerTest.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace {

class HeldJobOnScreen : public SharedCupsServerTest {
protected:
    static void SetUpTestSuite()
    {
        setenv("LANGUAGE", "en", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "AgentScreenTests";
        static char* argv[] = { name, nullptr };
        // The front end finds this application and puts its windows on its (offscreen) screen.
        new QApplication(argc, argv);
        PrivateCupsServer::Setup setup;
        setup.holdingQueues = true;
        startServer(setup);
    }

    void SetUp() override
    {
        SharedCupsServerTest::SetUp();
        if (IsSkipped())
            return;
        // Should the prompt or a box never be answered, the test fails instead of hanging.
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "a window was left waiting for the person";
            for (QWidget* window : QApplication::topLevelWidgets())
                window->close();
        });
        m_watchdog.setSingleShot(true);
        m_watchdog.start(10000);
    }

    void TearDown() override
    {
        if (gServer)
            gServer->cancelAllJobs();
    }

    // The job as the agent lists it.
    static ServerJob listed(ServerJobs& server, int id)
    {
        std::string error;
        EXPECT_EQ(server.connect(&error), Reply::Done) << error;
        std::vector<ServerJob> jobs;
        EXPECT_EQ(server.listJobs(&jobs, &error), Reply::Done) << error;
        for (const ServerJob& job : jobs) {
            if (job.id == id)
                return job;
        }
        ADD_FAILURE() << "job " << id << " is not listed";
        return {};
    }

    // Handles the job with the person on screen, who does what act does once a window is up.
    JobFate handle(const ServerJob& job, std::function<void()> act)
    {
        ServerJobs server(gServer->socket());
        std::string error;
        EXPECT_EQ(server.connect(&error), Reply::Done) << error;
        QueueSettingsStore store(m_home.path("settings"));
        auto desk = makeScreenDesk();
        JobHandling handling { server, store, ACCOUNTING_BUNDLE_DIR, PRIMARY_PDE_BUNDLE_DIR, *desk, m_out, m_err };
        QTimer::singleShot(0, act);
        return handleHeldJob(job, handling);
    }

    // The visible window the person meets: the prompt, or a message box.
    template<typename Window>
    static Window* shown()
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<Window*>(window); found && found->isVisible())
                return found;
        }
        return nullptr;
    }

    static int visibleWindows()
    {
        int count = 0;
        for (QWidget* window : QApplication::topLevelWidgets())
            count += window->isVisible();
        return count;
    }

    int lp(const std::vector<std::string>& arguments = {}) const
    {
        return submitWithLp(gServer->socket(), "movra-hold", gServer->path("document.txt"), arguments);
    }

    TemporaryTree m_home;
    std::ostringstream m_out;
    std::ostringstream m_err;
    QTimer m_watchdog;
};

TEST_F(HeldJobOnScreen, ThePromptNamesTheJobAndTheCodesTypedIntoItReleaseIt)
{
    int id = lp({ "-t", "Quarterly report.pdf" });
    ASSERT_GT(id, 0);
    ServerJobs lister(gServer->socket());
    ServerJob job = listed(lister, id);
    QString title;
    bool wasModal = false;
    JobFate fate = handle(job, [&] {
        QDialog* prompt = shown<QDialog>();
        ASSERT_TRUE(prompt);
        title = prompt->windowTitle();
        wasModal = prompt->isModal();
        auto* userID = prompt->findChild<QLineEdit*>("501");
        auto* accountID = prompt->findChild<QLineEdit*>("503");
        ASSERT_TRUE(userID && accountID);
        QTest::mouseClick(userID, Qt::LeftButton);
        QTest::keyClicks(userID, "dana");
        QTest::mouseClick(accountID, Qt::LeftButton);
        QTest::keyClicks(accountID, "K-17");
        QTest::mouseClick(prompt->findChild<QPushButton*>("1000"), Qt::LeftButton);
    });
    EXPECT_EQ(fate, JobFate::Released) << m_err.str();
    EXPECT_EQ(title.toStdString(), "Accounting \u2014 Quarterly report.pdf \u2014 movra-hold") << "the person can tell which print asks";
    EXPECT_TRUE(wasModal);
    std::string line = "job " + std::to_string(id) + " movra-hold: ";
    EXPECT_EQ(m_out.str(), line + "prompt: Accounting\n" + line + "released\n");
    EXPECT_EQ(gServer->jobAttribute(id, "job-accounting-user-id"), "dana");
    EXPECT_EQ(gServer->jobAttribute(id, "job-account-id"), "K-17");
    EXPECT_EQ(visibleWindows(), 0) << "nothing of the job is left on screen";
}

TEST_F(HeldJobOnScreen, ClosingThePromptShowsTheAlertAndCancelsTheJob)
{
    int id = lp();
    ServerJobs lister(gServer->socket());
    ServerJob job = listed(lister, id);
    QMessageBox::Icon alertIcon = QMessageBox::NoIcon;
    JobFate fate = handle(job, [&] {
        QDialog* prompt = shown<QDialog>();
        ASSERT_TRUE(prompt);
        QTimer::singleShot(0, [&] {
            auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(alert);
            alertIcon = alert->icon();
            alert->accept();
        });
        prompt->close();
    });
    EXPECT_EQ(fate, JobFate::Cancelled) << m_err.str();
    EXPECT_EQ(alertIcon, QMessageBox::Critical);
    EXPECT_EQ(gServer->jobAttribute(id, "job-state"), "canceled");
}

TEST_F(HeldJobOnScreen, TheNoticeOfAMissingDefaultCodeWaitsToBeReadAndTheJobStaysHeld)
{
    // The stored settings use default codes, and the Account ID is missing.
    std::string settings = fileContents(EXAMPLES_DIR "/settings/default-codes.plist");
    const std::string accountID = "<string>4711</string>";
    ASSERT_NE(settings.find(accountID), std::string::npos) << settings;
    settings.replace(settings.find(accountID), accountID.size(), "<string></string>");
    m_home.addFile("settings/movra-hold.plist", settings);
    int id = lp();
    ServerJobs lister(gServer->socket());
    ServerJob job = listed(lister, id);
    QString header;
    JobFate fate = handle(job, [&] {
        auto* notice = shown<QMessageBox>();
        ASSERT_TRUE(notice);
        header = notice->text();
        notice->accept();
    });
    EXPECT_EQ(fate, JobFate::LeftHeld) << m_err.str();
    EXPECT_FALSE(header.isEmpty()) << "the notice was on screen";
    EXPECT_EQ(gServer->jobAttribute(id, "job-state"), "pending-held");
}

}
