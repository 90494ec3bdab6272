// The screen module on Qt's offscreen platform, over a real dialog with the built bundle: what a
// person sees in each of the pane's modes, and a Print click answered through the Qt widgets.
#include "screen/CodesWindow.h"
#include "queues/PrinterCodes.h"
#include "tests/support/LiveObjects.h"
#include "screen/OnScreenDialog.h"
#include "screen/PasswordWindow.h"
#include "screen/PersonWindows.h"
#include "screen/QtApplication.h"
#include "tests/support/TemporaryTree.h"
#include "screen/WindowMirror.h"
#include "screen/WindowPicture.h"

#include "dialog/PrintDialog.h"
#include "dialog/WindowControls.h"
#include "program/ProgramTexts.h"

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMTicketStandIn.h>
#include <CoreFoundation/CFStandIn.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>

namespace {

const std::string kExamples = EXAMPLES_DIR;

class ScreenTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        setenv("LANGUAGE", "en", 1);
        std::string error;
        ASSERT_TRUE(screenApplication(true, &error)) << error;
    }

    void TearDown() override
    {
        m_mirror.reset();
        m_dialog.reset();
        setenv("LANGUAGE", "en", 1);
        EXPECT_EQ(StandIn::plugInInstanceCount(nullptr), 0) << "every factory instance is released";
        BalancedTest::TearDown();
    }

    std::string path(const char* name) const { return m_folder.path(name); }

    // A print-settings file with the pane's entries; codes concealed unless told otherwise.
    std::string writeSettings(int accounting, int prompt, int accountType, const std::string& userID = "", const std::string& accountID = "")
    {
        auto entry = [](const char* key, const std::string& value) {
            return std::string("<key>com.movra.Act.trel.") + key + "</key><dict><key>client</key><string>com.pmvendor.printingmanager</string><key>value</key>"
                + value + "</dict>\n";
        };
        auto integer = [](int value) { return "<integer>" + std::to_string(value) + "</integer>"; };
        std::string file = path("settings.plist");
        std::ofstream out(file);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            << entry("On", integer(accounting)) << entry("Prm", integer(prompt)) << entry("AT", integer(accountType))
            << entry("CU", integer(0)) << entry("CA", integer(0));
        if (!userID.empty())
            out << entry("UID", "<string>" + userID + "</string>") << entry("AID", "<string>" + accountID + "</string>");
        out << "</dict>\n</plist>\n";
        return file;
    }

    // The dialog with the pane shown, and its mirror on the offscreen screen.
    void open(const std::string& settings = "")
    {
        m_dialog = std::make_unique<PrintDialog>();
        PrintDialogSetup setup { kExamples + "/Movra-RK7700.ppd", settings, ACCOUNTING_BUNDLE_DIR, PRIMARY_PDE_BUNDLE_DIR };
        std::string error;
        ASSERT_TRUE(m_dialog->open(setup, &error)) << error;
        ASSERT_EQ(m_dialog->showPane(), noErr);
        m_mirror = std::make_unique<WindowMirror>(m_dialog->window());
        QObject::connect(m_mirror.get(), &WindowMirror::userActed, m_mirror.get(), &WindowMirror::sync);
        m_mirror->show();
    }

    ControlRef control(int id) const
    {
        ControlRef found = nullptr;
        const ControlID controlID = { 'MVRa', id };
        GetControlByID(m_dialog->window(), &controlID, &found);
        return found;
    }

    template<typename Widget = QWidget>
    Widget* widget(int id) const
    {
        auto* found = m_mirror->findChild<Widget*>(QString::number(id));
        EXPECT_TRUE(found) << "no mirrored control " << id;
        return found;
    }

    // Acts on the window that comes up and waits, once it does: chooses the row given, and clicks
    // the button titled so.
    static void answerWith(const QString& button, int row = -1)
    {
        QTimer::singleShot(0, [button, row] {
            QWidget* window = QApplication::activeModalWidget();
            ASSERT_TRUE(window);
            if (auto* list = window->findChild<QListWidget*>(); list && row >= 0)
                list->setCurrentRow(row);
            for (auto* push : window->findChildren<QPushButton*>()) {
                if (push->text() == button)
                    push->click();
            }
        });
    }

    // Where a person clicks a radio button: on its circle, which Qt counts as the button.
    static void clickLabel(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

    bool shown(int id) const { return widget(id)->isVisible(); }

    void choose(int popup, MenuItemIndex item)
    {
        std::string error;
        ASSERT_EQ(StandIn::choosePopupItem(control(popup), item, &error), noErr) << error;
        m_mirror->sync();
    }

    QColor averageColour(int id) const
    {
        QImage picture = widget(id)->grab().toImage().convertToFormat(QImage::Format_RGB32);
        qint64 red = 0, green = 0, blue = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                QRgb pixel = picture.pixel(x, y);
                red += qRed(pixel);
                green += qGreen(pixel);
                blue += qBlue(pixel);
            }
        }
        qint64 count = std::max<qint64>(1, qint64(picture.width()) * picture.height());
        return QColor(int(red / count), int(green / count), int(blue / count));
    }

    // Each visible control of window that runs past the window's edge, or whose text does not fit
    // the room it is given (a label's or button's text cut short, a wrapped text's last lines cut
    // off), a line each; empty when everything fits.
    static std::string unfitControls(QWidget* window)
    {
        std::string unfit;
        for (QWidget* control : window->findChildren<QWidget*>()) {
            if (control->isWindow() || !control->isVisibleTo(window))
                continue;
            QRect at(control->mapTo(window, QPoint(0, 0)), control->size());
            auto* label = qobject_cast<QLabel*>(control);
            auto* box = qobject_cast<QAbstractButton*>(control);
            QString text = label ? label->text() : box ? box->text()
                                                       : control->objectName();
            std::string named = std::string(control->metaObject()->className()) + " \"" + text.toStdString() + "\"";
            if (!window->rect().contains(at))
                unfit += named + " at " + describe(at) + " runs past the window's edge at " + describe(window->rect()) + "\n";
            bool wraps = label && label->wordWrap();
            if (wraps && label->heightForWidth(label->width()) > label->height())
                unfit += named + " needs " + std::to_string(label->heightForWidth(label->width())) + " px of height, has " + std::to_string(label->height()) + "\n";
            if ((box || label) && !wraps && control->sizeHint().width() > control->width())
                unfit += named + " needs " + std::to_string(control->sizeHint().width()) + " px of width, has " + std::to_string(control->width()) + "\n";
        }
        return unfit;
    }

    static std::string describe(const QRect& rect)
    {
        return "(" + std::to_string(rect.left()) + ", " + std::to_string(rect.top()) + ") " + std::to_string(rect.width()) + "x" + std::to_string(rect.height());
    }

    TemporaryTree m_folder;
    std::unique_ptr<PrintDialog> m_dialog;
    std::unique_ptr<WindowMirror> m_mirror;
};

