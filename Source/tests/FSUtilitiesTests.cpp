#include "Source/FSUtilities.h"
#include "tests/support/LiveObjects.h"
#include "tests/support/TemporaryTree.h"

#include <Files/FilesStandIn.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::string nameOf(const HFSUniStr255& name)
{
    CFStringRef string = CFStringCreateWithCharacters(kCFAllocatorDefault, name.unicode, name.length);
    char text[1024] = {};
    CFStringGetCString(string, text, sizeof text, kCFStringEncodingUTF8);
    CFRelease(string);
    return text;
}

// What a filter saw of one entry.
struct Visit {
    ItemCount level;
    std::string name;
    bool isFolder;
    bool hadSpec;
    bool hadName;
};

struct Recorder {
    std::vector<Visit> visits;
    std::string quitAt;
};

Boolean record(Boolean, ItemCount currentLevel, const FSCatalogInfo* catalogInfo, const FSRef* ref, const FSSpec* spec,
    const HFSUniStr255* name, void* yourDataPtr)
{
    auto* recorder = static_cast<Recorder*>(yourDataPtr);
    HFSUniStr255 ownName = {};
    FSGetFileDirName(ref, &ownName);
    recorder->visits.push_back({ currentLevel, nameOf(ownName), (catalogInfo->nodeFlags & kFSNodeIsDirectoryMask) != 0,
        spec != nullptr, name != nullptr });
    return recorder->quitAt == nameOf(ownName);
}

class WalkTest : public BalancedTest {
protected:
    void TearDown() override
    {
        StandIn::clearFolderFailures();
        StandIn::setLastEntryEndsListing(false);
        BalancedTest::TearDown();
    }

    OSErr walk(ItemCount maxLevels, const std::string& folder = "")
    {
        FSRef start = tree.ref(folder);
        return FSIterateContainer(&start, maxLevels, kFSCatInfoNone, true, true, record, &recorder);
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> seen;
        for (const auto& visit : recorder.visits)
            seen.push_back(visit.name + "@" + std::to_string(visit.level));
        std::sort(seen.begin(), seen.end());
        return seen;
    }

    size_t positionOf(const std::string& name) const
    {
        auto found = std::find_if(recorder.visits.begin(), recorder.visits.end(), [&](const Visit& visit) { return visit.name == name; });
        return found - recorder.visits.begin();
    }

    TemporaryTree tree;
    Recorder recorder;
};

TEST_F(WalkTest, WithoutAFilterNothingIsWalked)
{
    FSRef start = tree.ref();
    EXPECT_EQ(FSIterateContainer(&start, 0, kFSCatInfoNone, true, true, nullptr, &recorder), paramErr);
}

TEST_F(WalkTest, AnEmptyFolderGivesNoEntries)
{
    EXPECT_EQ(walk(0), noErr);
    EXPECT_TRUE(recorder.visits.empty());
}

TEST_F(WalkTest, DepthLimitStopsAtTheGivenLevel)
{
    tree.addFile("top.gif");
    tree.addFile("sub/inner.gif");
    tree.addFile("sub/deeper/deepest.gif");

    EXPECT_EQ(walk(1), noErr);
    EXPECT_EQ(names(), (std::vector<std::string> { "sub@1", "top.gif@1" }));

    recorder.visits.clear();
    EXPECT_EQ(walk(0), noErr);
    EXPECT_EQ(names(), (std::vector<std::string> { "deeper@2", "deepest.gif@3", "inner.gif@2", "sub@1", "top.gif@1" }));
    EXPECT_LT(positionOf("sub"), positionOf("inner.gif")) << "a folder is reported before its contents";
    EXPECT_LT(positionOf("deeper"), positionOf("deepest.gif"));
}

TEST_F(WalkTest, ALastEntryThatComesWithTheEndOfTheListingIsStillWalked)
{
    // Each folder holds one entry, which is therefore its last.
    tree.addFile("only/inner.gif");
    StandIn::setLastEntryEndsListing(true);

    EXPECT_EQ(walk(0), noErr);

    EXPECT_EQ(names(), (std::vector<std::string> { "inner.gif@2", "only@1" })) << "the folder is entered though it came last";
}

TEST_F(WalkTest, AFilterThatAnswersTrueEndsTheWholeWalk)
{
    tree.addFile("a/one.gif");
    tree.addFile("a/two.gif");
    tree.addFile("b/three.gif");
    tree.addFile("c/four.gif");
    recorder.quitAt = "a";

    EXPECT_EQ(walk(0), noErr);

    ASSERT_FALSE(recorder.visits.empty());
    EXPECT_EQ(recorder.visits.back().name, "a") << "nothing is visited after the quit";
    EXPECT_EQ(positionOf("one.gif"), recorder.visits.size()) << "the folder was not entered";
}

