// What a person may type for a printer's code, and what a job then carries for it.
#include "queues/CodeValues.h"

#include <gtest/gtest.h>

namespace {

PrinterCode code(CodeKind kind, size_t least, size_t most, std::string allowed = "")
{
    PrinterCode made;
    made.name = "UserCode";
    made.label = "User Code";
    made.kind = kind;
    made.minLength = least;
    made.maxLength = most;
    made.allowedCharacters = std::move(allowed);
    return made;
}

PrinterCode password(std::string option, std::string jobType)
{
    PrinterCode made = code(CodeKind::Characters, 4, 8, "0-9");
    made.name = std::move(option);
    made.label = made.name;
    made.companions = { { "JobType", { std::move(jobType), "DocServer" } } };
    return made;
}

TEST(CodeValues, NoCharacterThatEndsAPostScriptStringAPjlValueAShellWordOrAnOptionGetsThrough)
{
    // Everything a driver or the server's option syntax gives a meaning to: ( ) \ end or escape a
    // PostScript string, " ends a PJL value, the rest end or expand a shell word, and , = { }
    // split or nest a job option.
    std::string refused = " \t\n\r\f\v\x7f\x01\x1b\"'`$;&|<>*?[]{}()\\#~!%^=,/";
    refused += '\0';
    for (CodeKind kind : { CodeKind::Characters, CodeKind::Digits, CodeKind::IppName }) {
        for (char c : refused) {
            std::string value = std::string("12") + c + "34";
            std::string problem = codeValueProblem(code(kind, 1, 255), value);
            EXPECT_FALSE(problem.empty()) << "character " << static_cast<int>(c);
            EXPECT_EQ(problem.find(value), std::string::npos);
        }
        EXPECT_FALSE(codeValueProblem(code(kind, 1, 255), "12\xc3\xa9"
                                                          "4")
                         .empty())
            << "a letter outside ASCII";
    }
    EXPECT_EQ(codeValueProblem(code(CodeKind::Characters, 1, 32), "ab-C.d_e+f:g@h9"), "");
    EXPECT_EQ(codeValueProblem(code(CodeKind::IppName, 1, 255), "Marketing-2026"), "");
}

TEST(CodeValues, AValueIsOfTheCodesKindLengthAndDeclaredCharacters)
{
    EXPECT_EQ(codeValueProblem(code(CodeKind::Digits, 4, 8), "4711"), "");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Digits, 4, 8), "47a1"), "Use only the digits 0 to 9.");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Digits, 4, 8), "471"), "Type 4 to 8 characters.");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Digits, 4, 8), "123456789"), "Type 4 to 8 characters.");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Digits, 4, 4), "12345"), "Type exactly 4 characters.");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Characters, 1, 8, "0-9"), "12a"), "Use only the characters 0-9.");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Characters, 1, 8, "A-Fa-f0-9"), "c0ffee"), "");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Characters, 1, 8, "A-Fa-f0-9"), "coffee"), "Use only the characters A-Fa-f0-9.");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Characters, 1, 8), ""), "Type the code.");
    EXPECT_EQ(codeValueProblem(code(CodeKind::Characters, 0, 4), ""), "") << "a PIN left blank";
    EXPECT_EQ(codeValueProblem(code(CodeKind::Characters, 0, 4), "12345"), "Type at most 4 characters.");
    EXPECT_EQ(codeValueProblem(password("LockedPrintPassword", "LockedPrint"), ""), "") << "the job then prints as usual";

    PrinterCode listed = code(CodeKind::Listed, 4, 8);
    listed.choices = { { "MG00000001", "00000001" }, { "MG1002", "1002" } };
    EXPECT_EQ(codeValueProblem(listed, "1002"), "");
    EXPECT_EQ(codeValueProblem(listed, "1003"), "Type one of the codes the printer lists.");
}

TEST(CodeValues, AJobCarriesTheCodeAsItsPrinterTakesItWithItsCompanions)
{
    using Settings = std::vector<CodeSetting>;
    PrinterCode userCode = code(CodeKind::Digits, 1, 8);
    EXPECT_EQ(codeJobSettings(userCode, "1234"), (Settings { { "UserCode", "Custom.1234" } }));
    EXPECT_EQ(codeJobSettings(userCode, ""), Settings {});

    EXPECT_EQ(codeJobSettings(password("LockedPrintPassword", "LockedPrint"), "2468"),
        (Settings { { "LockedPrintPassword", "Custom.2468" }, { "JobType", "LockedPrint" } }));

    PrinterCode pin = code(CodeKind::Digits, 4, 4);
    pin.carrier = CodeCarrier::DigitOptions;
    pin.digitOptions = { "HPFIDigit", "HPSEDigit", "HPTHDigit", "HPFTDigit" };
    pin.companions = { { "HPPinPrnt", { "True" } } };
    EXPECT_EQ(codeJobSettings(pin, "1097"),
        (Settings { { "HPFIDigit", "1" }, { "HPSEDigit", "0" }, { "HPTHDigit", "9" }, { "HPFTDigit", "7" }, { "HPPinPrnt", "True" } }));

    PrinterCode listed = code(CodeKind::Listed, 4, 4);
    listed.name = "BRJobPIN";
    listed.carrier = CodeCarrier::ListedChoice;
    listed.choices = { { "HoldKey1", "1002" }, { "HoldKey2", "1003" } };
    listed.companions = { { "BRJobHold", { "Private" } } };
    EXPECT_EQ(codeJobSettings(listed, "1003"), (Settings { { "BRJobPIN", "HoldKey2" }, { "BRJobHold", "Private" } }));

    PrinterCode account = code(CodeKind::IppName, 1, 255);
    account.name = "job-account-id";
    account.carrier = CodeCarrier::IppAttribute;
    EXPECT_EQ(codeJobSettings(account, "sales"), (Settings { { "job-account-id", "sales", true } }));

    // A job's codes go only when each fits its printer: one that does not is named, and none goes.
    Settings carried;
    std::string problem;
    EXPECT_FALSE(codesJobSettings({ { userCode, "12a4" }, { account, "sales" } }, &carried, &problem));
    EXPECT_EQ(carried, Settings {});
    EXPECT_EQ(problem.rfind("its code UserCode is not one its printer takes: ", 0), 0u) << problem;
}

TEST(CodeValues, TwoCodesThatMakeDifferentKindsOfJobCannotBothBeFilledIn)
{
    std::vector<CodeField> fields = { { password("LockedPrintPassword", "LockedPrint"), "1234" },
        { password("DocServerPassword", "DocServer"), "" }, { code(CodeKind::Digits, 1, 8), "99" } };
    EXPECT_EQ(fieldsProblem(fields), "");
    fields[1].value = "5678";
    EXPECT_EQ(fieldsProblem(fields), "Fill in only one of “LockedPrintPassword” and “DocServerPassword”: each makes a different kind of job.");
}

}
