// Conformance of the CFString stand-in: UTF-16 content, decoding and encoding in the supported
// encodings, C-string export into caller buffers, constant strings and formatting.
#include "tests/support/LiveObjects.h"

#include <CoreFoundation/CoreFoundation.h>
#include <CoreFoundation/CFStandIn.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Releases the string however the test ends, so that a failed assertion is not also a leak.
struct Owned {
    CFStringRef string;
    ~Owned()
    {
        if (string)
            CFRelease(string);
    }
    operator CFStringRef() const { return string; }
};

CFStringRef fromUTF8(const char* text)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
}

std::u16string unitsOf(CFStringRef string)
{
    std::u16string units(CFStringGetLength(string), u'\0');
    CFStringGetCharacters(string, CFRangeMake(0, units.size()), reinterpret_cast<UniChar*>(units.data()));
    return units;
}

std::string utf8Of(CFStringRef string)
{
    std::vector<char> buffer(CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1);
    if (!CFStringGetCString(string, buffer.data(), buffer.size(), kCFStringEncodingUTF8))
        return "<no UTF-8 form>";
    return buffer.data();
}

const std::string kUntouched(16, '#');

class CFStringTest : public BalancedTest { };

TEST_F(CFStringTest, UTF8IsDecodedToUTF16UnitsAndAnEmojiCountsTwo)
{
    Owned string { fromUTF8("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80") }; // A, e-acute, euro, grinning face
    ASSERT_NE(string, nullptr);
    EXPECT_EQ(CFGetTypeID(string), CFStringGetTypeID());
    EXPECT_EQ(CFStringGetLength(string), 5);
    EXPECT_EQ(unitsOf(string), u"A\u00E9\u20AC\U0001F600");

    // The first and last scalar of each sequence length.
    const char* edges = "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    Owned edgeString { fromUTF8(edges) };
    ASSERT_NE(edgeString, nullptr);
    EXPECT_EQ(unitsOf(edgeString), u"\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF");
}

TEST_F(CFStringTest, MalformedUTF8YieldsNull)
{
    const struct {
        const char* what;
        const char* bytes;
    } cases[] = {
        { "overlong two-byte", "\xC0\xAF" },
        { "overlong two-byte after a letter", "a\xC1\x80" },
        { "overlong three-byte", "\xE0\x80\xAF" },
        { "overlong four-byte", "\xF0\x80\x80\xAF" },
        { "lone continuation byte", "\x80" },
        { "continuation byte between letters", "a\277b" },
        { "two-byte sequence cut by the end", "ab\xC3" },
        { "three-byte sequence cut by a letter", "\xE2\x82z" },
        { "encoded high surrogate", "\xED\xA0\x80" },
        { "encoded low surrogate", "\xED\xBF\xBF" },
        { "beyond U+10FFFF", "\xF4\x90\x80\x80" },
        { "byte 0xFF", "x\xFF" },
    };
    for (const auto& c : cases) {
        Owned string { fromUTF8(c.bytes) };
        EXPECT_EQ(string, nullptr) << c.what << " decoded to \"" << (string ? utf8Of(string) : "") << "\"";
    }
}

TEST_F(CFStringTest, ASCIIRejectsHighBytesAndLatin1MapsEveryByte)
{
    Owned ascii { CFStringCreateWithCString(kCFAllocatorDefault, "Tray 1", kCFStringEncodingASCII) };
    EXPECT_EQ(unitsOf(ascii), u"Tray 1");
    for (const char* high : { "caf\xE9", "\x80", "\xFF" }) {
        Owned string { CFStringCreateWithCString(kCFAllocatorDefault, high, kCFStringEncodingASCII) };
        EXPECT_EQ(string, nullptr) << "ASCII accepted " << ::testing::PrintToString(high);
    }
    Owned latin1 { CFStringCreateWithCString(kCFAllocatorDefault, "caf\xE9\x80\xFF", kCFStringEncodingISOLatin1) };
    EXPECT_EQ(unitsOf(latin1), u"caf\u00E9\u0080\u00FF");
}

