// The image cache's index fed as a walk feeds it: a folder, then the files in it one level
// below. The answers must not depend on whether the index has built its table yet.
#include "Source/ImageFileIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

HFSUniStr255 nameOf(std::u16string_view units)
{
    HFSUniStr255 name = {};
    name.length = static_cast<UInt16>(units.size());
    std::copy(units.begin(), units.end(), name.unicode);
    return name;
}

FSSpec specOf(SInt32 parID, const std::string& bytes)
{
    FSSpec spec = {};
    spec.vRefNum = -100;
    spec.parID = parID;
    spec.name[0] = static_cast<unsigned char>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), spec.name + 1);
    return spec;
}

bool sameSpec(const std::optional<FSSpec>& found, const FSSpec& expected)
{
    return found && found->vRefNum == expected.vRefNum && found->parID == expected.parID
        && memcmp(found->name, expected.name, expected.name[0] + 1u) == 0;
}

// Enough searches that any index has built its table by the last of them.
constexpr int kManySearches = 50;

class ImageFileIndexTest : public testing::Test {
protected:
    // A folder given at level 1 of the walk, and files in it at level 2.
    void folder(std::u16string_view name) { index.addFolder(1, nameOf(name)); }
    void file(std::u16string_view name, const FSSpec& spec) { index.addFile(2, FSRef {}, spec, nameOf(name)); }

    ImageFileIndex index;
};

TEST_F(ImageFileIndexTest, AKeyNamesTheFileGivenLastUnderItWhetherOrNotTheTableIsBuilt)
{
    const FSSpec first = specOf(20, "x.gif"), second = specOf(21, "x.gif"), third = specOf(22, "x.gif");
    folder(u"a");
    file(u"x.gif", first);
    folder(u"b");
    file(u"x.gif", second);

    for (int search = 0; search < kManySearches; ++search) {
        SCOPED_TRACE(search);
        EXPECT_TRUE(sameSpec(index.find(u"x.gif"), second));
        EXPECT_TRUE(sameSpec(index.find(u"a/x.gif"), first));
        EXPECT_TRUE(sameSpec(index.find(u"b/x.gif"), second));
    }

    // A later walk's file under the same keys takes their place, table or not.
    index.startWalk();
    folder(u"a");
    file(u"x.gif", third);
    EXPECT_TRUE(sameSpec(index.find(u"x.gif"), third));
    EXPECT_TRUE(sameSpec(index.find(u"a/x.gif"), third));
    EXPECT_TRUE(sameSpec(index.find(u"b/x.gif"), second));
    EXPECT_EQ(index.keyCount(), 3u) << "x.gif, a/x.gif and b/x.gif, each once";
}

TEST_F(ImageFileIndexTest, OnlyTheExactUnitsOfAKeyFindItsFile)
{
    folder(u"Resources");
    file(u"On.gif", specOf(20, "On.gif"));

    for (int search = 0; search < kManySearches; ++search) {
        SCOPED_TRACE(search);
        EXPECT_TRUE(index.find(u"On.gif"));
        EXPECT_TRUE(index.find(u"Resources/On.gif"));
        const std::u16string_view others[] = { u"on.gif", u"On.gi", u"On.gif ", u"/On.gif", u"Resources", u"Resources/", u"esources/On.gif", u"" };
        for (size_t other = 0; other < std::size(others); ++other)
            EXPECT_FALSE(index.find(others[other])) << "the key at " << other;
    }
}

TEST_F(ImageFileIndexTest, EachFileGivesBackTheFSSpecTheWalkGaveWithIt)
{
    // An ASCII name, a name whose FSSpec holds its UTF-8 bytes, and one too long for an FSSpec,
    // which holds a shortened name with a mark.
    const FSSpec ascii = specOf(20, "plain.gif");
    const FSSpec accented = specOf(20, "caf\xC3\xA9.gif");
    const FSSpec shortened = specOf(20, std::string(40, 'L') + "#8000001F.gif");
    const std::u16string longName = std::u16string(100, u'L') + u".gif";
    folder(u"Resources");
    file(u"plain.gif", ascii);
    file(u"caf\u00E9.gif", accented);
    file(longName, shortened);

    for (int search = 0; search < kManySearches; ++search) {
        SCOPED_TRACE(search);
        EXPECT_TRUE(sameSpec(index.find(u"plain.gif"), ascii));
        EXPECT_TRUE(sameSpec(index.find(u"caf\u00E9.gif"), accented));
        EXPECT_TRUE(sameSpec(index.find(longName), shortened));
        EXPECT_TRUE(sameSpec(index.find(u"Resources/" + longName), shortened));
    }
}

TEST_F(ImageFileIndexTest, TheLongestNamesInTheLongestFolderNameAreKeysAsCallersAskForThem)
{
    const std::u16string longestFolder(255, u'F'), longestName = std::u16string(251, u'N') + u".gif";
    const FSSpec spec = specOf(20, "N#80000020.gif");
    folder(longestFolder);
    file(longestName, spec);

    const std::u16string qualified = longestFolder + u"/" + longestName;
    CFStringRef key = CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar*>(qualified.data()),
        static_cast<CFIndex>(qualified.size()));
    EXPECT_TRUE(sameSpec(index.find(key), spec)) << "511 units";
    CFRelease(key);
    std::vector<std::u16string> keys = index.keys();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::u16string> { qualified, longestName }));
}

}
