// The person's guide's picture of a held job's prompt as the agent puts it on screen: the prompt window
// with its title bar (drawn in the style of the prompt, as a window manager frames it), the title
// and the first line naming the document and the queue, the User ID typed and the Account ID being typed. The job is
// played as the agent plays one without stored settings, through the same screen module, on Qt's
// offscreen platform; no server is needed, since only the click is pictured.
// Usage: AgentPromptPicture PICTURE.png   (scripts/make-pictures)
#include "agent/HeldJobClick.h"
#include "program/ProgramFolder.h"
#include "queues/QueueSettings.h"

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// The window as a person sees it on screen: its title bar above its contents.
QImage framed(QDialog* window)
{
    QStyleOptionTitleBar bar;
    bar.initFrom(window);
    bar.text = window->windowTitle();
    bar.titleBarFlags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    bar.titleBarState = Qt::WindowActive;
    bar.state |= QStyle::State_Active;
    bar.subControls = QStyle::SC_TitleBarLabel | QStyle::SC_TitleBarCloseButton;
    int barHeight = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, &bar, window);
    bar.rect = QRect(0, 0, window->width(), barHeight);
    QImage picture(window->width(), window->height() + barHeight, QImage::Format_ARGB32);
    picture.fill(window->palette().window().color());
    QPainter painter(&picture);
    window->style()->drawComplexControl(QStyle::CC_TitleBar, &bar, &painter, window);
    painter.drawPixmap(0, barHeight, window->grab());
    return picture;
}

}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: AgentPromptPicture PICTURE.png\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    std::string folder = productLibraryFolder();
    PrintDialog dialog;
    std::string error;
    if (!dialog.open({ .ppdPath = EXAMPLES_DIR "/Movra-RK7700.ppd",
                         .settingsPath = "",
                         .plugInPath = folder + "/Accounting.plugin",
                         .primaryPlugInPath = folder + "/PrimaryPDE.bundle",
                         .settingItems = QueueSettings::unstored().items() },
            &error)) {
        fprintf(stderr, "AgentPromptPicture: %s\n", error.c_str());
        return 2;
    }
    bool pictured = false;
    QTimer::singleShot(0, [&] {
        QDialog* prompt = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets())
            prompt = prompt ? prompt : qobject_cast<QDialog*>(window);
        auto* userID = prompt ? prompt->findChild<QLineEdit*>("501") : nullptr;
        auto* accountID = prompt ? prompt->findChild<QLineEdit*>("503") : nullptr;
        if (!userID || !accountID)
            return;
        QTest::mouseClick(userID, Qt::LeftButton);
        QTest::keyClicks(userID, "alice");
        QTest::mouseClick(accountID, Qt::LeftButton);
        QTest::keyClicks(accountID, "47");
        pictured = framed(prompt).save(argv[1], "PNG");
        QTest::keyClicks(accountID, "11");
        QTest::mouseClick(prompt->findChild<QPushButton*>("1000"), Qt::LeftButton);
    });
    std::ostringstream transcript;
    Transcript told(transcript);
    auto person = makeScreenAnswerer();
    playHeldJobClick(dialog, { "Quarterly report.pdf", "movra" }, person.get(), told);
    if (!pictured) {
        fprintf(stderr, "AgentPromptPicture: %s: no picture of the prompt\n", argv[1]);
        return 1;
    }
    return 0;
}