using ScreenModulePane = ScreenTest;

TEST_F(ScreenModulePane, AccountingOffShowsTheExplanationAndNoCodes)
{
    open();
    EXPECT_EQ(m_mirror->windowTitle(), "Print");
    EXPECT_EQ(widget<QComboBox>(100)->currentText(), "Off");
    EXPECT_TRUE(shown(91));
    EXPECT_TRUE(widget<QLabel>(91)->wordWrap());
    for (int hidden : { 200, 300, 301, 302, 303, 304, 92, 202, 203 })
        EXPECT_FALSE(shown(hidden)) << hidden;
}

TEST_F(ScreenModulePane, AskingForCodesShowsTheDefaultCodeFieldsDisabled)
{
    open();
    choose(100, 3);
    EXPECT_EQ(widget<QComboBox>(100)->currentText(), "Accounting");
    EXPECT_FALSE(shown(91));
    EXPECT_TRUE(widget<QRadioButton>(200)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(300)->isChecked());
    for (int field : { 301, 302, 303, 304 }) {
        EXPECT_TRUE(shown(field)) << field;
        EXPECT_FALSE(widget(field)->isEnabled()) << field;
    }
    EXPECT_TRUE(widget<QCheckBox>(202)->isEnabled());
    EXPECT_FALSE(shown(92)) << "no account type without Talliant accounting";
}

TEST_F(ScreenModulePane, ClickingTheMirroredRadioButtonGoesThroughTheToolbox)
{
    open();
    choose(100, 3);
    clickLabel(widget<QRadioButton>(300));
    EXPECT_EQ(GetControl32BitValue(control(300)), 1);
    EXPECT_TRUE(widget<QRadioButton>(300)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(200)->isChecked()) << "the model, not Qt, unchecks the other radio button";
    EXPECT_TRUE(widget(302)->isEnabled());
    EXPECT_FALSE(widget(202)->isEnabled());

    // A second click on a checked radio button leaves it checked, though Qt alone would uncheck it.
    clickLabel(widget<QRadioButton>(300));
    EXPECT_TRUE(widget<QRadioButton>(300)->isChecked());
}

