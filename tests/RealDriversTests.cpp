// The codes of each family of printers that ask for them reach the printer through Debian's own
// drivers: a queue made from the driver package's PPD on a private CUPS server (see
// tests/cups/PrivateCupsServer.h) that holds every job, jobs printed with lp and released by the
// accounting agent with the codes typed into its window or stored for the queue, and the print
// data the printer receives holding each code as the PPD's own code for the option writes it.
#include "tests/cups/LpJobs.h"
#include "tests/cups/PrivateCupsServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/cups/SharedCupsServerTest.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// What the print data holds for one of a job's options.
struct Written {
    enum Kind {
        // The code of the option's choice value.
        Choice,
        // The code of the custom option (*CustomOPTION True), its parameter \1 replaced by value.
        Custom,
        // foomatic-rip's code for the option's custom value (*FoomaticRIPOptionPrototype), its %s
        // replaced by value.
        FoomaticPrototype,
        // value as it stands: the driver's own words where the PPD's code leaves them to it, or
        // the part of a code that foomatic-rip fills in with the user and the time.
        Literal,
    };
    Kind kind;
    std::string option;
    std::string value;
};

struct Family {
    const char* name;
    // The PPD of a printer of the family, as "lpinfo -m" lists it.
    const char* driver;
    // The codes given, by the names a script gives their fields.
    std::vector<std::pair<std::string, std::string>> codes;
    std::vector<Written> written;
};