TEST_F(WalkTest, SpecsAndNamesOnlyWhenAskedButTheFolderBitAlways)
{
    tree.addFile("sub/file.gif");
    FSRef start = tree.ref();
    Recorder plain;
    EXPECT_EQ(FSIterateContainer(&start, 0, kFSCatInfoNone, false, false, record, &plain), noErr);
    ASSERT_EQ(plain.visits.size(), 2u);
    EXPECT_FALSE(plain.visits[0].hadSpec);
    EXPECT_FALSE(plain.visits[0].hadName);
    EXPECT_TRUE(plain.visits[0].isFolder) << "the walk entered sub, so it saw the folder bit";
    EXPECT_EQ(plain.visits[1].level, 2u);
}

TEST_F(WalkTest, AWalkedFolderThatCannotBeOpenedReturnsItsStatus)
{
    tree.addFile("file.gif");
    StandIn::setFolderFailure(tree.root(), StandIn::FolderFailurePoint::Open, afpAccessDenied);
    EXPECT_EQ(walk(0), afpAccessDenied);
    EXPECT_TRUE(recorder.visits.empty());
}

TEST_F(WalkTest, AFolderThatCannotBeListedIsForgivenAndTheWalkGoesOn)
{
    tree.addFile("locked/hidden.gif");
    tree.addFile("open/seen.gif");
    StandIn::setFolderFailure(tree.path("locked"), StandIn::FolderFailurePoint::List, afpAccessDenied);

    EXPECT_EQ(walk(0), noErr);

    EXPECT_EQ(positionOf("hidden.gif"), recorder.visits.size());
    EXPECT_LT(positionOf("seen.gif"), recorder.visits.size());
}

TEST_F(WalkTest, ASubfolderDeniedAtOpeningEndsItsHoldersListingOnly)
{
    tree.addFile("holder/locked/hidden.gif");
    tree.addFolder("holder/other");
    tree.addFile("holder/other/maybe.gif");
    tree.addFile("sibling/seen.gif");
    StandIn::setFolderFailure(tree.path("holder/locked"), StandIn::FolderFailurePoint::Open, afpAccessDenied);

    EXPECT_EQ(walk(0), noErr);

    EXPECT_EQ(positionOf("hidden.gif"), recorder.visits.size());
    EXPECT_LT(positionOf("seen.gif"), recorder.visits.size()) << "the walk goes on one level further up";
    if (positionOf("other") > positionOf("locked")) {
        EXPECT_EQ(positionOf("other"), recorder.visits.size()) << "entries of the holder after the denied folder are skipped";
    }
}

TEST_F(WalkTest, OtherErrorsEndTheWholeWalkAndAreReturned)
{
    tree.addFile("broken/file.gif");
    StandIn::setFolderFailure(tree.path("broken"), StandIn::FolderFailurePoint::Open, ioErr);
    EXPECT_EQ(walk(0), ioErr);
}

TEST_F(WalkTest, SymbolicLinksAreFilesAndNeverFollowed)
{
    tree.addFile("real/file.gif");
    tree.addSymbolicLink("loop", ".");
    tree.addSymbolicLink("real/back", "..");

    EXPECT_EQ(walk(0), noErr);

    EXPECT_EQ(recorder.visits.size(), 4u);
    for (const auto& visit : recorder.visits) {
        if (visit.name == "loop" || visit.name == "back") {
            EXPECT_FALSE(visit.isFolder) << visit.name;
        }
    }
}

TEST_F(WalkTest, AChainOfTwoThousandFoldersIsWalkedToTheBottom)
{
    // 2,000 folders of 8-letter names: the deepest path is about 18,000 bytes long.
    tree.addFolderChain(2000, "level-of");

    EXPECT_EQ(walk(0), noErr);

    ASSERT_EQ(recorder.visits.size(), 2001u);
    EXPECT_EQ(recorder.visits.back().name, "bottom.gif");
    EXPECT_EQ(recorder.visits.back().level, 2001u);
}

TEST(FSCatalogHelpers, TheRootHasAnAllZeroParent)
{
    FSRef root = {};
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>("/"), &root, nullptr), noErr);
    FSRef parent;
    memset(&parent, 0xAB, sizeof parent);
    EXPECT_EQ(FSGetParentRef(&root, &parent), noErr);
    const FSRef zero = {};
    EXPECT_EQ(memcmp(&parent, &zero, sizeof parent), 0);
    EXPECT_EQ(FSGetParentRef(&root, nullptr), paramErr);
    EXPECT_EQ(FSGetFileDirName(&root, nullptr), paramErr);
}

TEST(FSCatalogHelpers, AFilesParentAndName)
{
    TemporaryTree tree;
    tree.addFile("Resources/Accounting-On.gif");
    FSRef file = tree.ref("Resources/Accounting-On.gif");
    FSRef parent = {};
    ASSERT_EQ(FSGetParentRef(&file, &parent), noErr);
    HFSUniStr255 name = {};
    ASSERT_EQ(FSGetFileDirName(&parent, &name), noErr);
    EXPECT_EQ(nameOf(name), "Resources");
    ASSERT_EQ(FSGetFileDirName(&file, &name), noErr);
    EXPECT_EQ(nameOf(name), "Accounting-On.gif");
}

}
