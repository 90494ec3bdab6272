#include "tests/support/LiveObjects.h"
#include "tests/support/ProgramRun.h"

#include <PrintCore/PMTicketStandIn.h>
#include <PrintCore/PrintCore.h>

#include <chrono>
#include <cstring>

namespace {

#define kClient CFSTR("com.pmvendor.printingmanager")

class TicketTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        ASSERT_EQ(PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket), noErr);
    }

    void TearDown() override
    {
        PMRelease(ticket);
        BalancedTest::TearDown();
    }

    PMTicketRef ticket { nullptr };
};

TEST_F(TicketTest, ReferenceFitsInASignedThirtyTwoBitNumber)
{
    auto reference = reinterpret_cast<uintptr_t>(ticket);
    EXPECT_LE(reference, static_cast<uintptr_t>(INT32_MAX));
    auto asNumber = static_cast<SInt32>(reference);
    auto back = reinterpret_cast<PMTicketRef>(static_cast<uintptr_t>(static_cast<UInt32>(asNumber)));
    EXPECT_EQ(PMTicketSetSInt32(back, kClient, CFSTR("key"), 5, false), noErr);
}

TEST_F(TicketTest, IntegersRoundTripAndAbsentKeysAreAnError)
{
    SInt32 value = 0x0BADF00D;
    EXPECT_EQ(PMTicketGetSInt32(ticket, kPMTopLevel, kPMTopLevel, CFSTR("com.movra.Act.trel.On"), &value), kPMKeyNotFound);
    EXPECT_EQ(value, 0x0BADF00D) << "an absent key leaves the value alone";

    for (SInt32 stored : { 0, 3, -1, INT32_MIN, INT32_MAX }) {
        ASSERT_EQ(PMTicketSetSInt32(ticket, kClient, CFSTR("com.movra.Act.trel.On"), stored, false), noErr);
        ASSERT_EQ(PMTicketGetSInt32(ticket, kPMTopLevel, kPMTopLevel, CFSTR("com.movra.Act.trel.On"), &value), noErr);
        EXPECT_EQ(value, stored);
    }
    EXPECT_EQ(PMTicketGetSInt32(ticket, 1, kPMTopLevel, CFSTR("com.movra.Act.trel.On"), &value), kPMKeyNotFound)
        << "only the top level holds items";
}

TEST_F(TicketTest, KeysAreComparedByTextNotByObject)
{
    CFStringRef made = CFStringCreateWithCString(kCFAllocatorDefault, "com.movra.Act.trel.AT", kCFStringEncodingUTF8);
    PMTicketSetSInt32(ticket, kClient, made, 2, false);
    CFRelease(made);
    SInt32 value = 0;
    EXPECT_EQ(PMTicketGetSInt32(ticket, kPMTopLevel, kPMTopLevel, CFSTR("com.movra.Act.trel.AT"), &value), noErr);
    EXPECT_EQ(value, 2);
}

TEST_F(TicketTest, StringsRoundTripAndAreCutToTheBufferOnCharacterBoundaries)
{
    ASSERT_EQ(PMTicketSetCString(ticket, kClient, CFSTR("com.movra.Act.trel.UID"), "J\xC3\xBCrgen", false), noErr);
    char value[80];
    ASSERT_EQ(PMTicketGetCString(ticket, 0, 0, CFSTR("com.movra.Act.trel.UID"), sizeof value, kCFStringEncodingUTF8, value), noErr);
    EXPECT_STREQ(value, "J\xC3\xBCrgen");
    ASSERT_EQ(PMTicketGetCString(ticket, 0, 0, CFSTR("com.movra.Act.trel.UID"), sizeof value, kCFStringEncodingISOLatin1, value), noErr);
    EXPECT_STREQ(value, "J\xFCrgen");

    char small[3];
    ASSERT_EQ(PMTicketGetCString(ticket, 0, 0, CFSTR("com.movra.Act.trel.UID"), sizeof small, kCFStringEncodingUTF8, small), noErr);
    EXPECT_STREQ(small, "J") << "the two-byte character does not fit with the terminator";
}

TEST_F(TicketTest, TextOutsideTheEncodingOrNotUTF8IsRefused)
{
    EXPECT_EQ(PMTicketSetCString(ticket, kClient, CFSTR("bad"), "\xC3", false), kPMInvalidValue);
    EXPECT_TRUE(StandIn::ticketItems(ticket).empty());

    PMTicketSetCString(ticket, kClient, CFSTR("euro"), "\xE2\x82\xAC", false);
    char value[8] = "sentnl";
    EXPECT_EQ(PMTicketGetCString(ticket, 0, 0, CFSTR("euro"), sizeof value, kCFStringEncodingASCII, value), kPMInvalidValue);
    EXPECT_STREQ(value, "sentnl");
}

TEST_F(TicketTest, ValuesOfTheOtherTypeAreNotConverted)
{
    PMTicketSetCString(ticket, kClient, CFSTR("text"), "12", false);
    PMTicketSetSInt32(ticket, kClient, CFSTR("number"), 12, false);
    SInt32 number = -7;
    char text[8] = "sentnl";
    EXPECT_EQ(PMTicketGetSInt32(ticket, 0, 0, CFSTR("text"), &number), kPMInvalidValue);
    EXPECT_EQ(PMTicketGetCString(ticket, 0, 0, CFSTR("number"), sizeof text, kCFStringEncodingUTF8, text), kPMInvalidValue);
    EXPECT_EQ(number, -7);
    EXPECT_STREQ(text, "sentnl");
}

