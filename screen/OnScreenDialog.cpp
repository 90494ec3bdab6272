#include "screen/OnScreenDialog.h"

#include "screen/PersonWindows.h"
#include "screen/QtApplication.h"

#include "dialog/PrintDialog.h"
#include "program/ProcessGuards.h"
#include "program/ProgramTexts.h"
#include "dialog/WindowControls.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

namespace {

// How often a click's windows look whether the program has been asked to stop.
constexpr int kStopCheckMilliseconds = 100;

}

ScreenSession::ScreenSession(PrintDialog& dialog, ScreenUse use)
    : m_dialog(dialog)
    , m_use(use)
{
    if (m_use == ScreenUse::WholeDialog) {
        m_installation.emplace(this);
        return;
    }
    // A program that plays one click (the agent) may be asked to stop while its person thinks:
    // the windows go and the prompt ends unanswered.
    m_stopCheck = std::make_unique<QTimer>();
    QObject::connect(m_stopCheck.get(), &QTimer::timeout, [this] {
        if (!interruptionRequested())
            return;
        m_stopped = true;
        if (m_promptLoop)
            m_promptLoop->quit();
        if (QWidget* box = QApplication::activeModalWidget(); box && box != m_prompt.get())
            box->close();
    });
    m_stopCheck->start(kStopCheckMilliseconds);
}

ScreenSession::~ScreenSession()
{
    for (auto& notice : m_notices)
        delete notice.data();
    m_prompt.reset();
    m_dialogMirror.reset();
}

bool ScreenSession::run(std::string* error)
{
    if (OSStatus status = m_dialog.showPane()) {
        *error = "the Accounting pane could not be shown (status " + std::to_string(status) + ")";
        return false;
    }
    m_dialogMirror = std::make_unique<WindowMirror>(m_dialog.window());
    m_dialogMirror->setObjectName("Print dialog");
    m_dialogMirror->widgetFor(m_dialog.printButton())->setObjectName("print");
    m_dialogMirror->widgetFor(m_dialog.cancelButton())->setObjectName("cancel");
    m_dialogMirror->widgetFor(m_dialog.helpButton())->setObjectName("help");
    // Save, when the dialog has it, stands where Print is hidden and lets the settings go on.
    if (ControlRef save = m_dialog.saveButton()) {
        m_dialogMirror->widgetFor(save)->setObjectName("save");
        m_dialogMirror->answerClicks(save, [this] { print(); });
    } else {
        m_dialogMirror->answerClicks(m_dialog.printButton(), [this] { print(); });
    }
    m_dialogMirror->answerClicks(m_dialog.cancelButton(), [this] { cancel(); });
    if (ControlRef forget = m_dialog.forgetButton()) {
        m_dialogMirror->widgetFor(forget)->setObjectName("forget");
        m_dialogMirror->answerClicks(forget, [this] { forgetSettings(); });
    }
    QObject::connect(m_dialogMirror.get(), &WindowMirror::userActed, [this] { syncAll(); });
    QObject::connect(m_dialogMirror.get(), &WindowMirror::closeRequested, [this] { close(); });
    m_dialogMirror->show();

    QEventLoop loop;
    m_dialogLoop = &loop;
    loop.exec();
    m_dialogLoop = nullptr;
    if (m_help)
        m_help->hide();
    if (!m_error.empty())
        *error = m_error;
    return m_printed;
}

void ScreenSession::syncAll()
{
    if (m_dialogMirror)
        m_dialogMirror->sync();
    if (m_prompt)
        m_prompt->sync();
}

void ScreenSession::print()
{
    std::string error;
    PrintClick click = m_dialog.clickPrint(&error);
    // Whatever the prompt did, its window went with the click's modal loop.
    m_prompt.reset();
    if (!m_dialog.isOpen())
        return finish(click == PrintClick::Printed, click == PrintClick::Failed ? error : std::string());
    if (click == PrintClick::Failed)
        QApplication::beep();
    syncAll();
}

void ScreenSession::cancel()
{
    std::string error;
    if (m_dialog.clickCancel(&error))
        return finish(false, {});
    QApplication::beep();
    syncAll();
}

// What Forget removes cannot be had back, so the person confirms it first.
void ScreenSession::forgetSettings()
{
    std::string error;
    if (!askYesNo(programText("Forget Question", { m_dialog.queue() }), programText("Forget Detail"), programText("Forget"), programText("Cancel"),
            &error))
        return;
    if (m_dialog.clickForget(&error))
        return finish(false, {});
    QApplication::beep();
    syncAll();
}

