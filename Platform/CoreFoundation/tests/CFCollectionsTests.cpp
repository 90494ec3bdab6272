// Conformance of the object model and collections: retain and live-object counts, CFEqual and
// CFHash, CFNumber conversions, and what CFArray and CFDictionary own under each kind of callbacks.
#include "tests/support/LiveObjects.h"

#include <CoreFoundation/CoreFoundation.h>
#include <CoreFoundation/CFStandIn.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

CFStringRef makeString(const char* text)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
}

CFNumberRef makeSInt64(SInt64 value)
{
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value);
}

CFNumberRef makeDouble(double value)
{
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value);
}

void releaseAll(std::initializer_list<CFTypeRef> objects)
{
    for (CFTypeRef object : objects)
        CFRelease(object);
}

std::string textOf(const void* string)
{
    char buffer[64] = "<not a string>";
    CFStringGetCString(static_cast<CFStringRef>(string), buffer, sizeof buffer, kCFStringEncodingUTF8);
    return buffer;
}

// Memory behind a raw pointer. A retain or release wrongly applied to it would write into
// these words; every low byte is zero so that no word passes for a set flag.
std::vector<long> patternedWords(long seed)
{
    std::vector<long> words(8);
    for (long i = 0; i < 8; ++i)
        words[i] = (seed + i) << 8;
    return words;
}

class CFRetainTest : public BalancedTest { };
class CFNumberTest : public BalancedTest { };
class CFArrayTest : public BalancedTest { };
class CFDictionaryTest : public BalancedTest { };

TEST_F(CFRetainTest, RetainCountsAndPerTypeLiveCountsFollowRetainAndRelease)
{
    CFIndex strings = StandIn::liveObjectCount(CFStringGetTypeID());
    CFIndex numbers = StandIn::liveObjectCount(CFNumberGetTypeID());
    CFIndex total = StandIn::totalLiveObjectCount();
    CFStringRef string = makeString("tray");
    CFNumberRef number = makeSInt64(3);
    EXPECT_EQ(StandIn::liveObjectCount(CFStringGetTypeID()), strings + 1);
    EXPECT_EQ(StandIn::liveObjectCount(CFNumberGetTypeID()), numbers + 1);
    EXPECT_EQ(StandIn::totalLiveObjectCount(), total + 2);

    EXPECT_EQ(CFGetRetainCount(string), 1);
    EXPECT_EQ(CFRetain(string), string);
    EXPECT_EQ(CFGetRetainCount(string), 2);
    CFRelease(string);
    EXPECT_EQ(CFGetRetainCount(string), 1);
    EXPECT_EQ(StandIn::liveObjectCount(CFStringGetTypeID()), strings + 1) << "freed while still retained";

    EXPECT_NE(CFGetTypeID(string), CFGetTypeID(number));
    CFStringRef three = makeString("3");
    EXPECT_FALSE(CFEqual(three, number)) << "objects of different types compared equal";
    releaseAll({ string, number, three });
    EXPECT_EQ(StandIn::liveObjectCount(CFStringGetTypeID()), strings);
    EXPECT_EQ(StandIn::liveObjectCount(CFNumberGetTypeID()), numbers);
}