TEST_F(ScreenModulePane, KeysInAFieldEditTheModelNotTheWidget)
{
    open();
    choose(100, 3);
    clickLabel(widget<QRadioButton>(300));
    auto* field = widget<QLineEdit>(302);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClicks(field, "bob");
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Left);
    EXPECT_EQ(controlText(control(302), kControlEditTextTextTag), "bo");
    EXPECT_EQ(field->text(), "bo");
    EXPECT_EQ(field->cursorPosition(), 1) << "the caret follows the field's selection";
}

TEST_F(ScreenModulePane, TalliantAccountingShowsItsHiddenItemAndTheAccountType)
{
    open(kExamples + "/settings/talliant-prompt.plist");
    auto* popup = widget<QComboBox>(100);
    EXPECT_EQ(popup->count(), 3) << "the chosen item is shown although the menu hides it";
    EXPECT_EQ(popup->currentIndex(), 1);
    EXPECT_TRUE(shown(92));
    EXPECT_TRUE(shown(93));
    EXPECT_TRUE(widget<QRadioButton>(200)->isChecked());

    choose(100, 3);
    EXPECT_EQ(popup->count(), 2) << "once left, the hidden item is no longer offered";
    EXPECT_EQ(popup->currentText(), "Accounting");
}

TEST_F(ScreenModulePane, DefaultCodesFromTheSettingsAppearInTheFields)
{
    open(writeSettings(2, 0, 1, "alice", "4711"));
    EXPECT_TRUE(widget<QRadioButton>(300)->isChecked());
    EXPECT_EQ(widget<QLineEdit>(302)->text(), "alice");
    EXPECT_EQ(widget<QLineEdit>(304)->text(), "4711");
    EXPECT_TRUE(widget(302)->isEnabled());
    EXPECT_TRUE(shown(92));
    EXPECT_TRUE(widget(92)->isEnabled());
}

TEST_F(ScreenModulePane, TheAccountIdMovesUpWhenThereIsNoAccountType)
{
    open(writeSettings(2, 1, 1));
    QRect talliantLabel = widget(303)->geometry();
    QRect talliantField = widget(304)->geometry();
    choose(100, 3);
    EXPECT_LT(widget(303)->geometry().top(), talliantLabel.top());
    EXPECT_LT(widget(304)->geometry().top(), talliantField.top());
    EXPECT_EQ(widget(304)->geometry().left(), talliantField.left());
    EXPECT_EQ(widget(303)->geometry().top(), 206) << "placed at the control's window bounds";
}

TEST_F(ScreenModulePane, ThePictureShowsWhetherAccountingIsOn)
{
    open();
    QColor off = averageColour(101);
    choose(100, 3);
    QColor on = averageColour(101);
    EXPECT_NE(off, on);
    EXPECT_GT(on.green(), on.red()) << "accounting on is green";
    EXPECT_LT(std::abs(off.red() - off.green()), 24) << "accounting off is grey";
}

TEST_F(ScreenModulePane, ASnapshotIsAPictureOfTheWholeWindow)
{
    open();
    std::string error;
    std::string picturePath = path("dialog.png");
    ASSERT_TRUE(snapshotWindow(m_dialog->window(), picturePath, &error)) << error;
    QImage picture(QString::fromStdString(picturePath));
    ASSERT_FALSE(picture.isNull());
    Rect content = {};
    GetWindowContentBounds(m_dialog->window(), &content);
    EXPECT_EQ(picture.size(), QSize(content.right - content.left, content.bottom - content.top));

    EXPECT_FALSE(snapshotWindow(m_dialog->window(), path("missing/dialog.png"), &error));
    EXPECT_NE(error.find("missing/dialog.png"), std::string::npos) << error;
}

TEST_F(ScreenModulePane, GermanTextsInTheGermanLanguage)
{
    setenv("LANGUAGE", "de", 1);
    open();
    choose(100, 3);
    EXPECT_EQ(widget<QRadioButton>(200)->text(), "Beim Drucken nach den Codes fragen");
    EXPECT_EQ(widget<QComboBox>(100)->currentText(), "Abrechnung");
}