TEST_F(TicketTest, LockedItemsRefuseChangesAndKeepTheirValue)
{
    PMTicketSetSInt32(ticket, CFSTR("com.example.driver"), CFSTR("com.movra.Act.trel.Prm"), 0, true);
    EXPECT_EQ(PMTicketSetSInt32(ticket, kClient, CFSTR("com.movra.Act.trel.Prm"), 1, false), kPMItemIsLocked);
    SInt32 value = -1;
    PMTicketGetSInt32(ticket, 0, 0, CFSTR("com.movra.Act.trel.Prm"), &value);
    EXPECT_EQ(value, 0);
    Boolean locked = false;
    EXPECT_EQ(PMTicketGetLockedState(ticket, 0, 0, CFSTR("com.movra.Act.trel.Prm"), &locked), noErr);
    EXPECT_TRUE(locked);
    auto items = StandIn::ticketItems(ticket);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].client, "com.example.driver");
}

TEST_F(TicketTest, ItemsKeepTheOrderTheyWereFirstSet)
{
    PMTicketSetSInt32(ticket, kClient, CFSTR("b"), 1, false);
    PMTicketSetSInt32(ticket, kClient, CFSTR("a"), 1, false);
    PMTicketSetSInt32(ticket, kClient, CFSTR("b"), 2, false);
    auto items = StandIn::ticketItems(ticket);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].key, "b");
    EXPECT_EQ(items[0].integer, 2);
    EXPECT_EQ(items[1].key, "a");
}

// A settings file may hold many thousands of items. Looked up one by one through all the items
// before them, 100,000 took about twenty seconds to set; by key they take a fraction of one.
TEST_F(TicketTest, AHundredThousandItemsAreSetAndFoundQuicklyInTheOrderFirstSet)
{
    constexpr int kCount = 100'000;
    std::vector<CFStringRef> keys;
    for (int i = 0; i < kCount; ++i)
        keys.push_back(CFStringCreateWithCString(kCFAllocatorDefault, ("com.example.setting" + std::to_string(i)).c_str(),
            kCFStringEncodingUTF8));
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(PMTicketSetSInt32(ticket, kClient, keys[i], i, false), noErr);
    for (int i = kCount - 1; i >= 0; i -= 2)
        ASSERT_EQ(PMTicketSetSInt32(ticket, kClient, keys[i], -i, false), noErr);
    SInt32 value = 0;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(PMTicketGetSInt32(ticket, 0, 0, keys[i], &value), noErr);
        ASSERT_EQ(value, i % 2 ? -i : i);
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    for (CFStringRef key : keys)
        CFRelease(key);

    auto items = StandIn::ticketItems(ticket);
    ASSERT_EQ(items.size(), size_t { kCount });
    EXPECT_EQ(items[0].key, "com.example.setting0");
    EXPECT_EQ(items[kCount - 1].key, "com.example.setting" + std::to_string(kCount - 1));
    EXPECT_EQ(items[kCount - 1].integer, -(kCount - 1));
    if (!kSanitizedBuild) {
        EXPECT_LT(elapsed, std::chrono::seconds(2));
    }
}

TEST_F(TicketTest, ReleasedTicketReferencesAreRefused)
{
    PMTicketRef other = nullptr;
    PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &other);
    PMRelease(other);
    SInt32 value = 0;
    EXPECT_EQ(PMTicketSetSInt32(other, kClient, CFSTR("key"), 1, false), kPMInvalidTicket);
    EXPECT_EQ(PMTicketGetSInt32(other, 0, 0, CFSTR("key"), &value), kPMInvalidTicket);
    EXPECT_EQ(PMTicketSetSInt32(reinterpret_cast<PMTicketRef>(uintptr_t { 12345 }), kClient, CFSTR("key"), 1, false), kPMInvalidTicket);
}

class SessionTest : public BalancedTest {
};

TEST_F(SessionTest, DataIsStoredRetainedAndNotHandedOverOnGet)
{
    PMPrintSession session = nullptr;
    ASSERT_EQ(PMCreateSession(&session), noErr);
    SInt32 reference = 0x1234;
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &reference);
    ASSERT_EQ(PMSessionSetDataInSession(session, kPMPrintSettingsTicketKey, number), noErr);
    CFRelease(number);

    CFTypeRef data = nullptr;
    ASSERT_EQ(PMSessionGetDataFromSession(session, kPMPrintSettingsTicketKey, &data), noErr);
    SInt32 read = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(data), kCFNumberSInt32Type, &read));
    EXPECT_EQ(read, 0x1234);

    CFTypeRef untouched = CFSTR("sentinel");
    EXPECT_NE(PMSessionGetDataFromSession(session, kPMPrinterInfoTicketKey, &untouched), noErr);
    EXPECT_EQ(untouched, CFSTR("sentinel"));
    EXPECT_EQ(PMRelease(session), noErr);
}

}
