#include "screen/CodesWindow.h"

#include "screen/QtApplication.h"
#include "screen/QuestionWindow.h"

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

// A line saying why what a field holds will not do, in the colour of a warning.
QLabel* problemLine(QWidget* parent)
{
    QLabel* line = textLine("", parent);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, QColor(0xA0, 0x10, 0x10));
    line->setPalette(palette);
    return line;
}

// The window of one form: built from it, checked again as the person types, and read back into
// it once the person accepts.
class CodesDialog {
public:
    explicit CodesDialog(const CodesForm& form);
    // Shows why what each field holds will not do, and enables Print or Save only when nothing is
    // wrong; true then.
    bool refresh();
    // Waits for the person: true when they accepted codes that fit.
    bool exec() { return m_window.exec() == QDialog::Accepted && refresh(); }
    // The person's answer into form: the settings' check boxes, and each field's value, taken out
    // of the window.
    void answer(CodesForm* form);

private:
    void addFields(QVBoxLayout* layout);
    void addButtons(QVBoxLayout* layout);
    // The window's check boxes as they stand, which say whether an empty field will do.
    CodesForm checks() const;

    // A code's field and the lines under it.
    struct FieldWidgets {
        QLineEdit* edit;
        QLabel* problem;
    };

    const CodesForm& m_form;
    bool m_settings;
    QDialog m_window;
    // The settings' check boxes; the prompt has none.
    QCheckBox* m_accounting { nullptr };
    QCheckBox* m_asked { nullptr };
    QCheckBox* m_conceal { nullptr };
    QCheckBox* m_keyring { nullptr };
    std::vector<FieldWidgets> m_fields;
    // Codes that cannot go together, each fine alone.
    QLabel* m_conflict { nullptr };
    QPushButton* m_accept { nullptr };
};

CodesDialog::CodesDialog(const CodesForm& form)
    : m_form(form)
    , m_settings(form.purpose == CodesForm::Purpose::Settings)
{
    std::string queue = printableText(form.queue);
    std::string document = form.document.empty() ? programText("Your Print") : printableText(form.document);
    m_window.setWindowTitle(QString::fromStdString(m_settings ? programText("Settings Window Title", { queue })
                                                              : programText("Codes Window Title", { document, queue })));
    // The window grows as a field's problem line comes up or grows longer.
    QVBoxLayout* layout = questionLayout(&m_window);
    // The body names the document and the queue too: a desktop without title bars never shows
    // the title.
    std::string quoted = form.document.empty() ? document : programText("Quoted Document", { document });
    layout->addWidget(textLine(m_settings ? programText("Codes Settings Question", { queue }) : programText("Codes Question", { quoted, queue }), &m_window));
    if (!form.note.empty())
        layout->addWidget(textLine(form.note, &m_window));
    if (m_settings) {
        m_accounting = checkBox("accounting", "Codes Accounting On", form.accountingOn, &m_window);
        m_asked = checkBox("prompt", "Codes Ask When Printing", form.askWhenPrinting, &m_window);
        layout->addWidget(m_accounting);
        layout->addWidget(m_asked);
    }
    addFields(layout);
    if (m_settings) {
        m_conceal = checkBox("conceal", "Codes Conceal", form.concealed, &m_window);
        m_keyring = checkBox("keyring", "Codes Keep In Keyring", form.keepInKeyring, &m_window);
        layout->addWidget(m_conceal);
        layout->addWidget(m_keyring);
    }
    m_conflict = problemLine(&m_window);
    m_conflict->setObjectName("problem:fields");
    layout->addWidget(m_conflict);
    addButtons(layout);

    for (const FieldWidgets& field : m_fields)
        QObject::connect(field.edit, &QLineEdit::textChanged, &m_window, [this] { refresh(); });
    for (QCheckBox* box : { m_accounting, m_asked, m_conceal, m_keyring }) {
        if (box)
            QObject::connect(box, &QCheckBox::toggled, &m_window, [this] { refresh(); });
    }
    refresh();
    if (!m_fields.empty())
        m_fields.front().edit->setFocus();
}