// The whole dialog on screen: widgets found as a person finds them, among the top-level windows.
class ScreenModuleDialog : public ScreenTest {
protected:
    static WindowMirror* topMirror(bool modal)
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* mirror = qobject_cast<WindowMirror*>(window);
            if (mirror && mirror->isVisible() && (mirror->windowModality() == Qt::ApplicationModal) == modal)
                return mirror;
        }
        return nullptr;
    }

    template<typename Widget>
    static Widget* child(WindowMirror* mirror, const QString& name)
    {
        Widget* found = mirror ? mirror->findChild<Widget*>(name) : nullptr;
        EXPECT_TRUE(found) << name.toStdString();
        return found;
    }

    // Runs the dialog on screen, with act doing what the person does once it is up.
    bool runWith(std::function<void(WindowMirror* dialog)> act, DialogPurpose purpose = DialogPurpose::Print, CodesKeepingShown codesKeeping = {})
    {
        m_dialog = std::make_unique<PrintDialog>();
        PrintDialogSetup setup { kExamples + "/Movra-RK7700.ppd", "", ACCOUNTING_BUNDLE_DIR, PRIMARY_PDE_BUNDLE_DIR, "", {}, purpose, {}, "movra",
            codesKeeping };
        std::string error;
        EXPECT_TRUE(m_dialog->open(setup, &error)) << error;
        QTimer::singleShot(0, [act] {
            WindowMirror* dialog = topMirror(false);
            EXPECT_TRUE(dialog);
            act(dialog);
        });
        bool printed = runDialogOnScreen(*m_dialog, &error);
        EXPECT_EQ(error, "");
        return printed;
    }

    static void switchAccountingOn(WindowMirror* dialog)
    {
        // Down from Off lands on Accounting: the hidden Talliant item is not a row.
        QTest::keyClick(child<QComboBox>(dialog, "100"), Qt::Key_Down);
    }
};

TEST_F(ScreenModuleDialog, ThePromptAnsweredByClicksAndKeysPrintsWithTheTypedCodes)
{
    QString shownUserID;
    bool printed = runWith([&](WindowMirror* dialog) {
        switchAccountingOn(dialog);
        QTimer::singleShot(0, [&] {
            WindowMirror* prompt = topMirror(true);
            ASSERT_TRUE(prompt);
            auto* userID = child<QLineEdit>(prompt, "501");
            auto* accountID = child<QLineEdit>(prompt, "503");
            QTest::mouseClick(userID, Qt::LeftButton);
            QTest::keyClicks(userID, "alice");
            QTest::mouseClick(accountID, Qt::LeftButton);
            QTest::keyClicks(accountID, "42");
            shownUserID = userID->text();
            QTest::mouseClick(child<QPushButton>(prompt, "1000"), Qt::LeftButton);
        });
        QTest::mouseClick(child<QPushButton>(dialog, "print"), Qt::LeftButton);
    });
    EXPECT_TRUE(printed);
    EXPECT_EQ(shownUserID, QString(5, QChar(0x2022))) << "a concealed code shows as bullets";
    EXPECT_FALSE(m_dialog->isOpen());

    std::string error;
    std::string saved = path("job.plist");
    ASSERT_TRUE(m_dialog->saveSettings(saved, &error)) << error;
    PMTicketRef ticket = nullptr;
    ASSERT_EQ(PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket), noErr);
    ASSERT_EQ(StandIn::readSettingsFile(ticket, saved, &error), noErr) << error;
    std::map<std::string, std::string> codes;
    for (const auto& item : StandIn::ticketItems(ticket))
        codes[item.key] = item.string;
    PMRelease(ticket);
    EXPECT_EQ(codes["com.movra.Act.trel.UID"], "alice");
    EXPECT_EQ(codes["com.movra.Act.trel.AID"], "42");
}

TEST_F(ScreenModuleDialog, ClosingThePromptCancelsItAndClosingTheDialogPrintsNothing)
{
    bool promptSeen = false;
    QMessageBox::Icon alertIcon = QMessageBox::NoIcon;
    bool printed = runWith([&](WindowMirror* dialog) {
        switchAccountingOn(dialog);
        QTimer::singleShot(0, [&] {
            WindowMirror* prompt = topMirror(true);
            promptSeen = prompt;
            // Cancelling the prompt brings the pane's stop alert, which the person dismisses.
            QTimer::singleShot(0, [&] {
                auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_TRUE(alert);
                alertIcon = alert->icon();
                alert->accept();
            });
            if (prompt)
                prompt->close();
        });
        QTest::mouseClick(child<QPushButton>(dialog, "print"), Qt::LeftButton);
        EXPECT_FALSE(topMirror(true)) << "the prompt went with its Cancel";
        EXPECT_TRUE(m_dialog->isOpen());
        dialog->close();
    });
    EXPECT_TRUE(promptSeen);
    EXPECT_EQ(alertIcon, QMessageBox::Critical);
    EXPECT_FALSE(printed);
    EXPECT_FALSE(m_dialog->isOpen());
}

