// The Print dialog on screen: the person acts on the mirrored windows, and the toolbox asks
// this session, as its input source, for each action while the prompt's modal loop runs.
#pragma once

#include "screen/WindowMirror.h"

#include <HIToolbox/InputSourceStandIn.h>

#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class PrintDialog;
class QEventLoop;
class QMessageBox;
class QTextBrowser;
class QTimer;

// What the session puts on screen: the whole dialog, whose event loop keeps a notice up beside it;
// or what one Print click brings up when the dialog itself is not on screen (the accounting agent
// plays held jobs' clicks so), where notices wait to be dismissed, since nothing keeps a window up
// once the click is done. Only the whole dialog's session installs itself as the toolbox's input
// source; a click's is handed the pane's requests by the program that plays the click.
enum class ScreenUse {
    WholeDialog,
    ClickAlone,
};

class ScreenSession : public StandIn::InputSource {
public:
    explicit ScreenSession(PrintDialog& dialog, ScreenUse use = ScreenUse::WholeDialog);
    ~ScreenSession() override;

    ScreenSession(const ScreenSession&) = delete;
    ScreenSession& operator=(const ScreenSession&) = delete;

    // Until the job goes on (true) or the dialog is cancelled or closed, or, in a queue's settings
    // window, the queue's stored settings are to be forgotten (false; PrintDialog::forgetChosen).
    bool run(std::string* error);

    bool performNextAction(WindowRef modalWindow) override;
    void showAlert(const StandIn::AlertContent& alert) override;
    void showNotice(const StandIn::NoticeContent& notice) override;
    void beep() override;
    void openHelpPage(const StandIn::HelpPage& page) override;

private:
    void syncAll();
    void print();
    void cancel();
    void forgetSettings();
    void close();
    // The dialog is gone: nothing may read it any more.
    void finish(bool printed, const std::string& error);
    QWidget* frontWindow();

    PrintDialog& m_dialog;
    ScreenUse m_use;
    std::optional<StandIn::InputSourceInstallation> m_installation;
    std::unique_ptr<WindowMirror> m_dialogMirror;
    // Declared after the dialog's mirror, its parent, so that it goes first.
    std::unique_ptr<WindowMirror> m_prompt;
    std::unique_ptr<QTextBrowser> m_help;
    std::vector<QPointer<QMessageBox>> m_notices;
    QEventLoop* m_dialogLoop { nullptr };
    QEventLoop* m_promptLoop { nullptr };
    bool m_promptActed { false };
    bool m_promptClosed { false };
    bool m_printed { false };
    std::string m_error;
    // A click's session watches for a request to stop the program.
    std::unique_ptr<QTimer> m_stopCheck;
    bool m_stopped { false };
};

// Makes the application on the display when there is none, and runs a session.
bool runDialogOnScreen(PrintDialog& dialog, std::string* error);
// A session for one click of the dialog (ScreenUse::ClickAlone), on the display; null, with the
// reason in *error, without one. closeClickOnScreen takes its windows off the screen and frees it.
StandIn::InputSource* openClickOnScreen(PrintDialog& dialog, std::string* error);
void closeClickOnScreen(StandIn::InputSource* session);
