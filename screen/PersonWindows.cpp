#include "screen/PersonWindows.h"

#include "screen/QtApplication.h"

#include "program/ProgramTexts.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
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