TEST_F(ScreenModuleDialog, TheCancelButtonEndsTheDialogWithoutPrinting)
{
    bool printed = runWith([](WindowMirror* dialog) { QTest::mouseClick(child<QPushButton>(dialog, "cancel"), Qt::LeftButton); });
    EXPECT_FALSE(printed);
    EXPECT_FALSE(m_dialog->isOpen());
}

TEST_F(ScreenModuleDialog, SaveStandsInPrintsPlaceAndNeverPrompts)
{
    // Should Save ever reach the pane's Print handler, the watchdog answers the prompt and its
    // alert, and should the dialog never end, closes it, so that the test fails instead of hanging.
    bool prompted = false;
    int ticks = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (WindowMirror* prompt = topMirror(true)) {
            prompted = true;
            prompt->close();
        } else if (auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            alert->accept();
        } else if (++ticks == 100) {
            if (WindowMirror* dialog = topMirror(false))
                dialog->close();
        }
    });
    watchdog.start(50);
    QString saveTitle;
    bool printShown = true;
    bool saved = runWith(
        [&](WindowMirror* dialog) {
            // Accounting on, asking for the codes at Print.
            switchAccountingOn(dialog);
            auto* save = child<QPushButton>(dialog, "save");
            ASSERT_TRUE(save);
            saveTitle = save->text();
            printShown = child<QPushButton>(dialog, "print")->isVisible();
            QTest::mouseClick(save, Qt::LeftButton);
        },
        DialogPurpose::Configure);
    EXPECT_TRUE(saved);
    EXPECT_FALSE(prompted);
    EXPECT_EQ(saveTitle, "Save");
    EXPECT_FALSE(printShown);
    EXPECT_FALSE(m_dialog->isOpen());
    std::map<std::string, SInt32> values;
    for (const auto& item : m_dialog->printSettings())
        values[item.key] = item.integer;
    EXPECT_EQ(values["com.movra.Act.trel.On"], 3) << "Sync ran towards the ticket";
    EXPECT_EQ(values["com.movra.Act.trel.Prm"], 1);
}

TEST_F(ScreenModuleDialog, TheSettingsWindowSaysWhereTheCodesAreKeptAndForgetsOnlyWhenTheAnswerIsForget)
{
    QString line;
    bool inFile = false;
    std::string question;
    bool openAfterCancel = false;
    bool saved = runWith(
        [&](WindowMirror* dialog) {
            line = child<QLabel>(dialog, "2000")->text();
            inFile = child<QCheckBox>(dialog, "2001")->isChecked();
            QTimer::singleShot(0, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    question = box->text().toStdString();
            });
            answerWith("Cancel");
            QTest::mouseClick(child<QPushButton>(dialog, "forget"), Qt::LeftButton);
            openAfterCancel = m_dialog->isOpen();
            answerWith("Forget");
            QTest::mouseClick(child<QPushButton>(dialog, "forget"), Qt::LeftButton);
        },
        DialogPurpose::Configure, { "The default codes are kept in the desktop's keyring.", true });
    EXPECT_EQ(line.toStdString(), "The default codes are kept in the desktop's keyring.");
    EXPECT_TRUE(inFile);
    EXPECT_EQ(question, "Forget the accounting settings stored for movra?");
    EXPECT_TRUE(openAfterCancel) << "Cancel keeps the settings and the window";
    EXPECT_FALSE(saved);
    EXPECT_FALSE(m_dialog->isOpen());
    EXPECT_TRUE(m_dialog->forgetChosen());
}