void CodesDialog::addFields(QVBoxLayout* layout)
{
    auto* fields = new QFormLayout;
    layout->addLayout(fields);
    for (const CodeField& field : m_form.fields) {
        auto* column = new QWidget(&m_window);
        auto* lines = new QVBoxLayout(column);
        lines->setContentsMargins(0, 0, 0, 0);
        auto* edit = new QLineEdit(QString::fromStdString(field.value), column);
        edit->setObjectName(QString::fromStdString(field.code.name));
        edit->setEchoMode(m_form.concealed ? QLineEdit::Password : QLineEdit::Normal);
        lines->addWidget(edit);
        lines->addWidget(textLine(codeBoundsText(field.code), column));
        QLabel* problem = problemLine(column);
        problem->setObjectName(QString::fromStdString("problem:" + field.code.name));
        lines->addWidget(problem);
        QLabel* label = textLine(programText("Code Label", { printableText(field.code.label) }), &m_window);
        label->setBuddy(edit);
        fields->addRow(label, column);
        m_fields.push_back({ edit, problem });
    }
}

void CodesDialog::addButtons(QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(&m_window);
    buttons->addButton(QString::fromStdString(programText("Cancel")), QDialogButtonBox::RejectRole);
    m_accept = buttons->addButton(QString::fromStdString(programText(m_settings ? "Save" : "Print")), QDialogButtonBox::AcceptRole);
    m_accept->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &m_window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &m_window, &QDialog::reject);
    layout->addWidget(buttons);
}

CodesForm CodesDialog::checks() const
{
    CodesForm checked;
    checked.purpose = m_form.purpose;
    checked.concealed = m_form.concealed;
    if (m_settings) {
        checked.accountingOn = m_accounting->isChecked();
        checked.askWhenPrinting = m_asked->isChecked();
        checked.concealed = m_conceal->isChecked();
        checked.keepInKeyring = m_keyring->isChecked();
    }
    return checked;
}

bool CodesDialog::refresh()
{
    auto showProblem = [](QLabel* line, const std::string& problem) {
        line->setText(QString::fromStdString(problem));
        line->setVisible(!problem.empty());
        return problem.empty();
    };
    CodesForm checked = checks();
    std::vector<CodeField> typed;
    for (size_t index = 0; index < m_fields.size(); ++index)
        typed.push_back({ m_form.fields[index].code, m_fields[index].edit->text().toStdString() });
    bool fit = true;
    for (size_t index = 0; index < m_fields.size(); ++index) {
        fit = showProblem(m_fields[index].problem, codeFieldProblem(checked, typed[index])) && fit;
        m_fields[index].edit->setEchoMode(checked.concealed ? QLineEdit::Password : QLineEdit::Normal);
    }
    fit = showProblem(m_conflict, fieldsProblem(typed)) && fit;
    for (CodeField& field : typed)
        wipeSecret(field.value);
    m_accept->setEnabled(fit);
    return fit;
}

void CodesDialog::answer(CodesForm* form)
{
    if (m_settings) {
        CodesForm checked = checks();
        form->accountingOn = checked.accountingOn;
        form->askWhenPrinting = checked.askWhenPrinting;
        form->keepInKeyring = checked.keepInKeyring;
        form->concealed = checked.concealed;
    }
    for (size_t index = 0; index < m_fields.size(); ++index) {
        wipeSecret(form->fields[index].value);
        form->fields[index].value = m_fields[index].edit->text().toStdString();
        m_fields[index].edit->clear();
    }
}

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
    CodesDialog window(*form);
    if (!window.exec())
        return CodesFormAnswer::Cancelled;
    window.answer(form);
    return CodesFormAnswer::Accepted;
}