TEST_F(CFNumberTest, EachWidthRoundTripsAndLossyConversionsReturnFalse)
{
    SInt16 s16 = -12345, s16Out = 0;
    SInt32 s32 = 70000, s32Out = 0;
    SInt64 s64 = (SInt64(1) << 40) + 7, s64Out = 0;
    double f64 = 2.5, f64Out = 0;
    CFNumberRef n16 = CFNumberCreate(nullptr, kCFNumberSInt16Type, &s16);
    CFNumberRef n32 = CFNumberCreate(nullptr, kCFNumberSInt32Type, &s32);
    CFNumberRef n64 = CFNumberCreate(nullptr, kCFNumberSInt64Type, &s64);
    CFNumberRef nf64 = CFNumberCreate(nullptr, kCFNumberFloat64Type, &f64);
    EXPECT_TRUE(CFNumberGetValue(n16, kCFNumberSInt16Type, &s16Out) && s16Out == s16) << s16Out;
    EXPECT_TRUE(CFNumberGetValue(n32, kCFNumberSInt32Type, &s32Out) && s32Out == s32) << s32Out;
    EXPECT_TRUE(CFNumberGetValue(n64, kCFNumberSInt64Type, &s64Out) && s64Out == s64) << s64Out;
    EXPECT_TRUE(CFNumberGetValue(nf64, kCFNumberFloat64Type, &f64Out) && f64Out == f64) << f64Out;
    EXPECT_TRUE(CFNumberIsFloatType(nf64));
    EXPECT_FALSE(CFNumberIsFloatType(n64));

    EXPECT_FALSE(CFNumberGetValue(n32, kCFNumberSInt16Type, &s16Out)) << "70000 as SInt16 gave " << s16Out;
    EXPECT_FALSE(CFNumberGetValue(n64, kCFNumberSInt32Type, &s32Out)) << "2^40+7 as SInt32 gave " << s32Out;
    EXPECT_FALSE(CFNumberGetValue(nf64, kCFNumberSInt32Type, &s32Out)) << "2.5 as SInt32 gave " << s32Out;
    EXPECT_EQ(s32Out, 2) << "the value written is the truncated one";
    CFNumberRef maximum = makeSInt64(INT64_MAX);
    EXPECT_FALSE(CFNumberGetValue(maximum, kCFNumberFloat64Type, &f64Out)) << "INT64_MAX as double gave " << f64Out;
    CFNumberRef huge = makeDouble(1e300);
    EXPECT_FALSE(CFNumberGetValue(huge, kCFNumberSInt64Type, &s64Out)) << "1e300 as SInt64 gave " << s64Out;
    CFNumberRef whole = makeDouble(-3.0);
    EXPECT_TRUE(CFNumberGetValue(whole, kCFNumberSInt16Type, &s16Out) && s16Out == -3) << s16Out;
    releaseAll({ n16, n32, n64, nf64, maximum, huge, whole });
}

TEST_F(CFNumberTest, EqualValuesAcrossTypesAreEqualAndEqualNumbersHashEqual)
{
    SInt16 s16 = 3;
    SInt32 s32 = 3;
    const SInt64 twoTo53 = SInt64(1) << 53;
    const struct {
        const char* what;
        CFNumberRef a;
        CFNumberRef b;
        int equal; // 1 equal, 0 unequal, -1 either, but if equal then with equal hashes
    } pairs[] = {
        { "3 as SInt16 and 3.0", CFNumberCreate(nullptr, kCFNumberSInt16Type, &s16), makeDouble(3.0), 1 },
        { "3 as SInt32 and 3 as SInt64", CFNumberCreate(nullptr, kCFNumberSInt32Type, &s32), makeSInt64(3), 1 },
        { "0 and -0.0", makeSInt64(0), makeDouble(-0.0), 1 },
        { "3 and 3.5", makeSInt64(3), makeDouble(3.5), 0 },
        // At the limits of double precision a comparison through double may call these equal;
        // then the hashes must agree too, or a dictionary keyed by one cannot find the other.
        { "2^53+1 and 2^53 as double", makeSInt64(twoTo53 + 1), makeDouble(std::ldexp(1.0, 53)), -1 },
        { "INT64_MAX and 2^63 as double", makeSInt64(INT64_MAX), makeDouble(std::ldexp(1.0, 63)), -1 },
        { "1e300 and 1e300", makeDouble(1e300), makeDouble(1e300), 1 },
    };
    for (const auto& pair : pairs) {
        bool equal = CFEqual(pair.a, pair.b);
        if (pair.equal != -1) {
            EXPECT_EQ(equal, pair.equal == 1) << pair.what;
        }
        if (equal) {
            EXPECT_EQ(CFHash(pair.a), CFHash(pair.b)) << pair.what << " are equal but hash differently";
        }
        releaseAll({ pair.a, pair.b });
    }
}

TEST_F(CFArrayTest, TypeCallBacksRetainWhatIsAddedAndReleaseWhatIsRemoved)
{
    CFStringRef first = makeString("first");
    CFStringRef second = makeString("second");
    CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(array, first);
    CFArrayAppendValue(array, first);
    CFArrayInsertValueAtIndex(array, 0, second);
    EXPECT_EQ(CFGetRetainCount(first), 3);
    EXPECT_EQ(CFGetRetainCount(second), 2);
    CFArraySetValueAtIndex(array, 1, second); // replaces one reference to first
    EXPECT_EQ(CFGetRetainCount(first), 2);
    CFArrayRemoveValueAtIndex(array, 0);
    EXPECT_EQ(CFGetRetainCount(second), 2);

    const void* values[] = { first, second };
    CFArrayRef fixed = CFArrayCreate(kCFAllocatorDefault, values, 2, &kCFTypeArrayCallBacks);
    EXPECT_EQ(CFGetRetainCount(first), 3);
    releaseAll({ fixed, array });
    EXPECT_EQ(CFGetRetainCount(first), 1) << "destroying the arrays did not release their references";
    EXPECT_EQ(CFGetRetainCount(second), 1);
    releaseAll({ first, second });
}