// The small windows in which a program speaks to its person wait for the person's answer, and
// give it back as it was given.
TEST_F(ScreenTest, TheProgramsQuestionsAreAnsweredInTheirWindows)
{
    std::string error;
    answerWith("Choose", 2);
    EXPECT_EQ(chooseOne("Which printer?", { "movra", "movra-hold", "office" }, 0, &error), 2);
    answerWith("Cancel");
    EXPECT_EQ(chooseOne("Which printer?", { "movra", "office" }, 1, &error), -1) << "none chosen";
    answerWith("Start Afresh");
    EXPECT_TRUE(askYesNo("The settings cannot be read.", "Start afresh?", "Start Afresh", "Cancel", &error));
    answerWith("Cancel");
    EXPECT_FALSE(askYesNo("The settings cannot be read.", "Start afresh?", "Start Afresh", "Cancel", &error));
    answerWith("OK");
    EXPECT_TRUE(showMessage("The accounting settings cannot be shown.", "lumio has no accounting settings", &error)) << error;

    // A print server's password: the window names the server in its title and its body, says
    // when the server refused the last one, and Sign In waits for a password.
    PasswordQuestion question { "the CUPS server at print.example.com:631", "print.example.com:631", "alice", true };
    QTimer::singleShot(0, [] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->windowTitle(), "Print Server print.example.com:631");
        QString body;
        for (auto* label : window->findChildren<QLabel*>())
            body += label->text() + "\n";
        EXPECT_TRUE(body.contains("print.example.com:631 asks for the password of alice")) << body.toStdString();
        EXPECT_TRUE(body.contains("refused")) << body.toStdString();
        QPushButton* signIn = nullptr;
        for (auto* push : window->findChildren<QPushButton*>())
            signIn = push->text() == "Sign In" ? push : signIn;
        ASSERT_TRUE(signIn);
        EXPECT_FALSE(signIn->isEnabled());
        auto* field = window->findChild<QLineEdit*>();
        EXPECT_EQ(field->echoMode(), QLineEdit::Password);
        QTest::keyClicks(field, "s3cret pass");
        window->findChild<QCheckBox*>()->setChecked(true);
        signIn->click();
    });
    PasswordAnswer answer;
    EXPECT_TRUE(askPassword(question, &answer, &error)) << error;
    EXPECT_EQ(answer.password, "s3cret pass");
    EXPECT_TRUE(answer.remember);
    answerWith("Cancel");
    PasswordAnswer cancelled;
    EXPECT_FALSE(askPassword(question, &cancelled, &error));
    EXPECT_EQ(error, "") << "a cancel is the person's choice, not a failure";
    EXPECT_EQ(cancelled.password, "");
}