const Family kFamilies[] = {
    { "UserCodeAsACustomOption", "openprinting-ppds:0/ppd/openprinting/Gestetner/PDF/Gestetner-C7521n_PDF.ppd", { { "UserCode", "4711" } },
        { { Written::Custom, "UserCode", "4711" } } },
    { "LockedPrintPasswordWithItsJobType", "openprinting-ppds:0/ppd/openprinting/Gestetner/PDF/Gestetner-C7521n_PDF.ppd",
        { { "UserCode", "4711" }, { "Password", "1002" } },
        { { Written::Choice, "JobType", "LockedPrint" }, { Written::Custom, "Password", "1002" }, { Written::Custom, "UserCode", "4711" } } },
    // Its custom code is empty: foomatic-rip writes the value, and the job type's code (but for
    // the user and the time it fills in) asks for the locked print with it.
    { "LockedPrintPasswordThroughFoomatic", "openprinting-ppds:0/ppd/openprinting/Gestetner/PS/Gestetner-10512_PS.ppd",
        { { "UserCode", "4711" }, { "LockedPrintPassword", "1002" } },
        { { Written::FoomaticPrototype, "LockedPrintPassword", "1002" }, { Written::Literal, "", " lppswd {secureprint} stopped\n" } } },
    // Each password goes with the user ID the printer matches it against.
    { "SamsungJobAccountingAndConfidentialPasswords", "openprinting-ppds:0/ppd/openprinting/Samsung/PS/Samsung_C2620_Series.ppd",
        { { "JCLJACUserID", "jac7u" }, { "JCLJACPassword", "4711" }, { "JCLCDPUserID", "cdp5u" }, { "JCLCDPPassword", "1002" } },
        { { Written::Custom, "JCLJACUserID", "jac7u" }, { Written::Custom, "JCLJACPassword", "4711" }, { Written::Choice, "JCLCDPType", "Confidential" },
            { Written::Custom, "JCLCDPUserID", "cdp5u" }, { Written::Custom, "JCLCDPPassword", "1002" } } },
    // The digits' codes are "%%": the driver (hpps) writes the PIN.
    { "HPSecurePrintDigits", "postscript-hp:0/ppd/hplip/HP/hp-laserjet_m507-ps.ppd", { { "HPFIDigit", "1002" } },
        { { Written::Literal, "", "@PJL SET HOLD=ON\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET HOLDKEY=1002\n" } } },
    // A large-format printer's PPD names its switch HPLFPPinPrnt, but the driver writes the PIN
    // only for a job that has HPPinPrnt on.
    { "HPLargeFormatSecurePrintDigits", "postscript-hp:0/ppd/hplip/HP/hp-color_designjet_xl_3600-ps.ppd", { { "HPFIDigit", "1002" } },
        { { Written::Literal, "", "@PJL SET HOLD=ON\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET HOLDKEY=1002\n" } } },
    // The PageWide printers' PIN is one option's text; the driver (hpps) writes it.
    { "HPPageWideSecurePrintPIN", "postscript-hp:0/ppd/hplip/HP/hp-pagewide_color_765-ps.ppd", { { "HPDigit", "1002" } },
        { { Written::Literal, "", "@PJL SET HOLD=ON\n@PJL SET HOLDTYPE=PRIVATE\n@PJL SET HOLDKEY=1002\n" } } },
    // Each digit's code adds its part (DCDigit2=2: 2000), which the switch's code sums into the
    // department code or the private print's password. No digit is 0, the default's.
    { "ToshibaDepartmentCodeAndPrivatePrintDigits", "openprinting-ppds:0/ppd/openprinting/Toshiba/TOSHIBA_EST850_CUPS.ppd",
        { { "DCDigit1", "42613" }, { "DINDigit1", "13579" } },
        { { Written::Choice, "DeptCode", "True" }, { Written::Choice, "DCDigit1", "4" }, { Written::Choice, "DCDigit2", "2" },
            { Written::Choice, "DCDigit3", "6" }, { Written::Choice, "DCDigit4", "1" }, { Written::Choice, "DCDigit5", "3" },
            { Written::Choice, "PrintMode", "Private" }, { Written::Choice, "DINDigit1", "1" }, { Written::Choice, "DINDigit2", "3" },
            { Written::Choice, "DINDigit3", "5" }, { Written::Choice, "DINDigit4", "7" }, { Written::Choice, "DINDigit5", "9" } } },
    // Past its first 50 the list's choices are no longer the codes they stand for: 0050/0000019.
    { "KyoceraMitaListedManagementCode", "openprinting-ppds:0/ppd/openprinting/Kyocera/en/Kyocera_Mita_KM-2030_en.ppd",
        { { "JCLMJOBMANAGERCODE", "0000019" } }, { { Written::Choice, "JCLMJOBMANAGERCODE", "0050" } } },
    { "KyoceraListedAccountingCode", "openprinting-ppds:0/ppd/openprinting/Kyocera/de/Kyocera_CS-C2525E_de.ppd", { { "KmManagment", "00000001" } },
        { { Written::Choice, "KmManagment", "MG00000001" } } },
    { "BrotherSecurePrintPIN", "openprinting-ppds:0/ppd/openprinting/Brother/BR2700_2_GPL.ppd", { { "BRJobPIN", "1002" } },
        { { Written::Choice, "BRJobHold", "Private" }, { Written::Choice, "BRJobPIN", "HoldKey1" } } },
    { "BrotherSecurePrintHoldKey", "openprinting-ppds:0/ppd/openprinting/Brother/BR2600CN_GPL.ppd", { { "BRJobHoldKey", "2833" } },
        { { Written::Choice, "BRJobHold", "Private" }, { Written::Choice, "BRJobHoldKey", "HoldKey2" } } },
};

// The quoted value of a PPD's main keyword and option keyword ("*KmManagment MG00000001/...:
// "..."", entry "KmManagment MG00000001"), which may run over several lines; empty when the PPD
// has none.
std::string ppdValue(const std::string& ppd, const std::string& entry)
{
    for (size_t at = ppd.find("\n*" + entry); at != std::string::npos; at = ppd.find("\n*" + entry, at + 1)) {
        size_t end = at + 2 + entry.size();
        if (end >= ppd.size() || (ppd[end] != '/' && ppd[end] != ':'))
            continue;
        size_t open = ppd.find('"', ppd.find(':', end));
        size_t close = open == std::string::npos ? open : ppd.find('"', open + 1);
        if (close != std::string::npos)
            return ppd.substr(open + 1, close - open - 1);
    }
    return "";
}

