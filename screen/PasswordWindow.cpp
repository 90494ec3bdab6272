#include "screen/PasswordWindow.h"

#include "screen/QtApplication.h"
#include "screen/QuestionWindow.h"

#include "program/ProgramTexts.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

bool askPassword(const PasswordQuestion& question, PasswordAnswer* answer, std::string* error)
{
    error->clear();
    if (!screenApplication(false, error))
        return false;
    QDialog window;
    window.setWindowTitle(QString::fromStdString(programText("Password Window Title", { question.address })));
    QVBoxLayout* layout = questionLayout(&window);
    // The body names the server too: a desktop without title bars never shows the title.
    auto* asked = new QLabel(QString::fromStdString(programText("Password Question", { question.address, question.user })), &window);
    asked->setWordWrap(true);
    layout->addWidget(asked);
    if (question.refused) {
        auto* refused = new QLabel(QString::fromStdString(programText("Password Refused")), &window);
        refused->setWordWrap(true);
        layout->addWidget(refused);
    }
    auto* label = new QLabel(QString::fromStdString(programText("Password Label")), &window);
    auto* password = new QLineEdit(&window);
    password->setEchoMode(QLineEdit::Password);
    label->setBuddy(password);
    layout->addWidget(label);
    layout->addWidget(password);
    auto* remember = new QCheckBox(QString::fromStdString(programText("Remember Password")), &window);
    layout->addWidget(remember);
    auto* buttons = new QDialogButtonBox(&window);
    buttons->addButton(QString::fromStdString(programText("Cancel")), QDialogButtonBox::RejectRole);
    QPushButton* signIn = buttons->addButton(QString::fromStdString(programText("Sign In")), QDialogButtonBox::AcceptRole);
    signIn->setDefault(true);
    signIn->setEnabled(false);
    QObject::connect(password, &QLineEdit::textChanged, signIn, [signIn](const QString& text) { signIn->setEnabled(!text.isEmpty()); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    layout->addWidget(buttons);
    password->setFocus();
    bool given = window.exec() == QDialog::Accepted && !password->text().isEmpty();
    if (given) {
        answer->password = password->text().toStdString();
        answer->remember = remember->isChecked();
    }
    return given;
}