// The window of a printer that asks for codes of its own: it names the document and the queue, has
// a field per code with its label and bounds, and takes its answer only once every field fits.
TEST_F(ScreenTest, TheCodesWindowTakesItsAnswerOnlyOnceEveryCodeFits)
{
    CodesForm form;
    form.document = "report.pdf";
    form.queue = "office";
    form.fields = { { { .name = "UserCode", .label = "User <b>code</b>", .kind = CodeKind::Digits, .minLength = 4, .maxLength = 8 }, "" },
        { { .name = "Account", .label = "Account", .kind = CodeKind::Characters, .minLength = 0, .maxLength = 8 }, "" },
        { { .name = "Pin", .label = "PIN", .kind = CodeKind::Digits, .minLength = 4, .maxLength = 4 }, "1234" } };
    auto text = [](QWidget* window) {
        QString shown;
        for (auto* label : window->findChildren<QLabel*>())
            shown += (label->isHidden() ? "" : label->text()) + "\n";
        return shown.toStdString();
    };
    auto button = [](QWidget* window, const QString& title) {
        QPushButton* found = nullptr;
        for (auto* push : window->findChildren<QPushButton*>())
            found = push->text() == title ? push : found;
        return found;
    };
    QTimer::singleShot(0, [&] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->windowTitle(), "Accounting \u2014 report.pdf \u2014 office");
        std::string shown = text(window);
        EXPECT_NE(shown.find("\u201Creport.pdf\u201D on office"), std::string::npos) << shown;
        for (const char* line : { "\nUser <b>code</b>:\n", "\n4 to 8 digits\n", "\nAccount:\n", "\nup to 8 characters\n", "\nexactly 4 digits\n" })
            EXPECT_NE(shown.find(line), std::string::npos) << line << " in " << shown;
        for (auto* label : window->findChildren<QLabel*>()) {
            if (label->text().contains("<b>")) {
                EXPECT_EQ(label->textFormat(), Qt::PlainText) << "a PPD's label is text, never markup";
            }
        }
        EXPECT_EQ(window->findChildren<QCheckBox*>().size(), 0) << "the prompt has no settings";
        auto labels = window->findChildren<QLabel*>();
        auto account = std::find_if(labels.begin(), labels.end(), [](QLabel* label) { return label->text() == "Account:"; });
        ASSERT_NE(account, labels.end());
        EXPECT_EQ((*account)->buddy(), window->findChild<QLineEdit*>("Account")) << "a screen reader names the field by its label";
        auto* userCode = window->findChild<QLineEdit*>("UserCode");
        auto* problem = window->findChild<QLabel*>("problem:UserCode");
        ASSERT_TRUE(userCode && problem);
        EXPECT_EQ(userCode->echoMode(), QLineEdit::Password);
        EXPECT_EQ(window->findChild<QLineEdit*>("Pin")->text(), "1234");
        QPushButton* print = button(window, "Print");
        ASSERT_TRUE(print);
        for (const char* unfit : { "", "12a4", "123" }) {
            userCode->setText(unfit);
            EXPECT_FALSE(print->isEnabled()) << unfit;
            EXPECT_FALSE(problem->isHidden()) << unfit;
            EXPECT_FALSE(problem->text().isEmpty()) << unfit;
            EXPECT_TRUE(unfit[0] == '\0' || !problem->text().contains(unfit)) << "the problem never quotes the code";
        }
        userCode->clear();
        QTest::keyClicks(userCode, "12345");
        EXPECT_TRUE(print->isEnabled());
        EXPECT_TRUE(problem->isHidden());
        print->click();
    });
    std::string error;
    EXPECT_EQ(askCodes(&form, &error), CodesFormAnswer::Accepted) << error;
    EXPECT_EQ(form.fields[0].value, "12345");
    EXPECT_EQ(form.fields[1].value, "");
    EXPECT_EQ(form.fields[2].value, "1234");

    // The queue's settings: the codes are needed only when every print goes with them.
    form.purpose = CodesForm::Purpose::Settings;
    form.concealed = false;
    form.fields[0].value.clear();
    QTimer::singleShot(0, [&] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->windowTitle(), "Accounting Settings \u2014 office");
        std::string shown = text(window);
        EXPECT_NE(shown.find("printer of office"), std::string::npos) << shown;
        auto* userCode = window->findChild<QLineEdit*>("UserCode");
        EXPECT_EQ(userCode->echoMode(), QLineEdit::Normal);
        window->findChild<QCheckBox*>("conceal")->setChecked(true);
        EXPECT_EQ(userCode->echoMode(), QLineEdit::Password) << "concealed as soon as it is checked";
        QPushButton* save = button(window, "Save");
        ASSERT_TRUE(save);
        EXPECT_TRUE(save->isEnabled()) << "asked for with each print, the codes may be left empty";
        window->findChild<QCheckBox*>("prompt")->setChecked(false);
        EXPECT_FALSE(save->isEnabled()) << "every print goes with the default codes";
        window->findChild<QCheckBox*>("keyring")->setChecked(false);
        QTest::keyClicks(userCode, "5678");
        EXPECT_TRUE(save->isEnabled());
        save->click();
    });
    EXPECT_EQ(askCodes(&form, &error), CodesFormAnswer::Accepted) << error;
    EXPECT_EQ(form.fields[0].value, "5678");
    EXPECT_TRUE(form.accountingOn);
    EXPECT_FALSE(form.askWhenPrinting);
    EXPECT_TRUE(form.concealed);
    EXPECT_FALSE(form.keepInKeyring);

    QTimer::singleShot(0, [] {
        QWidget* window = QApplication::activeModalWidget();
        ASSERT_TRUE(window);
        window->findChild<QLineEdit*>("UserCode")->setText("9999");
        window->findChild<QCheckBox*>("accounting")->setChecked(false);
    });
    answerWith("Cancel");
    EXPECT_EQ(askCodes(&form, &error), CodesFormAnswer::Cancelled);
    EXPECT_EQ(error, "");
    EXPECT_EQ(form.fields[0].value, "5678") << "Cancel changes nothing";
    EXPECT_TRUE(form.accountingOn);
}

// Every window a person meets, in each language the product speaks: every control lies within its
// window and shows its whole text, and a printer's codes that its PPD gives no text for are
// labelled in the person's language.
struct WindowLanguage {
    const char* language;
    // The label of an IPP printer's job-account-id in the codes window.
    const char* accountLabel;
};