TEST_F(CFStringTest, CreateWithBytesReadsUTF16InTheOrderItsByteOrderMarkGives)
{
    const UInt8 bigEndian[] = { 0xFE, 0xFF, 0x00, 'H', 0x00, 0xE9, 0xD8, 0x3D, 0xDE, 0x00 };
    const UInt8 littleEndian[] = { 0xFF, 0xFE, 'H', 0x00, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE };
    for (const UInt8* bytes : { bigEndian, littleEndian }) {
        Owned string { CFStringCreateWithBytes(kCFAllocatorDefault, bytes, 10, kCFStringEncodingUTF16, true) };
        EXPECT_EQ(unitsOf(string), u"H\u00E9\U0001F600") << "the byte-order mark is not text";
    }
    Owned explicitOrder { CFStringCreateWithBytes(kCFAllocatorDefault, bigEndian + 2, 8, kCFStringEncodingUTF16BE, false) };
    EXPECT_EQ(unitsOf(explicitOrder), u"H\u00E9\U0001F600");
    Owned halfUnit { CFStringCreateWithBytes(kCFAllocatorDefault, bigEndian + 2, 3, kCFStringEncodingUTF16BE, false) };
    EXPECT_EQ(halfUnit, nullptr);

    const UInt8 characters[] = { 'a', 0, 0xC3, 0xA9 };
    Owned withNul { CFStringCreateWithBytes(kCFAllocatorDefault, characters, 4, kCFStringEncodingUTF8, false) };
    EXPECT_EQ(unitsOf(withNul), std::u16string(u"a\0\u00E9", 3));
    Owned cut { CFStringCreateWithBytes(kCFAllocatorDefault, characters, 3, kCFStringEncodingUTF8, false) };
    EXPECT_EQ(cut, nullptr) << "read beyond the byte count to finish a sequence";
}

TEST_F(CFStringTest, GetCStringWritesExactBytesWhenTheTextFitsExactly)
{
    Owned string { fromUTF8("H\xC3\xA9\xE2\x82\xAC") }; // 6 bytes of UTF-8
    std::string buffer = kUntouched;
    ASSERT_TRUE(CFStringGetCString(string, buffer.data(), 7, kCFStringEncodingUTF8));
    EXPECT_EQ(buffer.substr(0, 8), std::string("H\xC3\xA9\xE2\x82\xAC\0#", 8)) << "wrong bytes, or written past the NUL";
}

TEST_F(CFStringTest, GetCStringLeavesBufferAloneWhenTooSmall)
{
    Owned string { fromUTF8("H\xC3\xA9\xE2\x82\xAC") }; // 6 bytes of UTF-8
    for (CFIndex size : { 6, 5, 1, 0 }) {
        std::string buffer = kUntouched;
        EXPECT_FALSE(CFStringGetCString(string, buffer.data(), size, kCFStringEncodingUTF8)) << "buffer size " << size;
        EXPECT_EQ(buffer, kUntouched) << "buffer size " << size;
    }
}

TEST_F(CFStringTest, GetCStringLeavesBufferAloneWhenTheTextCannotBeEncoded)
{
    Owned euro { fromUTF8("1 \xE2\x82\xAC") };
    Owned eAcute { fromUTF8("\xC3\xA9") };
    const UniChar loneSurrogate[] = { 'a', 0xD800, 'b' };
    Owned broken { CFStringCreateWithCharacters(kCFAllocatorDefault, loneSurrogate, 3) };
    const struct {
        const char* what;
        CFStringRef string;
        CFStringEncoding encoding;
    } cases[] = {
        { "euro sign in ASCII", euro, kCFStringEncodingASCII },
        { "euro sign in Latin-1", euro, kCFStringEncodingISOLatin1 },
        { "e-acute in ASCII", eAcute, kCFStringEncodingASCII },
        { "lone surrogate in UTF-8", broken, kCFStringEncodingUTF8 },
    };
    for (const auto& c : cases) {
        std::string buffer = kUntouched;
        EXPECT_FALSE(CFStringGetCString(c.string, buffer.data(), buffer.size(), c.encoding)) << c.what;
        EXPECT_EQ(buffer, kUntouched) << c.what;
    }
    char latin1[4];
    ASSERT_TRUE(CFStringGetCString(eAcute, latin1, sizeof latin1, kCFStringEncodingISOLatin1));
    EXPECT_STREQ(latin1, "\xE9");
    EXPECT_EQ(CFStringGetSystemEncoding(), static_cast<CFStringEncoding>(kCFStringEncodingUTF8));
}

