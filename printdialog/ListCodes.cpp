#include "printdialog/ListCodes.h"

#include "queues/CodesPrivacy.h"

#include "dialog/QueueDialog.h"
#include "printdialog/PrintDialogCommand.h"
#include "program/PrintableText.h"

#include <CoreFoundation/CFPreferredLanguagesStandIn.h>
#include <PrintCore/PPDLibStandIn.h>

namespace {

std::string kindWord(const PrinterCode& code)
{
    switch (code.kind) {
    case CodeKind::Digits: return "digits";
    case CodeKind::Characters: return code.allowedCharacters.empty() ? "characters" : "characters[" + code.allowedCharacters + "]";
    case CodeKind::Listed: return "listed(" + std::to_string(code.choices.size()) + ")";
    case CodeKind::IppName: return "name";
    }
    return "";
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

bool readPPD(const std::string& path, const std::string& name, std::string* text, std::ostream& err)
{
    StandIn::PPDError error;
    if (StandIn::ppdReadFile(path, text, &error) == noErr)
        return true;
    err << "printdialog: " << printableText(name + ": " + error.describe()) << "\n";
    return false;
}

}

std::string codeLine(const PrinterCode& code)
{
    std::vector<std::string> companions;
    for (const CodeCompanion& companion : code.companions)
        companions.push_back(companion.option + "=" + joined(companion.choices, "|"));
    std::string bounds = std::to_string(code.minLength) + "-" + std::to_string(code.maxLength);
    std::vector<std::string> fields = { code.name, kindWord(code), bounds, companions.empty() ? "-" : joined(companions, " "),
        code.label };
    for (std::string& field : fields)
        field = printableText(field);
    return joined(fields, "\t");
}

int listPrinterCodes(const PrintDialogOptions& options, std::ostream& out, std::ostream& err)
{
    PrinterCodes codes;
    if (options.printerQueue.empty()) {
        std::string text;
        if (!readPPD(options.ppdPath, options.ppdPath, &text, err))
            return kExitError;
        codes = readPrinterCodes(text, StandIn::preferredLanguages());
    } else {
        QueueDialog queue;
        std::string error;
        if (!queue.fetch({ options.printerQueue, options.server, options.serverTimeout }, &error) || !queue.printerCodes(&codes, &error)) {
            err << "printdialog: " << printableText(error) << "\n";
            return kExitError;
        }
    }
    for (const PrinterCode& code : codes.codes)
        out << codeLine(code) << "\n";
    if (!codes.codes.empty()) {
        for (const std::string& line : codesPrivacyPolicyLines())
            out << line << "\n";
    }
    return kExitPrinted;
}
