#include "Accounting/TicketSync.h"
#include "Accounting/tests/PaneFixture.h"

#include <PrintCore/PMTicketStandIn.h>

#include <cstring>

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

const char* const kOn = "com.movra.Act.trel.On";
const char* const kPrm = "com.movra.Act.trel.Prm";
const char* const kCU = "com.movra.Act.trel.CU";
const char* const kCA = "com.movra.Act.trel.CA";
const char* const kAT = "com.movra.Act.trel.AT";
const char* const kUID = "com.movra.Act.trel.UID";
const char* const kAID = "com.movra.Act.trel.AID";

class TicketSyncTest : public PaneFixture {
protected:
    OSStatus readTicket()
    {
        CaptureStderr();
        OSStatus status = Sync(&context, session, true);
        diagnostics = GetCapturedStderr();
        return status;
    }

    OSStatus writeTicket() { return Sync(&context, session, false); }

    void typeInto(SInt32 field, const std::string& text)
    {
        SetControlData(control(field), kControlEntireControl, kControlEditTextTextTag, static_cast<Size>(text.size()), text.data());
    }

    std::string fieldText(SInt32 field)
    {
        char text[256] = {};
        Size size = 0;
        GetControlData(control(field), kControlEntireControl, kControlEditTextTextTag, sizeof text - 1, text, &size);
        return std::string(text, std::min<Size>(size, sizeof text - 1));
    }

    std::string diagnostics;
};

TEST_F(TicketSyncTest, EmptyTicketReadsAsOnesAndSaysSo)
{
    strcpy(context.defUserID, "kept");
    strcpy(context.defAcctID, "also kept");
    context.acctEnabled = 3;
    context.concealUser = 0;

    EXPECT_EQ(readTicket(), noErr);

    EXPECT_EQ(context.acctEnabled, 1);
    EXPECT_EQ(context.prompt, 1);
    EXPECT_EQ(context.concealUser, 1);
    EXPECT_EQ(context.concealAccount, 1);
    EXPECT_EQ(context.accountType, 1);
    EXPECT_STREQ(context.defUserID, "kept");
    EXPECT_STREQ(context.defAcctID, "also kept");
    EXPECT_EQ(diagnostics, "using default conceal user value\nusing default conceal accounting value\n");
}

TEST_F(TicketSyncTest, PresentConcealValuesArePrintedAsNumbers)
{
    setTicketInteger(kCU, 0);
    setTicketInteger(kCA, -2147483647 - 1);

    readTicket();

    EXPECT_EQ(diagnostics, "conceal user value = 0\nconceal accounting value = -2147483648\n");
    EXPECT_EQ(context.concealAccount, INT32_MIN);
}

TEST_F(TicketSyncTest, DefaultCodesLoadOnlyWhenThePromptIsOff)
{
    buildPane();
    setTicketString(kUID, "alice");
    setTicketString(kAID, "4711");
    setTicketInteger(kOn, 3);

    setTicketInteger(kPrm, 1);
    readTicket();
    EXPECT_STREQ(context.defUserID, "");
    EXPECT_EQ(fieldText(kUserIDFieldID), "");

    setTicketInteger(kPrm, 0);
    readTicket();
    EXPECT_STREQ(context.defUserID, "alice");
    EXPECT_STREQ(context.defAcctID, "4711");
    EXPECT_EQ(fieldText(kUserIDFieldID), "alice");
    EXPECT_EQ(fieldText(kAccountIDFieldID), "4711");
    EXPECT_STREQ(context.userID, "") << "job codes never come from a ticket";
}

TEST_F(TicketSyncTest, ReadingSetsThePaneAndAppliesItsState)
{
    buildPane();
    setTicketInteger(kOn, 3);
    setTicketInteger(kPrm, 0);
    setTicketInteger(kCU, 1);
    setTicketInteger(kCA, 0);
    setTicketInteger(kAT, 2);

    readTicket();

    EXPECT_EQ(GetControlValue(control(kAccountingPopupID)), 3);
    EXPECT_EQ(GetControlValue(control(kConcealUserCheckBoxID)), 1);
    EXPECT_EQ(GetControlValue(control(kConcealAccountCheckBoxID)), 0);
    EXPECT_EQ(GetControlValue(control(kAccountingTypePopupID)), 2);
    EXPECT_EQ(GetControlValue(control(kUseDefaultRadioID)), 1);
    EXPECT_TRUE(IsControlVisible(control(kUserIDFieldID)));
    EXPECT_EQ(gMaxChars, 64);
}

