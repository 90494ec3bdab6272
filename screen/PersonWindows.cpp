#include "screen/PersonWindows.h"

#include "screen/QtApplication.h"

#include "program/ProgramTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString productTitle()
{
    return QString::fromStdString(programText("Accounting"));
}

}

bool showMessage(const std::string& heading, const std::string& text, std::string* error)
{
    if (!screenApplication(false, error))
        return false;
    QMessageBox box(QMessageBox::Warning, productTitle(), QString::fromStdString(heading), QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(text));
    box.exec();
    return true;
}

int chooseOne(const std::string& question, const std::vector<std::string>& items, int preselected, std::string* error)
{
    if (!screenApplication(false, error))
        return -1;
    QDialog window;
    window.setWindowTitle(productTitle());
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(QString::fromStdString(question), &window);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* list = new QListWidget(&window);
    for (const std::string& item : items)
        list->addItem(QString::fromStdString(item));
    list->setCurrentRow(preselected >= 0 && preselected < static_cast<int>(items.size()) ? preselected : 0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&window);
    buttons->addButton(QString::fromStdString(programText("Cancel")), QDialogButtonBox::RejectRole);
    buttons->addButton(QString::fromStdString(programText("Choose")), QDialogButtonBox::AcceptRole)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &window, &QDialog::accept);
    layout->addWidget(buttons);
    return window.exec() == QDialog::Accepted ? list->currentRow() : -1;
}

bool askYesNo(const std::string& question, const std::string& detail, const std::string& yes, const std::string& no, std::string* error)
{
    if (!screenApplication(false, error))
        return false;
    QMessageBox box(QMessageBox::Question, productTitle(), QString::fromStdString(question), QMessageBox::NoButton);
    box.setInformativeText(QString::fromStdString(detail));
    QPushButton* first = box.addButton(QString::fromStdString(yes), QMessageBox::AcceptRole);
    box.addButton(QString::fromStdString(no), QMessageBox::RejectRole);
    box.setDefaultButton(first);
    box.exec();
    return box.clickedButton() == first;
}

bool askPassword(const PasswordQuestion& question, PasswordAnswer* answer, std::string* error)
{
    error->clear();
    if (!screenApplication(false, error))
        return false;
    QDialog window;
    window.setWindowTitle(QString::fromStdString(programText("Password Window Title", { question.address })));
    auto* layout = new QVBoxLayout(&window);
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