TEST_F(CFStringTest, ConstantStringsAreImmortalAndNotCounted)
{
    CFIndex liveStrings = StandIn::liveObjectCount(CFStringGetTypeID());
    CFIndex liveTotal = StandIn::totalLiveObjectCount();
    CFStringRef constant = CFSTR("used only by ConstantStringsAreImmortalAndNotCounted");
    EXPECT_EQ(StandIn::liveObjectCount(CFStringGetTypeID()), liveStrings);
    EXPECT_EQ(StandIn::totalLiveObjectCount(), liveTotal);

    CFIndex retainCount = CFGetRetainCount(constant);
    EXPECT_EQ(CFRetain(constant), constant);
    EXPECT_EQ(CFGetRetainCount(constant), retainCount);
    for (int i = 0; i < 3; ++i)
        CFRelease(constant); // more releases than retains: a constant survives them
    EXPECT_EQ(utf8Of(constant), "used only by ConstantStringsAreImmortalAndNotCounted");
}

TEST_F(CFStringTest, EqualTextIsEqualAndHashesEqualHoweverItWasMade)
{
    const UniChar units[] = { 'c', 'a', 'f', 0x00E9 };
    const UInt8 utf16[] = { 0xFF, 0xFE, 'c', 0, 'a', 0, 'f', 0, 0xE9, 0 };
    Owned utf8 { fromUTF8("caf\xC3\xA9") };
    Owned latin1 { CFStringCreateWithCString(kCFAllocatorDefault, "caf\xE9", kCFStringEncodingISOLatin1) };
    Owned characters { CFStringCreateWithCharacters(kCFAllocatorDefault, units, 4) };
    Owned bytes { CFStringCreateWithBytes(kCFAllocatorDefault, utf16, sizeof utf16, kCFStringEncodingUTF16, true) };
    for (CFStringRef other : { latin1.string, characters.string, bytes.string, CFSTR("caf\xC3\xA9") }) {
        EXPECT_TRUE(CFEqual(utf8, other)) << "\"" << utf8Of(other) << "\"";
        EXPECT_EQ(CFHash(utf8), CFHash(other)) << "\"" << utf8Of(other) << "\"";
    }
    Owned plain { fromUTF8("cafe") };
    Owned decomposed { fromUTF8("cafe\xCC\x81") }; // e + combining acute: other code units
    EXPECT_FALSE(CFEqual(utf8, plain));
    EXPECT_FALSE(CFEqual(utf8, decomposed));
}

TEST_F(CFStringTest, FormatPercentAtShowsStringTextNumberValueAndNull)
{
    SInt32 copies = 42;
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &copies);
    Owned name { fromUTF8("Gr\u00FC\u00DFe") };
    Owned text { CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("[%@] [%@] [%@]"), name.string, number,
        static_cast<CFTypeRef>(nullptr)) };
    CFRelease(number);
    EXPECT_EQ(utf8Of(text), "[Gr\u00FC\u00DFe] [42] [(null)]");
}

TEST_F(CFStringTest, FormatHandlesPrintfConversions)
{
    Owned text { CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%d|%ld|%s|%x|%5d|%-5s|%.2f|%%|%d%%"), -7,
        1234567890123L, "caf\xC3\xA9", 255u, 42, "ab", 3.14159, 100) };
    EXPECT_EQ(utf8Of(text), "-7|1234567890123|caf\xC3\xA9|ff|   42|ab   |3.14|%|100%");
}

TEST_F(CFStringTest, FormatCopiesPercentNLiterallyAndNeverWritesThroughIt)
{
    int written = 0x5EED;
    long writtenLong = 0x5EED;
    Owned text { CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("ab%ncd%lnef"), &written, &writtenLong) };
    EXPECT_EQ(utf8Of(text), "ab%ncd%lnef");
    EXPECT_EQ(written, 0x5EED);
    EXPECT_EQ(writtenLong, 0x5EED);
}

}