// text with its hexadecimal substrings ("<1B>", "<0D0A>") as the bytes they stand for, as CUPS
// reads the codes of the options that go into the job's JCL.
std::string hexDecoded(const std::string& text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t close = text[i] == '<' ? text.find('>', i) : std::string::npos;
        if (close == std::string::npos) {
            bytes += text[i];
            continue;
        }
        std::string digits;
        for (size_t j = i + 1; j < close; ++j) {
            if (isxdigit(static_cast<unsigned char>(text[j])))
                digits += text[j];
        }
        for (size_t j = 0; j + 1 < digits.size(); j += 2)
            bytes += static_cast<char>(std::stoi(digits.substr(j, 2), nullptr, 16));
        i = close;
    }
    return bytes;
}

std::string replaced(std::string text, const std::string& part, const std::string& instead)
{
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + instead.size()))
        text.replace(at, part.size(), instead);
    return text;
}

// What the print data holds for written, as the queue's PPD says.
std::string expectedText(const std::string& ppd, const Written& written)
{
    const std::string opening = "\n*JCLOpenUI *" + written.option;
    size_t at = ppd.find(opening);
    size_t end = at == std::string::npos ? at : at + opening.size();
    bool jcl = end < ppd.size() && (ppd[end] == '/' || ppd[end] == ':');
    switch (written.kind) {
    case Written::Choice: {
        std::string code = ppdValue(ppd, written.option + " " + written.value);
        return jcl ? hexDecoded(code) : code;
    }
    case Written::Custom: {
        std::string code = ppdValue(ppd, "Custom" + written.option + " True");
        return replaced(jcl ? hexDecoded(code) : code, "\\1", written.value);
    }
    case Written::FoomaticPrototype:
        return replaced(replaced(ppdValue(ppd, "FoomaticRIPOptionPrototype " + written.option), "%s", written.value), "\\n", "\n");
    case Written::Literal:
        return written.value;
    }
    return "";
}

void PrintTo(const Family& family, std::ostream* out)
{
    *out << family.name;
}

// The start of print data for a failure's message, its bytes other than printable ASCII and line
// ends as \xNN.
std::string shown(const std::string& data)
{
    std::string text;
    for (char byte : data.substr(0, 2048)) {
        unsigned char code = static_cast<unsigned char>(byte);
        if (isprint(code) || byte == '\n') {
            text += byte;
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", code);
            text += escaped;
        }
    }
    return text;
}

class RealDriversTest : public SharedCupsServerTest, public ::testing::WithParamInterface<Family> {
protected:
    // The filters that Debian's cups and cups-filters install, and HP's PostScript driver's.
    static void SetUpTestSuite()
    {
        PrivateCupsServer::Setup setup;
        setup.filterPackages = { "cups-core-drivers", "cups-filters", "printer-driver-postscript-hp" };
        startServer(setup);
    }

    std::vector<std::string> withServer(std::vector<std::string> command) const
    {
        command.insert(command.end(), { "--server", gServer->socket(), "--settings-dir", m_home.path("settings") });
        return command;
    }

    // The agent handling the jobs held now, its window answered by script when one is given.
    ProgramRun runAgent(const std::string& script) const
    {
        std::vector<std::string> command = withServer({ AGENT_PATH, "--once" });
        if (!script.empty())
            command.insert(command.end(), { "--script", "-" });
        ProgramOptions options = withInput(script);
        options.environment = englishLanguageSettings();
        options.environment.insert(options.environment.end(), { { "DISPLAY", "" }, { "WAYLAND_DISPLAY", "" }, { "XDG_RUNTIME_DIR", m_home.root() } });
        return runProgram(command, options);
    }