TEST_F(TicketSyncTest, ReadOrderTakesThePromptBeforeTheCodes)
{
    std::vector<std::string> accesses;
    StandIn::setTicketAccessLog(settings, &accesses);
    setTicketInteger(kPrm, 0);
    accesses.clear();

    readTicket();

    const std::vector<std::string> expected = { "get com.movra.Act.trel.On", "get com.movra.Act.trel.Prm",
        "get com.movra.Act.trel.CU", "get com.movra.Act.trel.CA", "get com.movra.Act.trel.AT", "get com.movra.Act.trel.UID",
        "get com.movra.Act.trel.AID" };
    EXPECT_EQ(accesses, expected);
    StandIn::setTicketAccessLog(settings, nullptr);
}

TEST_F(TicketSyncTest, WriteOrderIsModeCodesThenTheFlags)
{
    std::vector<std::string> accesses;
    StandIn::setTicketAccessLog(settings, &accesses);

    EXPECT_EQ(writeTicket(), noErr);

    const std::vector<std::string> expected = { "set com.movra.Act.trel.On", "set com.movra.Act.trel.UID",
        "set com.movra.Act.trel.AID", "set com.movra.Act.trel.Prm", "set com.movra.Act.trel.CU", "set com.movra.Act.trel.CA",
        "set com.movra.Act.trel.AT" };
    EXPECT_EQ(accesses, expected);
    StandIn::setTicketAccessLog(settings, nullptr);
    for (const auto& item : StandIn::ticketItems(settings)) {
        EXPECT_EQ(item.client, "com.pmvendor.printingmanager") << item.key;
        EXPECT_FALSE(item.locked) << item.key;
    }
}

TEST_F(TicketSyncTest, PromptingWritesTheJobCodesEvenBeforeAnyPrompt)
{
    buildPane();
    context.acctEnabled = 3;
    context.prompt = 1;
    strcpy(context.defUserID, "default user");
    typeInto(kUserIDFieldID, "typed");

    writeTicket();

    EXPECT_EQ(ticketString(kUID), "");
    EXPECT_EQ(ticketString(kAID), "");
    SInt32 value = 0;
    ASSERT_TRUE(ticketInteger(kOn, &value));
    EXPECT_EQ(value, 3);
    ASSERT_TRUE(ticketInteger(kPrm, &value));
    EXPECT_EQ(value, 1);

    strcpy(context.userID, "bob");
    strcpy(context.acctID, "99");
    writeTicket();
    EXPECT_EQ(ticketString(kUID), "bob");
    EXPECT_EQ(ticketString(kAID), "99");
}

TEST_F(TicketSyncTest, DefaultCodesAreTakenFromTheFieldsAsTyped)
{
    buildPane();
    context.acctEnabled = 3;
    typeInto(kUserIDFieldID, "carol");
    typeInto(kAccountIDFieldID, "12-34");

    writeTicket();

    EXPECT_EQ(ticketString(kUID), "carol");
    EXPECT_EQ(ticketString(kAID), "12-34");
    EXPECT_STREQ(context.defUserID, "carol");
}

TEST_F(TicketSyncTest, WithoutADialogWindowTheStoredDefaultsAreWritten)
{
    strcpy(context.defUserID, "stored");
    strcpy(context.defAcctID, "0815");

    writeTicket();

    EXPECT_EQ(ticketString(kUID), "stored");
    EXPECT_EQ(ticketString(kAID), "0815");
    SInt32 mode = 0;
    ASSERT_TRUE(ticketInteger(kOn, &mode));
    EXPECT_EQ(mode, 1);
}

