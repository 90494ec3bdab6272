// A held job's prompt on screen (Qt's offscreen platform, driven as a person would with QTest),
// through the screen module the agent's prompt process loads: the prompt comes up as a window of its
// own whose title names the document and the queue, the keys and clicks typed into it go with
// the job, closing it cancels the job after the agent's alert, and the notice of a missing
// default code waits on screen.
#include "agent/HeldJobClick.h"
#include "agent/tests/HeldJobDialog.h"
#include "tests/support/TemporaryTree.h"

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

namespace {

const std::string kExamples = EXAMPLES_DIR;

class HeldJobOnScreen : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("LANGUAGE", "en", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "AgentScreenTests";
        static char* argv[] = { name, nullptr };
        // The screen module finds this application and puts its windows on its (offscreen) screen.
        new QApplication(argc, argv);
    }

    void SetUp() override
    {
        // Should the prompt or a box never be answered, the test fails instead of hanging.
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "a window was left waiting for the person";
            for (QWidget* window : QApplication::topLevelWidgets())
                window->close();
        });
        m_watchdog.setSingleShot(true);
        m_watchdog.start(10000);
    }

    // Plays the Print click of "Quarterly report.pdf" on movra-hold with the person on screen,
    // who does what act does once a window is up; settings is the queue's stored file, if any.
    // A cancel the person chooses is carried out by cancelJob, as the agent does.
    ClickOutcome play(std::function<void()> act, const std::string& settings = "", const CancelJob& cancelJob = {})
    {
        PrintDialog dialog;
        if (!openHeldJobDialog(dialog, settings))
            return {};
        auto person = makeScreenAnswerer();
        Transcript transcript(m_out, "job 7 movra-hold: ");
        QTimer::singleShot(0, act);
        return playHeldJobClick(dialog, { "Quarterly report.pdf", "movra-hold" }, person.get(), transcript, cancelJob);
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

    static std::string settingString(const ClickOutcome& outcome, const std::string& key)
    {
        for (const StandIn::TicketItem& item : outcome.settings) {
            if (item.key == key)
                return item.string;
        }
        return "(not set)";
    }

    TemporaryTree m_home;
    std::ostringstream m_out;
    QTimer m_watchdog;
};

TEST_F(HeldJobOnScreen, ThePromptNamesTheJobAndTheCodesTypedIntoItGoWithTheJob)
{
    QString title;
    bool wasModal = false;
    ClickOutcome outcome = play([&] {
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
    EXPECT_EQ(outcome.kind, ClickOutcome::Kind::Printed) << outcome.why << outcome.fault;
    EXPECT_EQ(title.toStdString(), "Accounting \u2014 Quarterly report.pdf \u2014 movra-hold") << "the person can tell which print asks";
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(m_out.str(), "job 7 movra-hold: prompt: Accounting\n");
    EXPECT_EQ(settingString(outcome, "com.movra.Act.trel.UID"), "dana");
    EXPECT_EQ(settingString(outcome, "com.movra.Act.trel.AID"), "K-17");
    EXPECT_EQ(visibleWindows(), 0) << "nothing of the job is left on screen";
}

TEST_F(HeldJobOnScreen, ClosingThePromptCancelsTheJobAndAMessageSaysWhatTheServerDid)
{
    QMessageBox::Icon alertIcon = QMessageBox::NoIcon;
    QString alertText;
    auto closePrompt = [&] {
        QDialog* prompt = shown<QDialog>();
        ASSERT_TRUE(prompt);
        QTimer::singleShot(0, [&] {
            auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(alert);
            alertIcon = alert->icon();
            alertText = alert->informativeText();
            alert->accept();
        });
        prompt->close();
    };
    ClickOutcome outcome = play(closePrompt, "", [](std::string*) { return CancelAnswer::Done; });
    EXPECT_EQ(outcome.kind, ClickOutcome::Kind::Cancelled) << outcome.why << outcome.fault;
    EXPECT_EQ(alertIcon, QMessageBox::Information) << "the person chose it: no error";
    EXPECT_EQ(alertText.toStdString(),
        "\u201cQuarterly report.pdf\u201d on movra-hold was cancelled; print it again from your program to get the prompt back.");

    play(closePrompt, "", [](std::string* why) {
        *why = "Forbidden";
        return CancelAnswer::Refused;
    });
    EXPECT_EQ(alertText.toStdString(),
        "\u201cQuarterly report.pdf\u201d on movra-hold was not cancelled: the print server refused (Forbidden). It stays held on the queue.");
}

TEST_F(HeldJobOnScreen, TheNoticeOfAMissingDefaultCodeWaitsToBeRead)
{
    // The stored settings use default codes, and the Account ID is missing.
    std::string settings = fileContents(kExamples + "/settings/default-codes.plist");
    const std::string accountID = "<string>4711</string>";
    ASSERT_NE(settings.find(accountID), std::string::npos) << settings;
    settings.replace(settings.find(accountID), accountID.size(), "<string></string>");
    m_home.addFile("movra-hold.plist", settings);
    QString header;
    ClickOutcome outcome = play(
        [&] {
            auto* notice = shown<QMessageBox>();
            ASSERT_TRUE(notice);
            header = notice->text();
            notice->accept();
        },
        m_home.path("movra-hold.plist"));
    EXPECT_EQ(outcome.kind, ClickOutcome::Kind::CodeMissing) << outcome.why << outcome.fault;
    EXPECT_FALSE(header.isEmpty()) << "the notice was on screen";
}

}
