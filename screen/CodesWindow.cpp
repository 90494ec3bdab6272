#include "screen/CodesWindow.h"

#include "screen/QtApplication.h"

#include "queues/CodeValues.h"
#include "program/PrintableText.h"
#include "program/ProgramTexts.h"
#include "program/SecretWipe.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPalette>
#include <QVBoxLayout>

#include <vector>

namespace {

// A line of text from outside (a document's name, a PPD's label) shown as plain text: a label
// that took it for rich text would draw whatever markup it held.
QLabel* textLine(const std::string& text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QCheckBox* checkBox(const char* name, const char* text, bool checked, QWidget* parent)
{
    auto* box = new QCheckBox(QString::fromStdString(programText(text)), parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

// Wide enough for a problem line on one line, and for the title to show the document and queue.
constexpr int kWindowWidth = 480;

// A line saying why what a field holds will not do, in the colour of a warning.
QLabel* problemLine(QWidget* parent)
{
    QLabel* line = textLine("", parent);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, QColor(0xA0, 0x10, 0x10));
    line->setPalette(palette);
    return line;
}

// A code's field and the lines under it.
struct FieldWidgets {
    QLineEdit* edit;
    QLabel* problem;
};

}

std::string codeBoundsText(const PrinterCode& code)
{
    if (code.kind == CodeKind::Listed)
        return programText("Code Bounds Listed");
    bool digits = code.kind == CodeKind::Digits;
    std::string least = std::to_string(code.minLength);
    std::string most = std::to_string(code.maxLength);
    if (code.minLength == code.maxLength)
        return programText(digits ? "Code Bounds Exactly Digits" : "Code Bounds Exactly Characters", { most });
    if (code.minLength == 0)
        return programText(digits ? "Code Bounds Up To Digits" : "Code Bounds Up To Characters", { most });
    return programText(digits ? "Code Bounds Digits" : "Code Bounds Characters", { least, most });
}

CodesFormAnswer askCodes(CodesForm* form, std::string* error)
{
    error->clear();
    if (!screenApplication(false, error))
        return CodesFormAnswer::Unanswered;
    bool settings = form->purpose == CodesForm::Purpose::Settings;
    std::string queue = printableText(form->queue);
    QDialog window;
    std::string document = form->document.empty() ? programText("Your Print") : printableText(form->document);
    window.setWindowTitle(QString::fromStdString(settings ? programText("Settings Window Title", { queue })
                                                          : programText("Codes Window Title", { document, queue })));
    auto* layout = new QVBoxLayout(&window);
    // The window grows as a field's problem line comes up or grows longer.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addStrut(kWindowWidth);
    // The body names the document and the queue too: a desktop without title bars never shows
    // the title.
    std::string quoted = form->document.empty() ? document : programText("Quoted Document", { document });
    layout->addWidget(textLine(settings ? programText("Codes Settings Question", { queue }) : programText("Codes Question", { quoted, queue }), &window));
    if (!form->note.empty())
        layout->addWidget(textLine(form->note, &window));

    // The settings' check boxes; the prompt has none.
    QCheckBox* accounting = nullptr;
    QCheckBox* asked = nullptr;
    QCheckBox* conceal = nullptr;
    QCheckBox* keyring = nullptr;
    if (settings) {
        accounting = checkBox("accounting", "Codes Accounting On", form->accountingOn, &window);
        asked = checkBox("prompt", "Codes Ask When Printing", form->askWhenPrinting, &window);
        layout->addWidget(accounting);
        layout->addWidget(asked);
    }
    auto* fields = new QFormLayout;
    layout->addLayout(fields);
    std::vector<FieldWidgets> shown;
    for (const CodeField& field : form->fields) {
        auto* column = new QWidget(&window);
        auto* lines = new QVBoxLayout(column);
        lines->setContentsMargins(0, 0, 0, 0);
        auto* edit = new QLineEdit(QString::fromStdString(field.value), column);
        edit->setObjectName(QString::fromStdString(field.code.name));
        edit->setEchoMode(form->concealed ? QLineEdit::Password : QLineEdit::Normal);
        lines->addWidget(edit);
        lines->addWidget(textLine(codeBoundsText(field.code), column));
        QLabel* problem = problemLine(column);
        problem->setObjectName(QString::fromStdString("problem:" + field.code.name));
        lines->addWidget(problem);
        QLabel* label = textLine(programText("Code Label", { printableText(field.code.label) }), &window);
        label->setBuddy(edit);
        fields->addRow(label, column);
        shown.push_back({ edit, problem });
    }
    if (settings) {
        conceal = checkBox("conceal", "Codes Conceal", form->concealed, &window);
        keyring = checkBox("keyring", "Codes Keep In Keyring", form->keepInKeyring, &window);
        layout->addWidget(conceal);
        layout->addWidget(keyring);
    }

    // Codes that cannot go together, each fine alone.
    QLabel* conflict = problemLine(&window);
    conflict->setObjectName("problem:fields");
    layout->addWidget(conflict);

    auto* buttons = new QDialogButtonBox(&window);
    buttons->addButton(QString::fromStdString(programText("Cancel")), QDialogButtonBox::RejectRole);
    QPushButton* accept = buttons->addButton(QString::fromStdString(programText(settings ? "Save" : "Print")), QDialogButtonBox::AcceptRole);
    accept->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    layout->addWidget(buttons);

    // The window's check boxes as they stand, which say whether an empty field will do.
    CodesForm answered;
    answered.purpose = form->purpose;
    answered.concealed = form->concealed;
    auto takeChecks = [&] {
        if (settings) {
            answered.accountingOn = accounting->isChecked();
            answered.askWhenPrinting = asked->isChecked();
            answered.concealed = conceal->isChecked();
            answered.keepInKeyring = keyring->isChecked();
        }
    };
    auto showProblem = [](QLabel* line, const std::string& problem) {
        line->setText(QString::fromStdString(problem));
        line->setVisible(!problem.empty());
        return problem.empty();
    };
    auto refresh = [&] {
        takeChecks();
        std::vector<CodeField> typed;
        for (size_t index = 0; index < shown.size(); ++index)
            typed.push_back({ form->fields[index].code, shown[index].edit->text().toStdString() });
        bool fit = true;
        for (size_t index = 0; index < shown.size(); ++index) {
            fit = showProblem(shown[index].problem, codeFieldProblem(answered, typed[index])) && fit;
            shown[index].edit->setEchoMode(answered.concealed ? QLineEdit::Password : QLineEdit::Normal);
        }
        fit = showProblem(conflict, fieldsProblem(typed)) && fit;
        for (CodeField& field : typed)
            wipeSecret(field.value);
        accept->setEnabled(fit);
        return fit;
    };
    for (const FieldWidgets& field : shown)
        QObject::connect(field.edit, &QLineEdit::textChanged, &window, refresh);
    for (QCheckBox* box : { accounting, asked, conceal, keyring }) {
        if (box)
            QObject::connect(box, &QCheckBox::toggled, &window, refresh);
    }
    refresh();
    if (!shown.empty())
        shown.front().edit->setFocus();

    if (window.exec() != QDialog::Accepted || !refresh())
        return CodesFormAnswer::Cancelled;
    takeChecks();
    if (settings) {
        form->accountingOn = answered.accountingOn;
        form->askWhenPrinting = answered.askWhenPrinting;
        form->keepInKeyring = answered.keepInKeyring;
        form->concealed = answered.concealed;
    }
    for (size_t index = 0; index < shown.size(); ++index) {
        wipeSecret(form->fields[index].value);
        form->fields[index].value = shown[index].edit->text().toStdString();
        shown[index].edit->clear();
    }
    return CodesFormAnswer::Accepted;
}