TEST_F(TicketSyncTest, A79ByteDefaultCodeSurvivesAWriteAndARead)
{
    buildPane();
    std::string code(77, 'x');
    code += "\xC3\xA9"; // 79 bytes, ending in a two-byte character
    typeInto(kUserIDFieldID, code);
    typeInto(kAccountIDFieldID, std::string(79, '7'));

    writeTicket();
    memset(context.defUserID, 0, sizeof context.defUserID);
    memset(context.defAcctID, 0, sizeof context.defAcctID);
    typeInto(kUserIDFieldID, "");
    readTicket();

    EXPECT_EQ(std::string(context.defUserID), code);
    EXPECT_EQ(std::string(context.defAcctID), std::string(79, '7'));
    EXPECT_EQ(fieldText(kUserIDFieldID), code);
}

TEST_F(TicketSyncTest, OverlongFieldTextIsCutOnACharacterBoundary)
{
    buildPane();
    std::string typed(78, 'a');
    typed += "\xE2\x82\xAC\xE2\x82\xAC"; // two euro signs: the first would straddle byte 79
    typeInto(kUserIDFieldID, typed);
    typeInto(kAccountIDFieldID, std::string(200, 'b'));

    writeTicket();

    EXPECT_EQ(std::string(context.defUserID), std::string(78, 'a'));
    EXPECT_EQ(std::string(context.defAcctID), std::string(79, 'b'));
    EXPECT_EQ(ticketString(kUID), std::string(78, 'a'));
}

TEST_F(TicketSyncTest, OverlongTicketCodesAreCutOnACharacterBoundary)
{
    std::string stored(77, 'u');
    stored += "\xF0\x9F\x98\x80"; // a four-byte character across the 79-byte limit
    setTicketString(kUID, stored.c_str());
    setTicketString(kAID, std::string(500, 'a').c_str());
    setTicketInteger(kPrm, 0);
    memset(context.defUserID, '#', sizeof context.defUserID);

    readTicket();

    EXPECT_EQ(std::string(context.defUserID), std::string(77, 'u'));
    EXPECT_EQ(std::string(context.defAcctID), std::string(79, 'a'));
}

TEST_F(TicketSyncTest, OnlyAFailedModeWriteIsReported)
{
    setTicketInteger(kPrm, 0, true);
    EXPECT_EQ(writeTicket(), noErr);

    setTicketInteger(kOn, 1, true);
    context.accountType = 2;
    EXPECT_EQ(writeTicket(), kPMItemIsLocked);
    SInt32 type = 0;
    ASSERT_TRUE(ticketInteger(kAT, &type)) << "the other writes are still made";
    EXPECT_EQ(type, 2);
}

TEST_F(TicketSyncTest, MissingArgumentsOrTicketTouchNothing)
{
    context.acctEnabled = 3;
    EXPECT_EQ(Sync(nullptr, session, true), -30879);
    EXPECT_EQ(Sync(&context, nullptr, false), -30879);

    PMPrintSession bare = nullptr;
    PMCreateSession(&bare);
    EXPECT_EQ(Sync(&context, bare, true), -30891);
    CFStringRef notANumber = CFSTR("ticket");
    PMSessionSetDataInSession(bare, kPMPrintSettingsTicketKey, notANumber);
    EXPECT_EQ(Sync(&context, bare, false), -30891);
    PMRelease(bare);

    EXPECT_EQ(context.acctEnabled, 3);
    EXPECT_TRUE(StandIn::ticketItems(settings).empty());
}

TEST_F(TicketSyncTest, OtherDirectionValuesDoNothing)
{
    context.acctEnabled = 3;
    CaptureStderr();
    EXPECT_EQ(Sync(&context, session, 2), noErr);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(context.acctEnabled, 3);
    EXPECT_TRUE(StandIn::ticketItems(settings).empty());
}

TEST_F(TicketSyncTest, TicketModeOutsideTheMenuIsTakenOverUnchanged)
{
    buildPane();
    setTicketInteger(kOn, 7);

    readTicket();

    EXPECT_EQ(context.acctEnabled, 7);
    writeTicket();
    SInt32 mode = 0;
    ASSERT_TRUE(ticketInteger(kOn, &mode));
    EXPECT_EQ(mode, 7);
}

}
