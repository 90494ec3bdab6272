// The codes a printer asks of each job, read from its PPD as the drivers of Debian write them
// (each snippet after a real file of its family) and from its IPP attributes.
#include "queues/PrinterCodes.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace {

const std::string kHeader = "*PPD-Adobe: \"4.3\"\n*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n";

// A code in one line: name, kind, bounds, allowed characters, companions and label.
std::string summary(const PrinterCode& code)
{
    const char* kinds[] = { "digits", "characters", "listed", "name" };
    std::string line = code.name + " " + kinds[static_cast<int>(code.kind)] + " " + std::to_string(code.minLength) + "-"
        + std::to_string(code.maxLength);
    if (!code.allowedCharacters.empty())
        line += " [" + code.allowedCharacters + "]";
    for (const CodeCompanion& companion : code.companions) {
        line += " with " + companion.option + "=";
        for (size_t i = 0; i < companion.choices.size(); ++i)
            line += (i ? "|" : "") + companion.choices[i];
    }
    return line + " \"" + code.label + "\"";
}

TEST(PrinterCodes, EachFamilyOfTheDriversPPDsGivesItsCodes)
{
    const std::string lockedPrint = R"(*OpenUI *JobType/Job Type: PickOne
*DefaultJobType: Normal
*JobType Normal/Normal: ""
*JobType LockedPrint/Locked Print: "%% FoomaticRIPOptionSetting: JobType=LockedPrint"
*FoomaticRIPOptionSetting JobType=LockedPrint: "mark\n&&
(&user;) lppswd {secureprint} stopped\n&&
cleartomark\n"
*End
*JobType DocServer/Document Server: ""
*CloseUI: *JobType
)";
    const struct {
        const char* name;
        std::string ppd;
        std::vector<std::string> languages;
        std::vector<std::string> codes;
        PrinterCodeAttributes attributes {};
    } cases[] = {
        { "a user code and the locked print and document server passwords",
            lockedPrint + R"(*OpenUI *LockedPrintPassword/Locked Print Password (4-8 digits): PickOne
*FoomaticRIPOptionAllowedChars LockedPrintPassword: "0-9"
*LockedPrintPassword None/None: ""
*CloseUI: *LockedPrintPassword
*CustomLockedPrintPassword True/Custom Password: ""
*ParamCustomLockedPrintPassword Password: 1 password 4 8
*OpenUI *DocServerPassword/Document Server Password (4-8 digits): PickOne
*CloseUI: *DocServerPassword
*ParamCustomDocServerPassword Password: 1 password 4 4
*OpenUI *UserCode/User Code (up to 8 digits): PickOne
*FoomaticRIPOptionAllowedChars UserCode: "0-9"
*UserCode 1001/1001: "/usrcode(1001)def\n"
*CloseUI: *UserCode
*ParamCustomUserCode UserCode/User Code: 1 passcode 1 8
)",
            {},
            { "LockedPrintPassword characters 4-8 [0-9] with JobType=LockedPrint \"Locked Print Password (4-8 digits)\"",
                "DocServerPassword characters 4-4 with JobType=DocServer \"Document Server Password (4-8 digits)\"",
                "UserCode digits 1-8 [0-9] \"User Code (up to 8 digits)\"" } },
        { "one password for locked print and the document server, on a printer without the document server",
            R"(*OpenUI *JobType/Job Type: PickOne
*JobType Normal/Normal: ""
*JobType LockedPrint/Locked Print: ""
*CloseUI: *JobType
*OpenUI *Password/Locked Print or Doc Server Password (4-8 digits): PickOne
*CloseUI: *Password
*CustomPassword True/Custom Password: "@PJL SET JOBPASSWORD2=&quot;\1&quot;<0A>"
*ParamCustomPassword Password: 1 passcode 4 8
)",
            {}, { "Password digits 4-8 with JobType=LockedPrint \"Locked Print or Doc Server Password (4-8 digits)\"" } },
        { "a user code typed as text; HP's user access code, which a job cannot carry, and a locked job's user name are none",
            R"(*OpenUI *UserCode/User Code (up to 8 digits): PickOne
*FoomaticRIPOptionAllowedChars UserCode: "0-9"
*CloseUI: *UserCode
*ParamCustomUserCode UserCode/User Code: 1 string 1 8
*HPUserAccessCode CharSet: "0x0030 0x0039"
*OpenUI *HPUserAccessCode/User Access Code: PickOne
*HPUserAccessCode None/None: ""
*CloseUI: *HPUserAccessCode
*ParamCustomHPUserAccessCode Customized/User Access Code: 1 string 4 8
*OpenUI *UserId/User ID (up to 8 letters and digits): PickOne
*CloseUI: *UserId
*ParamCustomUserId UserId/User ID: 1 string 1 8
)",
            {},
            { "UserCode characters 1-8 [0-9] \"User Code (up to 8 digits)\"" } },
        { "HP's secure print PIN, digit by digit, in the person's language",
            R"(*OpenUI *HPPinPrnt/Secure Printing: PickOne
*HPPinPrnt True/On: "%%"
*HPPinPrnt False/Off: "%%"
*CloseUI: *HPPinPrnt
*OpenUI *HPFIDigit/First Digit: PickOne
*HPFIDigit 0/0: "%%"
*CloseUI: *HPFIDigit
*OpenUI *HPSEDigit/Second Digit: PickOne
*CloseUI: *HPSEDigit
*OpenUI *HPTHDigit/Third Digit: PickOne
*CloseUI: *HPTHDigit
*OpenUI *HPFTDigit/Fourth Digit: PickOne
*CloseUI: *HPFTDigit
*fr.Translation HPPinPrnt/Impression s<C3A9>curis<C3A9>e: ""
*de.Translation HPPinPrnt/Sicheres Drucken: ""
)",
            { "de_DE", "de-DE", "de" }, { "HPFIDigit digits 4-4 [0-9] with HPPinPrnt=True \"Sicheres Drucken\"" } },
        { "the same PIN for a person whose language the PPD lacks, or gives as the option's keyword",
            "*OpenUI *HPLFPPinPrnt/Secure Printing: PickOne\n*HPLFPPinPrnt True/On: \"%%\"\n*CloseUI: *HPLFPPinPrnt\n"
            "*OpenUI *HPFIDigit/First Digit: PickOne\n*CloseUI: *HPFIDigit\n*OpenUI *HPSEDigit/Second Digit: PickOne\n*CloseUI: *HPSEDigit\n"
            "*de.Translation HPLFPPinPrnt/Sicheres Drucken: \"\"\n*da.Translation HPLFPPinPrnt/HPLFPPinPrnt: \"\"\n",
            { "da", "sv" }, { "HPFIDigit digits 2-2 [0-9] with HPLFPPinPrnt=True with HPPinPrnt=True \"Secure Printing\"" } },
        { "HP's PIN as text on its PageWide printers, four digits as its driver takes it whatever the PPD's bounds, with its switch",
            R"(*JCLOpenUI *HPPinPrnt/Secure Printing: PickOne
*HPPinPrnt True/On: "%%"
*HPPinPrnt False/Off: "%%"
*JCLCloseUI: *HPPinPrnt
*JCLOpenUI *HPDigit/[Pin-4 Digits]: PickOne
*DefaultHPDigit: 0000
*HPDigit 0000/0000: "%%"
*JCLCloseUI: *HPDigit
*CustomHPDigit True: "%%"
*ParamCustomHPDigit Customized/Custom Name: 1 string 4 32
)",
            {}, { "HPDigit digits 4-4 [0-9] with HPPinPrnt=True \"[Pin-4 Digits]\"" } },
        { "Toshiba's department code and private print's document password, digit by digit with their switches",
            R"(*OpenUI *PrintMode/Print Mode:  PickOne
*PrintMode Normal/Normal: ""
*PrintMode Private/Private - Password: ""
*CloseUI: *PrintMode
*OpenUI *DeptCode/Department Code:  Boolean
*DeptCode False/Disabled: ""
*DeptCode True/Enabled: "<</TSBPrivate (DSSC PRINT ACCESSCODE=00000) dup userdict /DCDigit1 get"
*CloseUI: *DeptCode
*OpenUI *DCDigit1/Department Code (DC) - Digit 1: PickOne
*DCDigit1 0/0: "userdict /DCDigit1 00000 put"
*CloseUI: *DCDigit1
*OpenUI *DCDigit2/Department Code (DC) - Digit 2: PickOne
*CloseUI: *DCDigit2
*OpenUI *DCDigit3/Department Code (DC) - Digit 3: PickOne
*CloseUI: *DCDigit3
*OpenUI *DCDigit4/Department Code (DC) - Digit 4: PickOne
*CloseUI: *DCDigit4
*OpenUI *DCDigit5/Department Code (DC) - Digit 5: PickOne
*CloseUI: *DCDigit5
*OpenGroup: DINNumber/Private Document Password
*OpenUI *DINDigit1/Private Print Document ID (DIN) - Digit 1: PickOne
*CloseUI: *DINDigit1
*OpenUI *DINDigit2/Private Print Document ID (DIN) - Digit 2: PickOne
*CloseUI: *DINDigit2
*OpenUI *DINDigit3/Private Print Document ID (DIN) - Digit 3: PickOne
*CloseUI: *DINDigit3
*OpenUI *DINDigit4/Private Print Document ID (DIN) - Digit 4: PickOne
*CloseUI: *DINDigit4
*OpenUI *DINDigit5/Private Print Document ID (DIN) - Digit 5: PickOne
*CloseUI: *DINDigit5
*CloseGroup: DINNumber
)",
            {},
            { "DCDigit1 digits 5-5 [0-9] with DeptCode=True \"Department Code (DC)\"",
                "DINDigit1 digits 5-5 [0-9] with PrintMode=Private \"Private Print Document ID (DIN)\"" } },
        { "Kyocera's job accounting from a fixed list, in a German PPD of Latin-1 text",
            R"(*LanguageEncoding: ISOLatin1
*LanguageVersion: German
*OpenUI *KMManagement/Auftragsz<E4>hlung: PickOne
*DefaultKMManagement: Default
*KMManagement Default/Aus: ""
*KMManagement MG0000/0000: "(0000) statusdict /setmanagementnumber get exec"
*KMManagement MG0001/0001: "(0001) statusdict /setmanagementnumber get exec"
*CloseUI: *KMManagement
)",
            {}, { "KMManagement listed 4-4 [0-9] \"Auftragszählung\"" } },
        { "Brother's secure-print PIN from a fixed list, with its job spooling",
            R"(*OpenUI *BRJobHold/Job Spooling: PickOne
*BRJobHold None/Off: "<</BRHold 0>>setpagedevice"
*BRJobHold Private/Secure Print: "<</BRHold 2 /BRHoldType 1>>setpagedevice"
*CloseUI: *BRJobHold
*OpenUI *BRJobPIN/PASSWORD: PickOne
*BRJobPIN HoldKey0/None: "<</BRHoldKey 0>> setpagedevice"
*BRJobPIN HoldKey1/1002: "<</BRHoldKey 1002>> setpagedevice"
*BRJobPIN HoldKey2/0052: "<</BRHoldKey 0052>> setpagedevice"
*CloseUI: *BRJobPIN
)",
            {}, { "BRJobPIN listed 4-4 [0-9] with BRJobHold=Private \"PASSWORD\"" } },
        { "Kyocera Mita's management code from a fixed list in its JCL, and Brother's PIN under its older name",
            R"(*JCLOpenUI *JCLMJOBMANAGERCODE/Management Code: PickOne
*DefaultJCLMJOBMANAGERCODE: OFF
*JCLMJOBMANAGERCODE OFF/Aus: ""
*JCLMJOBMANAGERCODE 0000/0000: "@PJL SET MJOBMANAGERCODE=0000<0A>"
*JCLMJOBMANAGERCODE 0007/0007: "@PJL SET MJOBMANAGERCODE=0007<0A>"
*JCLMJOBMANAGERCODE 0050/0000019: "@PJL SET MJOBMANAGERCODE=0000019<0A>"
*JCLCloseUI: *JCLMJOBMANAGERCODE
*OpenUI *BRJobHold/Job Spooling: PickOne
*BRJobHold Private/Secure Print: "<</BRHold 2 /BRHoldType 1>>setpagedevice"
*CloseUI: *BRJobHold
*OpenUI *BRJobHoldKey/PASSWORD: PickOne
*BRJobHoldKey HoldKey0/None: "<</BRHoldKey 0>> setpagedevice"
*BRJobHoldKey HoldKey1/1002: "<</BRHoldKey 1002>> setpagedevice"
*CloseUI: *BRJobHoldKey
)",
            {},
            { "JCLMJOBMANAGERCODE listed 4-7 [0-9] \"Management Code\"", "BRJobHoldKey listed 4-4 [0-9] with BRJobHold=Private \"PASSWORD\"" } },
        { "Samsung's accounting and confidential-print user IDs, which their passwords belong to",
            R"(*JCLOpenUI *JCLJACType/[Job Accounting] Type: PickOne
*JCLJACType Accounting/Accounting: ""
*JCLJACType IDOnly/ID Only: ""
*JCLCloseUI: *JCLJACType
*JCLOpenUI *JCLJACUserID/[Job Accounting] User ID: PickOne
*JCLJACUserID None/None: ""
*JCLCloseUI: *JCLJACUserID
*CustomJCLJACUserID True: "@PJL SET ACCOUNTING_INFORMATION_USERID=\1<0D0A>"
*ParamCustomJCLJACUserID Custom/Custom Name: 1 string 0 129
*JCLOpenUI *JCLJACPassword/[Job Accounting] Password (4-32 Alphanumeric): PickOne
*JCLCloseUI: *JCLJACPassword
*ParamCustomJCLJACPassword Custom/Custom Password: 1 password 4 32
*JCLOpenUI *JCLCDPType/[Print Mode] Type: PickOne
*JCLCDPType None/Normal: ""
*JCLCDPType Confidential/Confidential: "@PJL SET HOLD = ON<0D0A>"
*JCLCloseUI: *JCLCDPType
*JCLOpenUI *JCLCDPUserID/[Print Mode] User ID: PickOne
*JCLCloseUI: *JCLCDPUserID
*ParamCustomJCLCDPUserID Custom/Custom ID: 1 string 1 64
*JCLOpenUI *JCLCDPJobName/[Print Mode] Job Name: PickOne
*JCLCloseUI: *JCLCDPJobName
*ParamCustomJCLCDPJobName Custom/Custom Name: 1 string 0 64
)",
            {},
            { "JCLJACUserID characters 0-129 with JCLJACType=Accounting \"[Job Accounting] User ID\"",
                "JCLJACPassword characters 4-32 with JCLJACType=Accounting \"[Job Accounting] Password (4-32 Alphanumeric)\"",
                "JCLCDPUserID characters 1-64 with JCLCDPType=Confidential \"[Print Mode] User ID\"" } },
        { "a driverless queue's account, accounting user and password",
            "*cupsJobAccountId: True\n*cupsJobAccountingUserId: True\n*cupsJobPassword: \"1111\"\n", {},
            { "job-account-id name 1-255 \"Account ID\"", "job-accounting-user-id name 1-255 \"Accounting user ID\"",
                "job-password digits 1-4 \"Password\"" } },
        { "the printer's attributes add what the PPD does not say, and give the password its length",
            "*cupsJobAccountId: False\n*cupsJobPassword: \"AAAA\"\n", {},
            { "job-password characters 1-6 \"Password\"", "job-account-id name 1-255 \"Account ID\"" },
            { true, false, 6, { "none" }, "" } },
        { "a printer's password longer than any code is cut to the longest", "*cupsJobPassword: \"1111\"\n", {},
            { "job-password digits 1-255 \"Password\"" }, { false, false, 100000, {}, "" } },
        { "a printer that asks for none",
            R"(*Manufacturer: "Lumio"
*OpenUI *PageSize/Media Size: PickOne
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*CustomPageSize True: "pop pop pop <</PageSize[5 -2 roll]>>setpagedevice"
*ParamCustomPageSize Width: 1 points 36 1080
*cupsJobAccountId: False
*OpenUI *HPPinPrnt/Secure Printing: PickOne
*CloseUI: *HPPinPrnt
*OpenUI *KmManagment/Job Accounting: PickOne
*KmManagment Default/Off: ""
*CloseUI: *KmManagment
)",
            {}, {} },
        { "hostile text: labels with control characters, bounds out of order or no numbers, quotes left open",
            "*OpenUI *PIN/PIN\x1b[2J\x07 (4 digits): PickOne\r\n*ParamCustomPIN PIN/PIN: 1 password 9 3\r\n"
            "*ParamCustomJCLCDPPassword Custom/Custom Password: 1 passcode x 99999\n"
            "*ParamCustomBroken Custom: 1 passcode\n*ParamCustomNoType Custom: passcode\n"
            "*OpenUI *Open/\"Quote: PickOne\n*ParamCustomOpen Custom/Custom: 1 password 0 4 \"\n"
            "*Unclosed: \"runs on\n*ParamCustomInside Inside: 1 passcode 1 2\n",
            {},
            { "PIN characters 3-3 \"PIN\x1b[2J\x07 (4 digits)\"", "JCLCDPPassword digits 0-255 \"Custom Password\"", "Broken digits 0-255 \"Broken\"",
                "Open characters 0-4 \"\"Quote\"" } },
        { "a Movra printer keeps the pane's own codes, whatever else its PPD says",
            "*Manufacturer: \"Movra\"\n*cupsJobAccountId: True\n*ParamCustomUserCode UserCode/User Code: 1 passcode 1 8\n", {},
            { "com.movra.Act.trel.UID characters 1-79 \"User ID\"", "com.movra.Act.trel.AID characters 1-79 \"Account ID\"" },
            { true, true, 8, {}, "" } },
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        PrinterCodes codes = readPrinterCodes(kHeader + example.ppd, example.languages);
        addPrinterAttributes(&codes, example.attributes);
        std::vector<std::string> found;
        for (const PrinterCode& code : codes.codes)
            found.push_back(summary(code));
        EXPECT_EQ(found, example.codes);
        EXPECT_EQ(codes.paneOwn, example.ppd.starts_with("*Manufacturer: \"Movra\""));
    }
}