TEST_F(CFArrayTest, NullCallBacksHoldRawPointersWithoutTouchingThem)
{
    std::vector<long> a = patternedWords(1), b = patternedWords(20), c = patternedWords(40);
    const auto before = std::vector { a, b, c };
    CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, 0, nullptr);
    CFArrayAppendValue(array, a.data());
    CFArrayAppendValue(array, b.data());
    CFArrayAppendValue(array, c.data());
    CFArraySetValueAtIndex(array, 1, c.data());
    EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), c.data());
    EXPECT_EQ(CFArrayGetFirstIndexOfValue(array, CFRangeMake(0, 3), b.data()), kCFNotFound);
    const void* values[] = { a.data(), b.data() };
    CFArrayRef fixed = CFArrayCreate(kCFAllocatorDefault, values, 2, nullptr);
    // Checked while held too: a wrong retain would be undone by the matching wrong release.
    EXPECT_EQ((std::vector { a, b, c }), before) << "memory behind a raw pointer was written while held";
    CFArrayRemoveValueAtIndex(array, 0);
    releaseAll({ fixed, array });
    EXPECT_EQ((std::vector { a, b, c }), before) << "memory behind a raw pointer was written on removal";
}

TEST_F(CFArrayTest, OutOfRangeIndexFullCapacityAndImmutabilityRefuseQuietly)
{
    CFStringRef kept = makeString("kept");
    CFStringRef other = makeString("other");
    CFMutableArrayRef bounded = CFArrayCreateMutable(kCFAllocatorDefault, 1, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(bounded, kept);
    for (CFIndex index : { CFIndex(-1), CFIndex(1), CFIndex(INTPTR_MAX), CFIndex(INTPTR_MIN) })
        EXPECT_EQ(CFArrayGetValueAtIndex(bounded, index), nullptr) << "index " << index;
    CFArrayRemoveValueAtIndex(bounded, 1);
    CFArrayAppendValue(bounded, other); // beyond the capacity of 1
    CFArrayInsertValueAtIndex(bounded, 0, other);
    EXPECT_EQ(CFArrayGetCount(bounded), 1);

    const void* values[] = { kept };
    auto immutable = const_cast<CFMutableArrayRef>(CFArrayCreate(kCFAllocatorDefault, values, 1, &kCFTypeArrayCallBacks));
    CFArrayAppendValue(immutable, other);
    CFArraySetValueAtIndex(immutable, 0, other);
    CFArrayRemoveValueAtIndex(immutable, 0);
    CFArrayRemoveAllValues(immutable);
    EXPECT_EQ(CFArrayGetCount(immutable), 1);
    EXPECT_EQ(CFArrayGetValueAtIndex(immutable, 0), kept);
    EXPECT_EQ(CFGetRetainCount(kept), 3);
    EXPECT_EQ(CFGetRetainCount(other), 1) << "a refused value was retained";
    releaseAll({ bounded, immutable, kept, other });
}

CFMutableDictionaryRef makeTypeDictionary()
{
    return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

TEST_F(CFDictionaryTest, KeyMadeSeparatelyWithTheSameTextFindsTheValue)
{
    CFStringRef key = makeString("PaperSize");
    CFStringRef sameText = makeString("PaperSize");
    CFStringRef missing = makeString("Copies");
    CFNumberRef value = makeSInt64(4);
    CFMutableDictionaryRef dictionary = makeTypeDictionary();
    CFDictionarySetValue(dictionary, key, value);
    EXPECT_EQ(CFDictionaryGetValue(dictionary, sameText), value);
    EXPECT_TRUE(CFDictionaryContainsKey(dictionary, CFSTR("PaperSize")));
    const void* found = &found;
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(dictionary, missing, &found));
    EXPECT_EQ(found, &found) << "the out-parameter was written for a missing key";
    releaseAll({ dictionary, key, sameText, missing, value });
}

TEST_F(CFDictionaryTest, SetAddReplaceAndRemoveKeepRetainCountsRight)
{
    CFStringRef key = makeString("Orientation");
    CFStringRef absent = makeString("Scale");
    CFNumberRef first = makeSInt64(1);
    CFNumberRef second = makeSInt64(2);
    CFMutableDictionaryRef dictionary = makeTypeDictionary();
    CFDictionarySetValue(dictionary, key, first);
    CFDictionarySetValue(dictionary, key, second);
    EXPECT_EQ(CFDictionaryGetValue(dictionary, key), second);
    EXPECT_EQ(CFGetRetainCount(first), 1) << "Set did not release the value it replaced";
    EXPECT_EQ(CFGetRetainCount(second), 2);

    CFDictionaryAddValue(dictionary, key, first);
    EXPECT_EQ(CFDictionaryGetValue(dictionary, key), second) << "Add replaced a present key";
    CFDictionaryReplaceValue(dictionary, absent, first);
    EXPECT_FALSE(CFDictionaryContainsKey(dictionary, absent)) << "Replace added an absent key";
    EXPECT_EQ(CFGetRetainCount(first), 1);
    CFDictionaryReplaceValue(dictionary, key, first);
    EXPECT_EQ(CFDictionaryGetValue(dictionary, key), first);
    EXPECT_EQ(CFGetRetainCount(second), 1);

    EXPECT_EQ(CFGetRetainCount(key), 2);
    CFDictionaryRemoveValue(dictionary, key);
    EXPECT_EQ(CFDictionaryGetCount(dictionary), 0);
    EXPECT_EQ(CFGetRetainCount(key), 1) << "Remove did not release the key";
    EXPECT_EQ(CFGetRetainCount(first), 1) << "Remove did not release the value";
    releaseAll({ dictionary, key, absent, first, second });
}

TEST_F(CFDictionaryTest, CopyStringKeysOutliveTheCallersKey)
{
    CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(kCFAllocatorDefault, 0,
        &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef key = makeString("Collate");
    CFNumberRef value = makeSInt64(1);
    CFDictionarySetValue(dictionary, key, value);
    releaseAll({ key, value });
    CFStringRef lookup = makeString("Collate");
    SInt64 found = -1;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dictionary, lookup)), kCFNumberSInt64Type, &found));
    EXPECT_EQ(found, 1);
    releaseAll({ lookup, dictionary });
}

