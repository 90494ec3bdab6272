#include "queues/PrinterCodes.h"

#include "queues/QueueSettings.h"
#include "program/ProgramTexts.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <unordered_set>

namespace {

// A main-keyword line, "*Keyword Option/Text: value", with a quoted value that may run over
// several lines, its quotes taken off. Views into the PPD's text.
struct PPDLine {
    std::string_view keyword;
    std::string_view option;
    std::string_view text;
    std::string_view value;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<PPDLine> mainLines(std::string_view ppd)
{
    std::vector<PPDLine> lines;
    size_t position = 0;
    while (position < ppd.size()) {
        size_t end = std::min(ppd.find('\n', position), ppd.size());
        std::string_view line = ppd.substr(position, end - position);
        position = end + 1;
        if (line.size() < 2 || line[0] != '*' || line[1] == '%')
            continue;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view head = line.substr(1, colon - 1);
        size_t blank = std::min(head.find_first_of(" \t"), head.size());
        PPDLine parsed { head.substr(0, blank), {}, {}, {} };
        std::string_view spec = trimmed(head.substr(blank));
        size_t slash = spec.find('/');
        parsed.option = trimmed(spec.substr(0, slash));
        parsed.text = slash == std::string_view::npos ? std::string_view() : trimmed(spec.substr(slash + 1));
        std::string_view value = trimmed(line.substr(colon + 1));
        if (!value.empty() && value.front() == '"') {
            // The value ends at the next quote, on this line or a later one.
            size_t start = static_cast<size_t>(value.data() - ppd.data()) + 1;
            size_t close = ppd.find('"', start);
            if (close == std::string_view::npos)
                close = ppd.size();
            value = ppd.substr(start, close - start);
            if (close >= position)
                position = close < ppd.size() ? std::min(ppd.find('\n', close), ppd.size()) + 1 : ppd.size();
        }
        parsed.value = value;
        lines.push_back(parsed);
    }
    return lines;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A PPD's text with its <hex> runs as the bytes they stand for ("Auftragsz<E4>hlung").
std::string withHexDecoded(std::string_view text)
{
    std::string bytes;
    // The first '>' at or after i, found once for every '<' before it: a text of many '<' is
    // read once, not once for each of them.
    size_t nextClose = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' && nextClose != std::string_view::npos && nextClose <= i)
            nextClose = text.find('>', i);
        size_t close = text[i] == '<' ? nextClose : std::string_view::npos;
        std::string_view run = close == std::string_view::npos ? std::string_view() : text.substr(i + 1, close - i - 1);
        bool hex = !run.empty() && run.size() % 2 == 0 && std::all_of(run.begin(), run.end(), [](char c) { return hexDigit(c) >= 0; });
        if (!hex) {
            bytes += text[i];
            continue;
        }
        for (size_t j = 0; j < run.size(); j += 2)
            bytes += static_cast<char>(hexDigit(run[j]) * 16 + hexDigit(run[j + 1]));
        i = close;
    }
    return bytes;
}

std::string latin1AsUTF8(std::string_view text)
{
    std::string utf8;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

std::optional<size_t> number(std::string_view text)
{
    size_t value = 0;
    auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (fault != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> found;
    size_t position = 0;
    while (position < text.size()) {
        while (position < text.size() && isBlank(text[position]))
            ++position;
        size_t end = position;
        while (end < text.size() && !isBlank(text[end]))
            ++end;
        if (end > position)
            found.push_back(text.substr(position, end - position));
        position = end;
    }
    return found;
}

bool allDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct Option {
    std::string_view text;
    std::vector<std::pair<std::string_view, std::string_view>> choices; // keyword, text
};

struct CustomParameter {
    std::string_view option;
    std::string_view name;
    std::string_view text;
    std::string_view type;
    std::optional<size_t> minimum;
    std::optional<size_t> maximum;
};

// What of a PPD the families need, gathered in one pass over its lines.
class PPDOptions {
public:
    PPDOptions(std::string_view ppd, const std::vector<std::string>& languages)
        : m_lines(mainLines(ppd))
    {
        for (const std::string& language : languages) {
            std::string name = language;
            std::replace(name.begin(), name.end(), '-', '_');
            if (std::find(m_languages.begin(), m_languages.end(), name) == m_languages.end())
                m_languages.push_back(name);
        }
        for (const PPDLine& line : m_lines) {
            if (line.keyword == "OpenUI" || line.keyword == "JCLOpenUI") {
                std::string_view name = line.option.substr(line.option.starts_with('*') ? 1 : 0);
                m_options.try_emplace(std::string(name), Option { line.text, {} });
            } else if (line.keyword == "Manufacturer") {
                m_manufacturer = line.value;
            } else if (line.keyword == "LanguageEncoding") {
                m_latin1 = trimmed(line.value) == "ISOLatin1";
            } else if (line.keyword.starts_with("ParamCustom")) {
                addParameter(line);
            } else if (line.keyword == "FoomaticRIPOptionAllowedChars") {
                m_allowed.try_emplace(std::string(line.option), line.value);
            } else if (line.option == "CharSet") {
                m_allowed.try_emplace(std::string(line.keyword), charSet(line.value));
            } else if (size_t dot = line.keyword.find('.'); dot != std::string_view::npos && line.keyword.substr(dot + 1) == "Translation") {
                m_translations.try_emplace(std::string(line.keyword.substr(0, dot)) + "\n" + std::string(line.option), line.text);
            } else if (line.keyword.starts_with("cupsJob")) {
                m_main.try_emplace(std::string(line.keyword), line.value);
            }
        }
        for (const PPDLine& line : m_lines) {
            auto option = m_options.find(line.keyword);
            if (option != m_options.end() && !line.option.empty() && line.option != "CharSet")
                option->second.choices.emplace_back(line.option, line.text);
        }
    }

    std::string_view manufacturer() const { return trimmed(m_manufacturer); }
    const std::vector<CustomParameter>& parameters() const { return m_parameters; }
    const Option* option(std::string_view name) const
    {
        auto found = m_options.find(name);
        return found == m_options.end() ? nullptr : &found->second;
    }
    std::optional<std::string_view> main(std::string_view keyword) const
    {
        auto found = m_main.find(keyword);
        return found == m_main.end() ? std::nullopt : std::optional(found->second);
    }
    std::string allowed(std::string_view option) const
    {
        auto found = m_allowed.find(option);
        return found == m_allowed.end() ? std::string() : found->second;
    }

    // The option's label: its translation into the first of the person's languages that has one,
    // or its own text, or the fallback (a custom parameter's text), or its name.
    std::string label(std::string_view option, std::string_view fallback = {}) const
    {
        for (const std::string& language : m_languages) {
            auto found = m_translations.find(language + "\n" + std::string(option));
            // HP's PPDs "translate" some options into their own keyword: no translation at all.
            if (found != m_translations.end() && !found->second.empty() && found->second != option)
                return withHexDecoded(found->second);
        }
        const Option* declared = this->option(option);
        std::string_view own = declared && !declared->text.empty() ? declared->text : !fallback.empty() ? fallback
                                                                                                        : option;
        std::string text = withHexDecoded(own);
        return m_latin1 ? latin1AsUTF8(text) : text;
    }

    // Of the choices, those the option offers; none when the PPD lacks the option.
    std::vector<std::string> offered(std::string_view option, const std::vector<std::string_view>& choices) const
    {
        std::vector<std::string> found;
        if (const Option* declared = this->option(option)) {
            for (std::string_view choice : choices) {
                if (std::any_of(declared->choices.begin(), declared->choices.end(), [&](const auto& offered) { return offered.first == choice; }))
                    found.emplace_back(choice);
            }
        }
        return found;
    }

private:
    void addParameter(const PPDLine& line)
    {
        std::vector<std::string_view> fields = words(line.value);
        CustomParameter parameter { line.keyword.substr(std::string_view("ParamCustom").size()), line.option, line.text, {}, {}, {} };
        if (fields.size() >= 2)
            parameter.type = fields[1];
        if (fields.size() >= 4) {
            parameter.minimum = number(fields[2]);
            parameter.maximum = number(fields[3]);
        }
        m_parameters.push_back(parameter);
    }

    // HP's "0x0030 0x0039": ranges of characters as pairs of code points, written as "0-9".
    // Only printable ASCII is kept: a range beyond it says nothing a person could type here.
    static std::string charSet(std::string_view value)
    {
        std::vector<std::string_view> points = words(value);
        std::string ranges;
        for (size_t i = 0; i + 1 < points.size(); i += 2) {
            unsigned first = 0, last = 0;
            auto parse = [](std::string_view text, unsigned* point) {
                if (!text.starts_with("0x") && !text.starts_with("0X"))
                    return false;
                auto [end, fault] = std::from_chars(text.data() + 2, text.data() + text.size(), *point, 16);
                return fault == std::errc() && end == text.data() + text.size() && *point >= 0x21 && *point < 0x7F;
            };
            if (!parse(points[i], &first) || !parse(points[i + 1], &last) || first > last)
                continue;
            ranges += static_cast<char>(first);
            if (last != first)
                ranges += std::string("-") + static_cast<char>(last);
        }
        return ranges;
    }

    std::vector<PPDLine> m_lines;
    std::vector<std::string> m_languages;
    std::string_view m_manufacturer;
    bool m_latin1 { false };
    std::map<std::string, Option, std::less<>> m_options;
    std::vector<CustomParameter> m_parameters;
    std::map<std::string, std::string, std::less<>> m_allowed;
    std::map<std::string, std::string_view> m_translations; // "language\noption"
    std::map<std::string, std::string_view, std::less<>> m_main; // the driverless queue's cupsJob keywords
};

// The job type a password is for: the PPD's choices that hold a job at the printer until the
// person gives the password there, or keep it in the printer's store behind it.
struct CompanionRule {
    std::string_view code;
    std::string_view option;
    std::vector<std::string_view> choices;
};

const std::vector<CompanionRule>& companionRules()
{
    static const std::vector<CompanionRule> rules = {
        { "LockedPrintPassword", "JobType", { "LockedPrint" } },
        { "DocServerPassword", "JobType", { "DocServer" } },
        { "StoredPrintPassword", "JobType", { "StoredPrint", "StoreandPrint" } },
        { "Password", "JobType", { "LockedPrint", "DocServer" } },
        { "JobPassword", "JobType", { "LockedPrint", "DocServer" } },
        { "FolderPassword", "JobType", { "DocServer" } },
        { "JCLCDPPassword", "JCLCDPType", { "Confidential" } },
        { "JCLCDPUserID", "JCLCDPType", { "Confidential" } },
        { "JCLJACPassword", "JCLJACType", { "Accounting" } },
        { "JCLJACUserID", "JCLJACType", { "Accounting" } },
        { "BRJobPIN", "BRJobHold", { "Private" } },
        { "BRJobHoldKey", "BRJobHold", { "Private" } },
        { "HPFIDigit", "HPPinPrnt", { "True" } },
        { "HPFIDigit", "HPLFPPinPrnt", { "True" } },
        { "HPDigit", "HPPinPrnt", { "True" } },
    };
    return rules;
}

std::vector<CodeCompanion> companionsOf(std::string_view code, const PPDOptions& ppd)
{
    std::vector<CodeCompanion> companions;
    for (const CompanionRule& rule : companionRules()) {
        if (rule.code != code)
            continue;
        if (std::vector<std::string> choices = ppd.offered(rule.option, rule.choices); !choices.empty())
            companions.push_back({ std::string(rule.option), std::move(choices) });
    }
    return companions;
}

// Options whose custom parameter is a code even when its type is text: the user code of Ricoh's
// and its relatives' PPDs ("User Code (up to 8 digits)"), HP's secure-print PIN on its PageWide
// and later printers ("[Pin-4 Digits]"), and the user IDs Samsung's printers match the job's
// accounting and confidential-print passwords against, which its driver never fills in. HP's user
// access code is none: HP's driver writes it from the queue's default alone, so a job's own never
// reaches the printer.
struct TextCodeOption {
    std::string_view option;
    // Where the driver takes only this many digits, whatever the parameter's bounds: HP's hpps
    // writes a PIN of four digits and sends 0000 for anything else, though the PPD says "string 4 32".
    size_t digits { 0 };
};

const TextCodeOption* textCodeOption(std::string_view option)
{
    static const TextCodeOption options[] = { { "UserCode" }, { "HPDigit", 4 }, { "JCLJACUserID" }, { "JCLCDPUserID" } };
    auto found = std::find_if(std::begin(options), std::end(options), [option](const TextCodeOption& each) { return each.option == option; });
    return found == std::end(options) ? nullptr : found;
}

void addCustomCodes(const PPDOptions& ppd, std::vector<PrinterCode>* codes)
{
    std::unordered_set<std::string_view> options;
    for (const CustomParameter& parameter : ppd.parameters()) {
        bool secret = parameter.type == "passcode" || parameter.type == "password";
        const TextCodeOption* text = textCodeOption(parameter.option);
        if (!secret && !text)
            continue;
        // One code per option: a second parameter of the same option is not a second code.
        if (!options.insert(parameter.option).second)
            continue;
        PrinterCode code;
        code.name = parameter.option;
        code.carrier = CodeCarrier::CustomOption;
        code.parameter = parameter.name;
        code.label = ppd.label(parameter.option, parameter.text);
        code.kind = parameter.type == "passcode" ? CodeKind::Digits : CodeKind::Characters;
        // A bound the PPD does not give as a number leaves the kind's own.
        code.maxLength = std::min(parameter.maximum.value_or(kMaxPrinterCodeLength), kMaxPrinterCodeLength);
        code.minLength = std::min(parameter.minimum.value_or(0), code.maxLength);
        code.allowedCharacters = ppd.allowed(parameter.option);
        code.companions = companionsOf(parameter.option, ppd);
        if (text && text->digits > 0) {
            code.kind = CodeKind::Digits;
            code.minLength = code.maxLength = text->digits;
            code.allowedCharacters = "0-9";
        }
        codes->push_back(std::move(code));
    }
}

// Where a digit family's label comes from: its switch's own label ("Secure Printing"), or its first
// digit's without the digit ("Department Code (DC) - Digit 1").
enum class DigitsLabel {
    Switch,
    FirstDigit,
};

// A code given one digit per option, each a menu of its own, which the driver writes only for a
// job with its switch on: HP's secure-print PIN (HPPinPrnt), Toshiba's and Oce's department code
// (DeptCode) and their private print's document password (PrintMode=Private).
struct DigitFamily {
    std::vector<std::string_view> digits;
    std::string_view switchOption;
    std::string_view switchChoice;
    DigitsLabel label;
};

// "Department Code (DC) - Digit 1" without " - Digit 1".
std::string withoutDigit(std::string label)
{
    size_t dash = label.rfind(" - ");
    return dash == std::string::npos ? label : label.substr(0, dash);
}

void addDigitCodes(const PPDOptions& ppd, std::vector<PrinterCode>* codes)
{
    static const std::vector<DigitFamily> families = {
        { { "HPFIDigit", "HPSEDigit", "HPTHDigit", "HPFTDigit" }, "HPPinPrnt", "True", DigitsLabel::Switch },
        { { "DCDigit1", "DCDigit2", "DCDigit3", "DCDigit4", "DCDigit5" }, "DeptCode", "True", DigitsLabel::FirstDigit },
        { { "DINDigit1", "DINDigit2", "DINDigit3", "DINDigit4", "DINDigit5" }, "PrintMode", "Private", DigitsLabel::FirstDigit },
    };
    for (const DigitFamily& family : families) {
        PrinterCode code;
        for (std::string_view digit : family.digits) {
            if (ppd.option(digit))
                code.digitOptions.emplace_back(digit);
        }
        if (code.digitOptions.empty())
            continue;
        code.name = code.digitOptions.front();
        code.carrier = CodeCarrier::DigitOptions;
        code.kind = CodeKind::Digits;
        code.minLength = code.maxLength = code.digitOptions.size();
        code.allowedCharacters = "0-9";
        code.companions = companionsOf(family.digits.front(), ppd);
        if (family.label == DigitsLabel::FirstDigit)
            code.label = withoutDigit(ppd.label(code.name));
        else
            code.label = code.companions.empty() ? ppd.label(code.name) : ppd.label(code.companions.front().option);
        // The switch goes with the digits even where the PPD names it otherwise: HP's driver
        // writes the PIN only for a job with HPPinPrnt on, and the large-format printers' own
        // HPLFPPinPrnt does nothing.
        if (std::none_of(code.companions.begin(), code.companions.end(), [&family](const CodeCompanion& companion) { return companion.option == family.switchOption; }))
            code.companions.push_back({ std::string(family.switchOption), { std::string(family.switchChoice) } });
        codes->push_back(std::move(code));
    }
}

// A code chosen from the PPD's list, each choice standing for the code its text gives: Kyocera's
// and Utax's job accounting ("MG00000001/00000001"), Kyocera Mita's management code ("0007/0007"),
// Brother's secure-print PIN ("HoldKey1/1002"). The choice that sends no code ("Default/Off",
// "OFF/Aus", "HoldKey0/None") is none.
void addListedCodes(const PPDOptions& ppd, std::vector<PrinterCode>* codes)
{
    for (std::string_view name : { "KmManagment", "KMManagement", "KmManagement", "JCLMJOBMANAGERCODE", "BRJobPIN", "BRJobHoldKey" }) {
        const Option* option = ppd.option(name);
        if (!option)
            continue;
        PrinterCode code;
        for (const auto& [choice, text] : option->choices) {
            if (allDigits(text))
                code.choices.push_back({ std::string(choice), std::string(text) });
        }
        if (code.choices.empty())
            continue;
        auto [shortest, longest] = std::minmax_element(code.choices.begin(), code.choices.end(),
            [](const CodeChoice& a, const CodeChoice& b) { return a.code.size() < b.code.size(); });
        code.name = name;
        code.carrier = CodeCarrier::ListedChoice;
        code.kind = CodeKind::Listed;
        code.minLength = shortest->code.size();
        code.maxLength = longest->code.size();
        code.allowedCharacters = "0-9";
        code.label = ppd.label(name);
        code.companions = companionsOf(name, ppd);
        codes->push_back(std::move(code));
    }
}

PrinterCode ippCode(std::string_view attribute, std::string_view label, CodeKind kind, size_t maxLength)
{
    PrinterCode code;
    code.name = attribute;
    code.carrier = CodeCarrier::IppAttribute;
    code.label = label;
    code.kind = kind;
    code.minLength = 1;
    code.maxLength = std::min(maxLength, kMaxPrinterCodeLength);
    return code;
}

// A job-password of the printer's repertoire: digits, or any characters. CUPS writes a driverless
// queue's *cupsJobPassword as a pattern of the password's longest length, one character standing
// for the repertoire: 1 (ASCII digits), N (UTF-8 digits), A, C, ., U or * (other characters).
PrinterCode passwordCode(size_t maxLength, bool digits)
{
    return ippCode("job-password", programText("Password"), digits ? CodeKind::Digits : CodeKind::Characters, maxLength);
}

void addDriverlessCodes(const PPDOptions& ppd, std::vector<PrinterCode>* codes)
{
    if (auto value = ppd.main("cupsJobAccountId"); value && trimmed(*value) == "True")
        codes->push_back(ippCode("job-account-id", programText("Account ID"), CodeKind::IppName, kMaxPrinterCodeLength));
    if (auto value = ppd.main("cupsJobAccountingUserId"); value && trimmed(*value) == "True")
        codes->push_back(ippCode("job-accounting-user-id", programText("Accounting user ID"), CodeKind::IppName, kMaxPrinterCodeLength));
    if (auto pattern = ppd.main("cupsJobPassword"); pattern && !pattern->empty())
        codes->push_back(passwordCode(pattern->size(), pattern->front() == '1' || pattern->front() == 'N'));
}

std::vector<PrinterCode> paneCodes()
{
    // The pane's codes as the print settings hold them (QueueCodes.h): at most 79 bytes.
    PrinterCode user;
    user.name = QueueSettings::key(QueueSettings::Entry::UserID);
    user.carrier = CodeCarrier::PaneSetting;
    user.label = programText("User ID");
    user.minLength = 1;
    user.maxLength = 79;
    PrinterCode account = user;
    account.name = QueueSettings::key(QueueSettings::Entry::AccountID);
    account.label = programText("Account ID");
    return { user, account };
}

}

PrinterCodes readPrinterCodes(std::string_view ppd, const std::vector<std::string>& languages)
{
    PPDOptions options(ppd, languages);
    PrinterCodes codes;
    if (options.manufacturer() == "Movra") {
        codes.paneOwn = true;
        codes.codes = paneCodes();
        return codes;
    }
    addCustomCodes(options, &codes.codes);
    addDigitCodes(options, &codes.codes);
    addListedCodes(options, &codes.codes);
    addDriverlessCodes(options, &codes.codes);
    return codes;
}

void addPrinterAttributes(PrinterCodes* codes, const PrinterCodeAttributes& attributes)
{
    if (codes->paneOwn)
        return;
    auto find = [codes](std::string_view name) {
        auto found = std::find_if(codes->codes.begin(), codes->codes.end(),
            [name](const PrinterCode& code) { return code.carrier == CodeCarrier::IppAttribute && code.name == name; });
        return found == codes->codes.end() ? nullptr : &*found;
    };
    if (attributes.accountID && !find("job-account-id"))
        codes->codes.push_back(ippCode("job-account-id", programText("Account ID"), CodeKind::IppName, kMaxPrinterCodeLength));
    if (attributes.accountingUserID && !find("job-accounting-user-id"))
        codes->codes.push_back(ippCode("job-accounting-user-id", programText("Accounting user ID"), CodeKind::IppName, kMaxPrinterCodeLength));
    if (attributes.passwordMaxLength == 0)
        return;
    const std::string& repertoire = attributes.passwordRepertoire;
    bool digits = repertoire.empty() || repertoire == "iana_us-ascii_digits" || repertoire == "iana_utf-8_digits";
    PrinterCode* password = find("job-password");
    if (!password) {
        codes->codes.push_back(passwordCode(attributes.passwordMaxLength, digits));
        password = &codes->codes.back();
    }
    password->maxLength = std::min(attributes.passwordMaxLength, kMaxPrinterCodeLength);
    password->encryptions = attributes.passwordEncryptions;
}