TEST(PrinterCodes, AJobCarriesEachCodeUnderItsOwnNamesWhichThePolicyKeepsPrivate)
{
    PrinterCodes codes = readPrinterCodes(kHeader
            + "*OpenUI *HPFIDigit/First: PickOne\n*CloseUI: *HPFIDigit\n*OpenUI *HPSEDigit/Second: PickOne\n*CloseUI: *HPSEDigit\n"
              "*OpenUI *KmManagment/Job Accounting: PickOne\n*KmManagment Default/Off: \"\"\n*KmManagment MG01/01: \"(01)\"\n"
              "*KmManagment MG02/02: \"(02)\"\n*CloseUI: *KmManagment\n"
              "*ParamCustomUserCode UserCode/User Code: 1 passcode 1 8\n*ParamCustomReleaseCode Code/Release Code: 1 passcode 4 8\n"
              "*cupsJobAccountId: True\n*cupsJobPassword: \"1111\"\n",
        {});
    ASSERT_EQ(codes.codes.size(), 6u);
    EXPECT_EQ(codes.codes[0].carrier, CodeCarrier::CustomOption);
    EXPECT_EQ(codes.codes[0].parameter, "UserCode");
    EXPECT_EQ(codes.codes[1].name, "ReleaseCode");
    EXPECT_EQ(codes.codes[2].carrier, CodeCarrier::DigitOptions);
    EXPECT_EQ(codes.codes[2].name, "HPFIDigit");
    EXPECT_EQ(codes.codes[2].digitOptions, (std::vector<std::string> { "HPFIDigit", "HPSEDigit" }));
    EXPECT_EQ(codes.codes[3].carrier, CodeCarrier::ListedChoice);
    EXPECT_EQ(codes.codes[3].choices, (std::vector<CodeChoice> { { "MG01", "01" }, { "MG02", "02" } }));
    EXPECT_EQ(codes.codes[4].carrier, CodeCarrier::IppAttribute);
}

}