void ScreenSession::close()
{
    if (m_prompt)
        return;
    m_dialog.dismiss();
    finish(false, {});
}

void ScreenSession::finish(bool printed, const std::string& error)
{
    m_dialogMirror->detach();
    m_dialogMirror->hide();
    m_printed = printed;
    m_error = error;
    if (m_dialogLoop)
        m_dialogLoop->quit();
}

QWidget* ScreenSession::frontWindow()
{
    // An alert after the prompt (its Cancel) comes once the prompt's window is gone.
    if (m_prompt && m_prompt->toolboxWindow() && !IsWindowVisible(m_prompt->toolboxWindow())) {
        m_prompt->detach();
        m_prompt->hide();
    }
    return m_prompt && m_prompt->isVisible() ? m_prompt.get() : m_dialogMirror.get();
}

bool ScreenSession::performNextAction(WindowRef modalWindow)
{
    if (!m_prompt || m_prompt->toolboxWindow() != modalWindow) {
        m_prompt = std::make_unique<WindowMirror>(modalWindow, m_dialogMirror.get());
        m_prompt->setWindowModality(Qt::ApplicationModal);
        QObject::connect(m_prompt.get(), &WindowMirror::userActed, [this] {
            m_promptActed = true;
            syncAll();
            if (m_promptLoop)
                m_promptLoop->quit();
        });
        QObject::connect(m_prompt.get(), &WindowMirror::closeRequested, [this] {
            m_promptClosed = true;
            if (m_promptLoop)
                m_promptLoop->quit();
        });
        m_prompt->show();
        m_prompt->raise();
        m_prompt->activateWindow();
    }
    m_prompt->sync();
    m_promptActed = false;
    m_promptClosed = false;
    QEventLoop loop;
    m_promptLoop = &loop;
    if (!m_stopped)
        loop.exec();
    m_promptLoop = nullptr;
    if (m_stopped)
        return false;
    if (m_promptActed)
        return true;
    // Closing the prompt is its Cancel button.
    ControlRef cancel = findControlByNumber(modalWindow, kPromptCancelButton);
    if (!cancel || StandIn::clickControl(cancel, nullptr) != noErr)
        return false;
    syncAll();
    return true;
}

void ScreenSession::showAlert(const StandIn::AlertContent& alert)
{
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(programText("Accounting")), QString::fromStdString(alert.text), QMessageBox::Ok,
        frontWindow());
    box.setInformativeText(QString::fromStdString(alert.explanation));
    if (!m_stopped)
        box.exec();
}

void ScreenSession::showNotice(const StandIn::NoticeContent& notice)
{
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(programText("Accounting")), QString::fromStdString(notice.header),
        QMessageBox::Ok, frontWindow());
    box->setInformativeText(QString::fromStdString(notice.message));
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (m_use == ScreenUse::ClickAlone) {
        if (m_stopped)
            delete box;
        else
            box->exec();
        return;
    }
    box->setModal(false);
    box->show();
    m_notices.emplace_back(box);
}

void ScreenSession::beep()
{
    QApplication::beep();
}

void ScreenSession::openHelpPage(const StandIn::HelpPage& page)
{
    if (!m_help) {
        m_help = std::make_unique<QTextBrowser>();
        m_help->resize(640, 480);
    }
    m_help->setWindowTitle(QString::fromStdString(page.book));
    QUrl url = QUrl::fromLocalFile(QString::fromStdString(page.path));
    if (!page.anchor.empty())
        url.setFragment(QString::fromStdString(page.anchor));
    m_help->setSource(url);
    m_help->show();
    m_help->raise();
}

bool runDialogOnScreen(PrintDialog& dialog, std::string* error)
{
    if (!screenApplication(false, error)) {
        dialog.dismiss();
        return false;
    }
    ScreenSession session(dialog);
    return session.run(error);
}

StandIn::InputSource* openClickOnScreen(PrintDialog& dialog, std::string* error)
{
    if (!screenApplication(false, error))
        return nullptr;
    return new ScreenSession(dialog, ScreenUse::ClickAlone);
}

void closeClickOnScreen(StandIn::InputSource* session)
{
    delete session;
    // The windows go from the screen now, not when the program next runs Qt's event loop.
    QApplication::processEvents();
}
