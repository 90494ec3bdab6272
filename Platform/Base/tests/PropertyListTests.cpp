// The one reader of property lists: a document nested, shared or sized past what the product
// reads is refused before libplist builds (and later frees, by recursion) a tree of it; keys given
// twice are reported and read alike in both formats.
#include <Base/PropertyList.h>

#include "tests/support/HostilePropertyLists.h"
#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using StandIn::PropertyList;
using StandIn::PropertyListFailure;
using StandIn::PropertyListLimits;
using StandIn::PropertyListStatus;

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";

std::string xml(const std::string& body)
{
    return kHeader + body + "\n</plist>\n";
}

PropertyListLimits limits(size_t maximumFileSize = 16 * 1024 * 1024)
{
    PropertyListLimits result;
    result.maximumFileSize = maximumFileSize;
    return result;
}

// The status of parsing document within the limits; a document accepted must have a tree.
PropertyListStatus parse(std::string_view document, const PropertyListLimits& within, PropertyList* list = nullptr,
    std::string* description = nullptr)
{
    PropertyList parsed;
    PropertyListFailure failure;
    failure.status = static_cast<PropertyListStatus>(-1);
    bool accepted = StandIn::parsePropertyList(document, within, parsed, &failure);
    EXPECT_EQ(accepted, parsed.root != nullptr);
    if (description)
        *description = accepted ? "" : failure.describe();
    if (list)
        *list = std::move(parsed);
    return accepted ? PropertyListStatus::ok : failure.status;
}

// A dictionary's entries as "key=value" texts in order, integers and strings alike.
std::vector<std::string> entriesOf(plist_t dictionary)
{
    std::vector<std::string> entries;
    StandIn::forEachEntry(dictionary, [&](std::string_view key, plist_t value) {
        std::string text;
        if (plist_get_node_type(value) == PLIST_STRING) {
            uint64_t length = 0;
            const char* characters = plist_get_string_ptr(value, &length);
            text.assign(characters, length);
        } else if (plist_get_node_type(value) == PLIST_UINT) {
            uint64_t number = 0;
            plist_get_uint_val(value, &number);
            text = std::to_string(number);
        } else {
            text = "(container)";
        }
        entries.push_back(std::string(key) + "=" + text);
        return true;
    });
    return entries;
}

// [A, [[...[A]...]]]: A, an array with 59 more below it, comes first; a chain of `links` arrays
// leads to it again, so that its second place lies `links` levels below its first.
std::string sharedArrayReachedAgainLower(int links)
{
    BinaryPlist list;
    size_t top = list.addArray({ 1, 61 });
    for (int level = 1; level < 60; ++level)
        list.addArray({ list.count() + 1 });
    list.addArray({});
    for (int level = 1; level < links; ++level)
        list.addArray({ list.count() + 1 });
    list.addArray({ 1 });
    return list.bytes(top);
}