    // The queue's settings window, as a person sets the agent up: the codes go into the queue's
    // file, this session having no keyring.
    void configure(const std::string& queue, const std::string& script) const
    {
        ProgramRun run = runProgram(withServer({ PRINTDIALOG_PATH, "--configure", "--printer", queue, "--script", "-" }), withInput(script));
        EXPECT_EQ(run.exitStatus, 0) << run.output << run.errors;
    }

    TemporaryTree m_home;
};

// A job from lp, released by the agent with the codes typed into its window, prints each code as
// the PPD's code for its option writes it; so does one released with the codes stored for the
// queue, without a question; and with accounting off a job goes as it came, with none of them.
TEST_P(RealDriversTest, EachCodeTypedOrStoredReachesThePrinterAsThePPDWritesIt)
{
    const Family& family = GetParam();
    std::string program = std::string(family.driver).substr(0, std::string(family.driver).find(':'));
    if (access(("/usr/lib/cups/driver/" + program).c_str(), X_OK) != 0)
        GTEST_SKIP() << program << "'s PPDs are not installed (scripts/setup installs them)";
    ASSERT_TRUE(gServer->addDriverQueue(family.name, family.driver, PrivateCupsServer::JobHold::Indefinite))
        << fileContents(gServer->path("log/error_log"));
    std::string ppd = fileContents(gServer->path("ppd/" + std::string(family.name) + ".ppd"));

    // A script is written from what the administrator's listing names each code.
    ProgramRun listing = runProgram({ PRINTDIALOG_PATH, "--list-codes", "--printer", family.name, "--server", gServer->socket() });
    EXPECT_EQ(listing.exitStatus, 0) << listing.errors;
    std::string listed = "\n" + listing.output;
    std::string typed;
    for (const auto& [name, value] : family.codes) {
        EXPECT_NE(listed.find("\n" + name + "\t"), std::string::npos) << name << " is not a name the listing gives:" << listed;
        typed += "type " + name + " \"" + value + "\"\n";
    }
    auto released = [&](const std::string& script) {
        int job = submitWithLp(gServer->socket(), family.name, gServer->path("document.txt"));
        EXPECT_TRUE(job > 0 && gServer->awaitJobState(job, "pending-held")) << job;
        ProgramRun run = runAgent(script);
        EXPECT_EQ(run.exitStatus, 0) << run.errors;
        EXPECT_NE(run.output.find("job " + std::to_string(job) + " " + family.name + ": released"), std::string::npos) << run.output << run.errors;
        for (const auto& [name, value] : family.codes)
            EXPECT_EQ((run.output + run.errors).find(value), std::string::npos) << "the code of " << name << " in what the agent wrote";
        std::string data = gServer->printData(job);
        EXPECT_FALSE(data.empty()) << gServer->jobAttribute(job, "job-state") << ": " << gServer->jobAttribute(job, "job-printer-state-message");
        return data;
    };
    std::string typedData = released(typed + "click OK\n");
    configure(family.name, "check prompt off\n" + typed + "click Save\n");
    std::string storedData = released("");
    configure(family.name, "check accounting off\nclick Save\n");
    std::string plainData = released("");
    for (const Written& written : family.written) {
        std::string text = expectedText(ppd, written);
        ASSERT_FALSE(text.empty()) << "the PPD has no code for " << written.option << " " << written.value;
        EXPECT_NE(typedData.find(text), std::string::npos) << shown(text) << "\nis not in the print data of typed codes:\n"
                                                           << shown(typedData);
        EXPECT_NE(storedData.find(text), std::string::npos) << shown(text) << "\nis not in the print data of stored codes:\n"
                                                            << shown(storedData);
        EXPECT_EQ(plainData.find(text), std::string::npos) << shown(text) << "\nis in a job without the code:\n"
                                                           << shown(plainData);
    }
}

INSTANTIATE_TEST_SUITE_P(Families, RealDriversTest, ::testing::ValuesIn(kFamilies), [](const auto& info) { return std::string(info.param.name); });

}
