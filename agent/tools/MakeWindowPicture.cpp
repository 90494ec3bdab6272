// The guides' pictures of the windows that come up outside the Print dialog, in the language of the
// environment, each on Qt's offscreen platform through the same screen module the programs load;
// no server is needed, since only the window is pictured:
//   agent-prompt     a held job's prompt as the agent puts it on screen, the User ID typed and the
//                    Account ID being typed
//   settings         a queue's settings window ("Printer Accounting Settings"), accounting on
//   codes            an IPP printer's codes window, as a job's prompt, with its codes typed
//   codes-settings   the same printer's codes in the queue's settings window
//   password         a print server's password window, after the server refused a password
// A window that comes up framed on screen is pictured with its title bar (drawn in the window's
// style, as a window manager frames it).
// Usage: MakeWindowPicture WINDOW PICTURE.png   (scripts/make-pictures)
#include "agent/HeldJobClick.h"
#include "dialog/ScreenModule.h"
#include "dialog/WindowControls.h"
#include "program/ProgramFolder.h"
#include "program/ProgramTexts.h"
#include "queues/QueueSettings.h"

#include <HIToolbox/UserActionsStandIn.h>

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
#include <cstring>
#include <functional>
#include <map>
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

// Once the window is up: what the person types into it, then its picture into path, then Cancel.
void pictureNextWindow(const char* path, const std::function<void(QDialog*)>& typed, bool* pictured)
{
    QTimer::singleShot(0, [path, typed, pictured] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!window)
            return;
        typed(window);
        *pictured = framed(window).save(path, "PNG");
        window->reject();
    });
}

PrintDialogSetup movraDialog(DialogPurpose purpose)
{
    std::string folder = productLibraryFolder();
    return { .ppdPath = EXAMPLES_DIR "/Movra-RK7700.ppd",
        .settingsPath = "",
        .plugInPath = folder + "/Accounting.plugin",
        .primaryPlugInPath = folder + "/PrimaryPDE.bundle",
        .purpose = purpose,
        .settingItems = QueueSettings::unstored().items(),
        .queue = "movra",
        .codesKeeping = { programText("Codes In Keyring"), false } };
}

bool pictureAgentPrompt(const char* path, std::string* error)
{
    PrintDialog dialog;
    if (!dialog.open(movraDialog(DialogPurpose::Print), error))
        return false;
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
        pictured = framed(prompt).save(path, "PNG");
        QTest::keyClicks(accountID, "11");
        QTest::mouseClick(prompt->findChild<QPushButton*>("1000"), Qt::LeftButton);
    });
    std::ostringstream transcript;
    Transcript told(transcript);
    auto person = makeScreenAnswerer();
    playHeldJobClick(dialog, { "Quarterly report.pdf", "movra" }, person.get(), told);
    return pictured;
}

bool pictureSettingsWindow(const ScreenModule& screen, const char* path, std::string* error)
{
    PrintDialog dialog;
    if (!dialog.open(movraDialog(DialogPurpose::Configure), error) || dialog.showPane() != noErr)
        return false;
    ControlRef popup = findControlByNumber(dialog.window(), 100);
    return popup && StandIn::choosePopupItem(popup, 3, error) == noErr && screen.snapshot(dialog.window(), path, error);
}

bool pictureCodesWindow(const ScreenModule& screen, CodesForm::Purpose purpose, const char* path, std::string* error)
{
    PrinterCodes codes;
    PrinterCodeAttributes attributes;
    attributes.accountID = true;
    attributes.accountingUserID = true;
    attributes.passwordMaxLength = 8;
    addPrinterAttributes(&codes, attributes);
    CodesForm form;
    form.purpose = purpose;
    form.document = "Quarterly report.pdf";
    form.queue = "office";
    form.fields = codeFields(codes, nullptr);
    bool pictured = false;
    pictureNextWindow(
        path, [](QDialog* window) {
            for (auto [name, typed] : { std::pair { "job-accounting-user-id", "alice" }, { "job-account-id", "4711" }, { "job-password", "2468" } }) {
                if (auto* field = window->findChild<QLineEdit*>(name))
                    QTest::keyClicks(field, typed);
            }
        },
        &pictured);
    screen.askCodes(&form, error);
    return pictured;
}

bool picturePasswordWindow(const ScreenModule& screen, const char* path, std::string* error)
{
    bool pictured = false;
    pictureNextWindow(
        path, [](QDialog*) {}, &pictured);
    PasswordAnswer answer;
    screen.askPassword({ "the CUPS server at print.example.com:631", "print.example.com:631", "alice", true }, &answer, error);
    return pictured;
}

}

int main(int argc, char** argv)
{
    using Picture = std::function<bool(const ScreenModule& screen, const char* path, std::string* error)>;
    const std::map<std::string, Picture> pictures = {
        { "agent-prompt", [](const ScreenModule&, const char* path, std::string* error) { return pictureAgentPrompt(path, error); } },
        { "settings", pictureSettingsWindow },
        { "codes", [](const ScreenModule& screen, const char* path, std::string* error) { return pictureCodesWindow(screen, CodesForm::Purpose::Prompt, path, error); } },
        { "codes-settings",
            [](const ScreenModule& screen, const char* path, std::string* error) { return pictureCodesWindow(screen, CodesForm::Purpose::Settings, path, error); } },
        { "password", picturePasswordWindow },
    };
    auto picture = argc == 3 ? pictures.find(argv[1]) : pictures.end();
    if (picture == pictures.end()) {
        fputs("usage: MakeWindowPicture agent-prompt|settings|codes|codes-settings|password PICTURE.png\n", stderr);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    std::string error;
    const ScreenModule* screen = loadScreenModule(&error);
    if (!screen) {
        fprintf(stderr, "MakeWindowPicture: %s\n", error.c_str());
        return 2;
    }
    if (!picture->second(*screen, argv[2], &error)) {
        fprintf(stderr, "MakeWindowPicture: %s: no picture of the %s window%s%s\n", argv[2], argv[1], error.empty() ? "" : ": ", error.c_str());
        return 1;
    }
    return 0;
}