TEST(PropertyListTest, DeepXMLIsRefusedBeforeLibplistBuildsIt)
{
    // libplist parses this much, but frees the tree by recursion and overflows the stack.
    std::string description;
    EXPECT_EQ(parse(xml(nestedXMLArrays(200'000)), limits(), nullptr, &description), PropertyListStatus::tooDeep);
    EXPECT_EQ(description, "nested more than 64 levels deep");

    EXPECT_EQ(parse(xml(nestedXMLArrays(64)), limits()), PropertyListStatus::ok);
    EXPECT_EQ(parse(xml(nestedXMLArrays(65)), limits()), PropertyListStatus::tooDeep);
    EXPECT_EQ(parse(xml("<dict><key>a</key>" + nestedXMLArrays(64) + "</dict>"), limits()), PropertyListStatus::tooDeep);
}

TEST(PropertyListTest, MarkupInCommentsTextAndAttributesIsNotCounted)
{
    std::string noise;
    for (int i = 0; i < 100; ++i)
        noise += "<!-- <array> --><?note <array>?>";
    std::string document = xml("<array x=\"<array>\">" + noise + "<string><![CDATA[" + nestedXMLArrays(70)
        + "]]></string><array/><dict/></array>");
    PropertyList list;
    ASSERT_EQ(parse(document, limits(), &list), PropertyListStatus::ok);
    EXPECT_EQ(plist_array_get_size(list.root.get()), 3u);

    // A comment or a section that never ends is no document the scan can vouch for.
    EXPECT_EQ(parse(xml("<array><!-- <array>"), limits()), PropertyListStatus::notAPropertyList);
    EXPECT_EQ(parse(xml("<array><![CDATA[ <array>"), limits()), PropertyListStatus::notAPropertyList);
    EXPECT_EQ(parse(xml("<array><!DOCTYPE x></array>"), limits()), PropertyListStatus::notAPropertyList);
    EXPECT_EQ(parse("", limits()), PropertyListStatus::notAPropertyList);
}

TEST(PropertyListTest, DeepBinaryIsRefusedBeforeLibplistRecursesIntoIt)
{
    EXPECT_EQ(parse(binaryArrayChain(300'000, 1), limits()), PropertyListStatus::tooDeep);
    // {"k": 63 arrays and the empty one they lead to}: the last stands 64 levels below the top.
    EXPECT_EQ(parse(binaryArrayChain(63, 1), limits()), PropertyListStatus::ok);
    EXPECT_EQ(parse(binaryArrayChain(64, 1), limits()), PropertyListStatus::tooDeep);
    // libplist copies A into both places: the deepest copy counts, not the first met.
    EXPECT_EQ(parse(sharedArrayReachedAgainLower(4), limits()), PropertyListStatus::ok);
    EXPECT_EQ(parse(sharedArrayReachedAgainLower(10), limits()), PropertyListStatus::tooDeep);
}

TEST(PropertyListTest, ASharedObjectCountsEveryTimeItIsReferredTo)
{
    // A few hundred bytes whose arrays each hold the next twice: 2^40 arrays once expanded.
    std::string bomb = binaryArrayChain(40, 2);
    ASSERT_LT(bomb.size(), 1000u);
    std::string description;
    EXPECT_EQ(parse(bomb, limits(), nullptr, &description), PropertyListStatus::tooManyElements);
    EXPECT_EQ(description, "holds more than 1000000 elements");

    // The dictionary, its key, and 2^(n+1) - 1 arrays.
    PropertyListLimits tight = limits();
    tight.maximumElements = 2 + 127;
    EXPECT_EQ(parse(binaryArrayChain(6, 2), tight), PropertyListStatus::ok);
    tight.maximumElements = 2 + 126;
    EXPECT_EQ(parse(binaryArrayChain(6, 2), tight), PropertyListStatus::tooManyElements);
}

TEST(PropertyListTest, ASharedStringCountsItsTextEveryTimeItIsUsed)
{
    BinaryPlist list;
    size_t top = list.addArray(std::vector<size_t>(100, 1));
    list.addString(std::string(1000, 's'));
    std::string document = list.bytes(top);
    ASSERT_LT(document.size(), 2000u);

    std::string description;
    EXPECT_EQ(parse(document, limits(100'000)), PropertyListStatus::ok);
    EXPECT_EQ(parse(document, limits(99'999), nullptr, &description), PropertyListStatus::expandsTooFar);
    EXPECT_EQ(description, "expands to more than 99999 bytes of text and data");
}

TEST(PropertyListTest, AContainerThatHoldsItselfIsRefused)
{
    std::string description;
    EXPECT_EQ(parse(binaryArrayChain(3, 1, true), limits(), nullptr, &description), PropertyListStatus::selfContaining);
    EXPECT_EQ(description, "holds a container that contains itself");

    BinaryPlist itself;
    itself.addArray({ 0 });
    EXPECT_EQ(parse(itself.bytes(0), limits()), PropertyListStatus::selfContaining);
}

// Found by fuzz/SettingsFileFuzzer: libplist aborted the process on walking a dictionary whose
// key held a NUL.
TEST(PropertyListTest, ABinaryDictionaryWhoseKeyIsNotTextWithoutANulIsRefused)
{
    const std::pair<std::string, PropertyListStatus> keys[] = {
        { std::string("\x51k", 2), PropertyListStatus::ok },
        { std::string("\x61\0k", 3), PropertyListStatus::ok },
        { std::string("\x53k\0y", 4), PropertyListStatus::notAPropertyList },
        { std::string("\x62\0k\0\0", 5), PropertyListStatus::notAPropertyList },
        { std::string("\x10\x01", 2), PropertyListStatus::notAPropertyList },
    };
    for (const auto& [key, status] : keys) {
        BinaryPlist list;
        size_t top = list.addDictionary({ { 1, 2 } });
        list.add(key);
        list.addString("x");
        PropertyList parsed;
        EXPECT_EQ(parse(list.bytes(top), limits(), &parsed), status) << key.size();
        if (status == PropertyListStatus::ok) {
            EXPECT_EQ(entriesOf(parsed.root.get()), std::vector<std::string> { "k=x" });
        }
    }
}

TEST(PropertyListTest, ElementsAndDictionaryEntriesAreBoundedInBothFormats)
{
    PropertyListLimits tight = limits();
    tight.maximumElements = 5;
    // The dictionary, and two keys with their values.
    EXPECT_EQ(parse(xml("<dict><key>a</key><true/><key>b</key><string>x</string></dict>"), tight), PropertyListStatus::ok);
    EXPECT_EQ(parse(xml("<dict><key>a</key><true/><key>b</key><string>x</string><key>c</key><false/></dict>"), tight),
        PropertyListStatus::tooManyElements);
    EXPECT_EQ(parse(xml("<array><true/><true/><true/><true/><true/></array>"), tight), PropertyListStatus::tooManyElements) << "one over";

    // Objects that nothing refers to still cost the scan: more of them than elements is refused.
    BinaryPlist unused;
    size_t top = unused.addArray({});
    for (int i = 0; i < 5; ++i)
        unused.addInteger(1);
    EXPECT_EQ(parse(unused.bytes(top), tight), PropertyListStatus::tooManyElements);

    tight = limits();
    tight.maximumDictionaryEntries = 2;
    std::string description;
    EXPECT_EQ(parse(xml("<dict><key>a</key><true/><key>b</key><true/></dict>"), tight), PropertyListStatus::ok);
    EXPECT_EQ(parse(xml("<array><dict><key>a</key><true/><key>b</key><true/><key>c</key><true/></dict></array>"), tight,
                  nullptr, &description),
        PropertyListStatus::dictionaryTooLarge);
    EXPECT_EQ(description, "holds a dictionary of more than 2 keys");
    BinaryPlist wide;
    size_t dictionary = wide.addDictionary({ { 1, 4 }, { 2, 4 }, { 3, 4 } });
    wide.addString("a");
    wide.addString("b");
    wide.addString("c");
    wide.addInteger(1);
    EXPECT_EQ(parse(wide.bytes(dictionary), tight), PropertyListStatus::dictionaryTooLarge);
}

TEST(PropertyListTest, KeysGivenTwiceAreReportedAndTheLastValueCountsInTheFirstPlace)
{
    // The second "a" is spelled with a character reference, the "v" with a CDATA section.
    std::string document = xml(R"(<dict>
<key>a</key><integer>1</integer>
<key>e</key><dict><key>v</key><integer>5</integer><key><![CDATA[v]]></key><integer>6</integer></dict>
<key>&#97;</key><integer>2</integer>
<key>l</key><array><dict><key>x</key><integer>7</integer><key>x</key><integer>8</integer></dict></array>
<key>a</key><integer>3</integer>
</dict>)");
    PropertyList fromXML;
    ASSERT_EQ(parse(document, limits(), &fromXML), PropertyListStatus::ok);
    EXPECT_EQ(entriesOf(fromXML.root.get()), (std::vector<std::string> { "a=3", "e=(container)", "l=(container)" }));
    EXPECT_EQ(entriesOf(plist_dict_get_item(fromXML.root.get(), "e")), std::vector<std::string> { "v=6" });
    // Dictionaries inside arrays are read the same way, but not reported.
    const std::vector<std::vector<std::string>> reported { { "e", "v" }, { "a" } };
    EXPECT_EQ(fromXML.duplicateKeys, reported);

    // libplist's binary reader keeps every entry; the reader makes it read as the XML does.
    BinaryPlist list;
    size_t a = list.addString("a"), e = list.addString("e"), v = list.addString("v"), l = list.addString("l");
    size_t x = list.addString("x");
    size_t one = list.addInteger(1), two = list.addInteger(2), three = list.addInteger(3);
    size_t inner = list.addDictionary({ { v, list.addInteger(5) }, { v, list.addInteger(6) } });
    size_t listed = list.addDictionary({ { x, list.addInteger(7) }, { x, list.addInteger(8) } });
    size_t array = list.addArray({ listed });
    size_t top = list.addDictionary({ { a, one }, { e, inner }, { a, two }, { l, array }, { a, three } });
    PropertyList fromBinary;
    ASSERT_EQ(parse(list.bytes(top), limits(), &fromBinary), PropertyListStatus::ok);
    EXPECT_EQ(entriesOf(fromBinary.root.get()), (std::vector<std::string> { "a=3", "e=(container)", "l=(container)" }));
    EXPECT_EQ(entriesOf(plist_dict_get_item(fromBinary.root.get(), "e")), std::vector<std::string> { "v=6" });
    EXPECT_EQ(entriesOf(plist_array_get_item(plist_dict_get_item(fromBinary.root.get(), "l"), 0)),
        std::vector<std::string> { "x=8" });
    EXPECT_EQ(fromBinary.duplicateKeys, (std::vector<std::vector<std::string>> { { "e", "v" }, { "a" } }));
}

TEST(PropertyListTest, OnlyARegularFileWithinTheSizeIsRead)
{
    TemporaryTree tree;
    ASSERT_EQ(mkfifo(tree.path("fifo").c_str(), 0600), 0);
    tree.addFile("large", xml("<string>" + std::string(2000, 'x') + "</string>"));
    tree.addFile("good", xml("<string>x</string>"));

    PropertyList list;
    PropertyListFailure failure;
    EXPECT_FALSE(StandIn::readPropertyList(tree.path("fifo"), limits(), list, &failure));
    EXPECT_EQ(failure.status, PropertyListStatus::unreadable);
    EXPECT_EQ(failure.describe(), "not a regular file (a FIFO)");
    EXPECT_FALSE(StandIn::readPropertyList(tree.path("large"), limits(1024), list, &failure));
    EXPECT_EQ(failure.describe(), "larger than 1 KiB");
    EXPECT_EQ(list.root, nullptr);
    ASSERT_TRUE(StandIn::readPropertyList(tree.path("good"), limits(1024), list, &failure)) << failure.describe();
    EXPECT_EQ(plist_get_node_type(list.root.get()), PLIST_STRING);
}

}