void PrintTo(const WindowLanguage& language, std::ostream* out)
{
    *out << language.language;
}

class EveryWindowInEachLanguage : public ScreenModuleDialog, public ::testing::WithParamInterface<WindowLanguage> {
protected:
    void SetUp() override
    {
        ScreenModuleDialog::SetUp();
        setenv("LANGUAGE", GetParam().language, 1);
    }

    // The pane of the Print dialog with the settings given, after the popup's choice (none: 0).
    void expectPaneFits(const std::string& settings, MenuItemIndex accounting, const char* look)
    {
        m_mirror.reset();
        open(settings);
        if (accounting)
            choose(100, accounting);
        EXPECT_EQ(unfitControls(m_mirror.get()), "") << look;
        m_mirror.reset();
        m_dialog.reset();
    }

    // The window that comes up next: it fits, and is then cancelled; its labels' texts in *labels.
    static void expectNextWindowFits(const char* what, QString* labels = nullptr)
    {
        QTimer::singleShot(0, [what, labels] {
            auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_TRUE(window) << what;
            EXPECT_EQ(unfitControls(window), "") << what;
            for (auto* label : window->findChildren<QLabel*>()) {
                if (labels)
                    *labels += label->text() + "\n";
            }
            window->reject();
        });
    }
};

TEST_P(EveryWindowInEachLanguage, ShowsEveryControlWholeWithinItsWindow)
{
    expectPaneFits("", 0, "the pane, accounting off");
    expectPaneFits("", 3, "the pane, accounting on");
    expectPaneFits(kExamples + "/settings/talliant-prompt.plist", 0, "the pane, Talliant accounting");

    // The settings window, with the longest line of where the codes are kept.
    std::string line = programText("Codes Move To Keyring", { "/home/alice/.config/accounting-pane/queues/movra.plist" });
    runWith(
        [](WindowMirror* dialog) {
            EXPECT_EQ(unfitControls(dialog), "") << "the settings window";
            QTest::mouseClick(child<QPushButton>(dialog, "cancel"), Qt::LeftButton);
        },
        DialogPurpose::Configure, { line, true });

    // The pane's prompt over the Print dialog, and the alert its Cancel brings.
    runWith([](WindowMirror* dialog) {
        switchAccountingOn(dialog);
        QTimer::singleShot(0, [] {
            WindowMirror* prompt = topMirror(true);
            ASSERT_TRUE(prompt);
            EXPECT_EQ(unfitControls(prompt), "") << "the prompt";
            QTimer::singleShot(0, [] {
                if (auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    alert->accept();
            });
            prompt->close();
        });
        QTest::mouseClick(child<QPushButton>(dialog, "print"), Qt::LeftButton);
        dialog->close();
    });

    // An IPP printer's codes window, as a job's prompt and as the queue's settings.
    PrinterCodes codes;
    PrinterCodeAttributes attributes;
    attributes.accountID = true;
    attributes.accountingUserID = true;
    attributes.passwordMaxLength = 8;
    addPrinterAttributes(&codes, attributes);
    CodesForm form;
    form.document = "quarterly-report.pdf";
    form.queue = "office";
    form.fields = codeFields(codes, nullptr);
    std::string error;
    QString labels;
    expectNextWindowFits("the codes window", &labels);
    EXPECT_EQ(askCodes(&form, &error), CodesFormAnswer::Cancelled) << error;
    EXPECT_TRUE(labels.contains(QString::fromUtf8(GetParam().accountLabel) + "\n")) << labels.toStdString();
    form.purpose = CodesForm::Purpose::Settings;
    expectNextWindowFits("the codes settings window");
    EXPECT_EQ(askCodes(&form, &error), CodesFormAnswer::Cancelled) << error;

    // A print server's password window, after a refusal.
    PasswordQuestion question { "the CUPS server at print.example.com:631", "print.example.com:631", "alice", true };
    PasswordAnswer answer;
    expectNextWindowFits("the password window");
    EXPECT_FALSE(askPassword(question, &answer, &error));
}

INSTANTIATE_TEST_SUITE_P(Languages, EveryWindowInEachLanguage,
    ::testing::Values(WindowLanguage { "en", "Account ID:" }, WindowLanguage { "de", "Konto-ID:" }, WindowLanguage { "fr", "ID de compte :" },
        WindowLanguage { "es", "ID de cuenta:" }),
    [](const auto& info) { return std::string(info.param.language); });

}
