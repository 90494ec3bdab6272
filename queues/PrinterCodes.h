// The codes a printer asks of each job (a user code, an account, the PIN that holds a job at the
// printer until the person types it there), as its PPD and its IPP attributes declare them: for
// each, where the job carries it, its label, its kind, its length bounds, the characters it may
// hold and what else the job must carry for the code to mean something. Reading the PPD is pure
// text work, with no libcups, so that it can be tested and fuzzed; the IPP attributes come from
// the CUPS module (fetchPrinterCodeAttributes, CupsPrinter.h).
//
// The families read, each from the drivers' PPDs of Debian (docs/architecture.md has the table):
// a custom option whose parameter is a passcode or a password, or a user code or user ID typed as
// text; a PIN or department code given digit by digit with its switch; a code chosen from the
// PPD's fixed list; and a driverless queue's job-account-id, job-accounting-user-id and
// job-password.
#pragma once

#include "program/ProgramsExport.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest code any family declares: an IPP name(MAX) holds 255 bytes, and no PPD bound in
// Debian's drivers goes past 32.
constexpr size_t kMaxPrinterCodeLength = 255;

// What a code's value may be.
enum class CodeKind {
    Digits, // a passcode: the digits 0 to 9 only
    Characters, // a password or a code typed as text
    Listed, // one of the codes the PPD lists (PrinterCode::choices)
    IppName, // an IPP name(MAX) attribute's value: text of 1 to 255 bytes
};

// How a job carries the code.
enum class CodeCarrier {
    CustomOption, // the option's custom value, for its custom parameter (PrinterCode::parameter)
    DigitOptions, // one digit in each option of PrinterCode::digitOptions, in order
    ListedChoice, // the option's choice that stands for the code
    IppAttribute, // a job attribute of that name
    PaneSetting, // the Accounting pane's own entry of the print-settings ticket (a Movra queue)
};

// A choice of a listed code's option, and the code it stands for.
struct CodeChoice {
    std::string choice;
    std::string code;
    bool operator==(const CodeChoice&) const = default;
};

// An option the job must also carry, set to one of these choices, for the code to count (the
// locked-print job type for its password, the secure-print switch for its digits).
struct CodeCompanion {
    std::string option;
    std::vector<std::string> choices;
    bool operator==(const CodeCompanion&) const = default;
};

struct PrinterCode {
    // The option (a digit family's first), the IPP attribute or the pane's ticket key: the one name
    // the code goes by in the listing, the window, scripts and the stored settings.
    std::string name {};
    CodeCarrier carrier { CodeCarrier::CustomOption };
    std::string parameter {}; // CustomOption: the custom parameter's name
    std::vector<std::string> digitOptions {}; // DigitOptions: the option of each digit
    std::vector<CodeChoice> choices {}; // ListedChoice: every code the PPD lists
    // As the PPD gives it, in the person's language where the PPD has a translation, as UTF-8;
    // from a PPD it may hold anything, so print it only through printableText. A code the PPD
    // gives no text for (an IPP attribute's, the pane's) is labelled with the programs' own text
    // (ProgramTexts.h), in the person's language.
    std::string label {};
    CodeKind kind { CodeKind::Characters };
    size_t minLength { 0 };
    size_t maxLength { kMaxPrinterCodeLength };
    // As declared, such as "0-9"; empty when nothing is declared beyond the kind.
    std::string allowedCharacters {};
    std::vector<CodeCompanion> companions {};
    // IppAttribute job-password: the printer's job-password-encryption-supported keywords.
    std::vector<std::string> encryptions {};
};

struct PrinterCodes {
    // A Movra queue: the Accounting pane asks for its codes and keeps its settings, as on every
    // Movra queue; codes then lists the pane's two, so that an administrator sees what the person
    // is asked for, and a prompt of the programs' own leaves the queue to the pane.
    bool paneOwn { false };
    std::vector<PrinterCode> codes;
};

// The codes of the PPD's text (whole, unpacked). languages are the person's, best first, as
// StandIn::preferredLanguages gives them ("de_DE", "de-DE", "de"): a label is the first of their
// translations the PPD has, or else its own text.
PROGRAMS_EXPORT PrinterCodes readPrinterCodes(std::string_view ppd, const std::vector<std::string>& languages);

// What a printer's IPP attributes say of the codes its jobs may carry.
struct PrinterCodeAttributes {
    bool accountID { false }; // job-account-id-supported
    bool accountingUserID { false }; // job-accounting-user-id-supported
    size_t passwordMaxLength { 0 }; // job-password-supported: 0 when the printer takes no password
    std::vector<std::string> passwordEncryptions; // job-password-encryption-supported
    std::string passwordRepertoire; // job-password-repertoire-configured, when given
};

// Adds the codes the printer's attributes ask for that the PPD does not list already; a password
// the PPD lists takes the printer's own length and encryptions. Nothing for a Movra queue.
PROGRAMS_EXPORT void addPrinterAttributes(PrinterCodes* codes, const PrinterCodeAttributes& attributes);