TEST_F(CFDictionaryTest, NullValueCallBacksHoldPlainStructuresWithoutTouchingThem)
{
    std::vector<long> letter = patternedWords(0x10), legal = patternedWords(0x30);
    const auto before = std::vector { letter, legal };
    CFStringRef key = makeString("Paper");
    CFStringRef otherKey = makeString("Fallback");
    CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, nullptr);
    CFDictionarySetValue(dictionary, key, letter.data());
    CFDictionarySetValue(dictionary, key, legal.data());
    CFDictionaryAddValue(dictionary, otherKey, letter.data());
    CFDictionaryReplaceValue(dictionary, otherKey, legal.data());
    CFDictionaryRemoveValue(dictionary, otherKey);
    CFDictionarySetValue(dictionary, otherKey, letter.data());
    EXPECT_EQ(CFDictionaryGetValue(dictionary, key), legal.data());
    // Checked while held too: a wrong retain would be undone by the matching wrong release.
    EXPECT_EQ((std::vector { letter, legal }), before) << "a plain structure was written while held";
    CFRelease(dictionary);
    EXPECT_EQ((std::vector { letter, legal }), before) << "a plain structure was written on destruction";
    EXPECT_EQ(CFGetRetainCount(key), 1);
    releaseAll({ key, otherKey });
}

TEST_F(CFDictionaryTest, KeysAndValuesComeBackInInsertionOrder)
{
    CFMutableDictionaryRef dictionary = makeTypeDictionary();
    for (const char* name : { "zeta", "alpha", "mid", "beta", "omega" }) {
        CFStringRef key = makeString(name);
        CFDictionarySetValue(dictionary, key, key);
        CFRelease(key);
    }
    CFDictionarySetValue(dictionary, CFSTR("alpha"), CFSTR("replaced")); // keeps its place
    CFDictionaryRemoveValue(dictionary, CFSTR("mid"));

    std::vector<const void*> keys(CFDictionaryGetCount(dictionary)), values(keys.size());
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    std::vector<std::string> entries;
    for (size_t i = 0; i < keys.size(); ++i)
        entries.push_back(textOf(keys[i]) + "=" + textOf(values[i]));
    EXPECT_EQ(entries, (std::vector<std::string> { "zeta=zeta", "alpha=replaced", "beta=beta", "omega=omega" }));
    CFRelease(dictionary);
}

}
