// The folder walk and the image cache over trees that a hostile or careless user can make:
// looping links, very deep and very wide folders, names that are not UTF-8 or do not fit an
// FSSpec, folders that refuse to open or list, and entries that change while the walk runs.
// Each case goes through FSIterateContainer and through the image cache built over the tree.
#include "Source/FSUtilities.h"
#include "Source/ImageImportManager.h"
#include "tests/support/LiveObjects.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/TestImages.h"

#include <Files/FilesStandIn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Keys = std::set<std::u16string>;

std::u16string unitsOf(const HFSUniStr255& name)
{
    return std::u16string(reinterpret_cast<const char16_t*>(name.unicode), name.length);
}

// A key as the cache's callers pass it; released at the end of the full expression's scope.
struct Key {
    explicit Key(const std::u16string& units)
        : string(CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar*>(units.data()),
            static_cast<CFIndex>(units.size())))
    {
    }
    ~Key() { CFRelease(string); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    operator CFStringRef() const { return string; }
    CFStringRef string;
};

std::u16string u16(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// What one entry of a walk looked like to the filter.
struct Visit {
    std::u16string name;
    ItemCount level;
    bool isFolder;
};

struct WalkRecord {
    std::vector<Visit> visits;
    // Called for each entry before it is recorded: the place for a test to change the tree.
    std::function<void(const Visit&)> meanwhile;
    // When set, the image cache's own filter also indexes each entry into this index.
    ImageFileIndex* cacheIndex = nullptr;
};

Boolean recordEntry(Boolean containerChanged, ItemCount level, const FSCatalogInfo* info, const FSRef* ref, const FSSpec* spec,
    const HFSUniStr255* name, void* data)
{
    auto* record = static_cast<WalkRecord*>(data);
    Visit visit { unitsOf(*name), level, (info->nodeFlags & kFSNodeIsDirectoryMask) != 0 };
    if (record->meanwhile)
        record->meanwhile(visit);
    record->visits.push_back(visit);
    if (record->cacheIndex)
        ImageImportManager::ImageImportManagerFilterProc(containerChanged, level, info, ref, spec, name, record->cacheIndex);
    return false;
}

// Walks the tree as the image cache does (folder bit, FSSpecs and names, every level).
OSErr walk(const FSRef& start, WalkRecord& record)
{
    return FSIterateContainer(&start, 0, kFSCatInfoNodeFlags, true, true, recordEntry, &record);
}

// The keys the image cache's filter makes for the tree, read from an index of the test's own
// (the cache's are private).
class CacheIndex {
public:
    Keys keys()
    {
        std::vector<std::u16string> all = index.keys();
        return Keys(all.begin(), all.end());
    }
    bool holds(const std::u16string& key) { return index.find(key).has_value(); }
    size_t size() { return index.keyCount(); }

    ImageFileIndex index;
};

std::string gifBytes(int width, int height)
{
    TemporaryTree scratch;
    std::string path = scratch.path("picture.gif");
    writeSolidGif(path, width, height, { 200, 40, 40 });
    return fileContents(path);
}

// Makes the folders on the way, as TemporaryTree::addFile does.
void writeGif(const std::string& path, int width, int height)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    writeSolidGif(path, width, height, { 200, 40, 40 });
}

// The width the cache's importer reads from the file behind key; -1 without an importer.
int widthOf(const std::u16string& key)
{
    ComponentInstance importer = ImageImportManager::componentForFilename(Key(key));
    if (!importer)
        return -1;
    Rect bounds = {};
    GraphicsImportGetNaturalBounds(importer, &bounds);
    return bounds.right - bounds.left;
}

class HostileTreeTest : public BalancedTest {
protected:
    void TearDown() override
    {
        StandIn::clearFolderFailures();
        BalancedTest::TearDown();
    }

    // The cache's keys for the folder, and the walk's record while they were made.
    Keys indexed(const std::string& folder, OSErr* status = nullptr)
    {
        CacheIndex index;
        WalkRecord record;
        record.cacheIndex = &index.index;
        OSErr result = walk(tree.ref(folder), record);
        if (status)
            *status = result;
        return index.keys();
    }

    TemporaryTree tree;
};

// Symbolic-link loops -----------------------------------------------------------------------

using LinkLoopTest = HostileTreeTest;

TEST_F(LinkLoopTest, LinksToTheirOwnFolderToEachOtherAndToAnAncestorAreFilesAndTheWalkEnds)
{
    writeGif(tree.path("Resources/a/b/real.gif"), 3, 3);
    tree.addSymbolicLink("Resources/a/b/self", tree.path("Resources/a/b")); // its own folder, by absolute path
    tree.addSymbolicLink("Resources/a/ping", "pong");
    tree.addSymbolicLink("Resources/a/pong", "ping");
    tree.addSymbolicLink("Resources/a/b/top", "../.."); // the walk's own starting folder
    tree.addSymbolicLink("Resources/a/b/root", "/"); // far above the walk

    WalkRecord record;
    ASSERT_EQ(walk(tree.ref("Resources"), record), noErr);

    std::multiset<std::u16string> files, folders;
    for (const Visit& visit : record.visits)
        (visit.isFolder ? folders : files).insert(visit.name);
    EXPECT_EQ(folders, (std::multiset<std::u16string> { u"a", u"b" })) << "no link is entered";
    EXPECT_EQ(files, (std::multiset<std::u16string> { u"real.gif", u"self", u"ping", u"pong", u"top", u"root" }))
        << "each link is seen once, as a file";
}

TEST_F(LinkLoopTest, TheCacheIndexesLoopingLinksAsFilesAndAnswersNothingForThem)
{
    writeGif(tree.path("Resources/a/real.gif"), 3, 3);
    tree.addSymbolicLink("Resources/a/self", ".");
    tree.addSymbolicLink("Resources/a/ping", "pong");
    tree.addSymbolicLink("Resources/a/pong", "ping");
    tree.addSymbolicLink("Resources/a/up", "..");

    EXPECT_EQ(indexed("Resources"),
        (Keys { u"real.gif", u"a/real.gif", u"self", u"a/self", u"ping", u"a/ping", u"pong", u"a/pong", u"up", u"a/up" }));

    ImageImportManager manager(tree.ref("Resources"));
    EXPECT_EQ(widthOf(u"a/real.gif"), 3);
    for (const char16_t* link : { u"self", u"a/ping", u"pong", u"a/up" }) {
        SCOPED_TRACE(std::string(link, link + std::char_traits<char16_t>::length(link)));
        EXPECT_EQ(ImageImportManager::componentForFilename(Key(link)), nullptr) << "a link's loop is no image";
        EXPECT_EQ(ImageImportManager::iconForFilename(Key(link)), nullptr);
        EXPECT_EQ(ImageImportManager::imageForFilename(Key(link)), nullptr);
    }
}

// Links that lead out of the walked folder ------------------------------------------------

TEST_F(HostileTreeTest, APictureThatIsALinkIsReadOnlyWhileTheLinkStaysInsideTheWalkedFolder)
{
    writeGif(tree.path("outside.gif"), 21, 1); // beside the walked folder, not in it
    writeGif(tree.path("Resources/real.gif"), 22, 1);
    writeGif(tree.path("Resources/sub/deep.gif"), 23, 1);
    tree.addSymbolicLink("Resources/alias.gif", "sub/deep.gif");
    tree.addSymbolicLink("Resources/sub/up.gif", "../real.gif");
    tree.addSymbolicLink("Resources/out.gif", "../outside.gif");
    tree.addSymbolicLink("Resources/absolute.gif", tree.path("outside.gif"));
    tree.addSymbolicLink("Resources/sub/roundabout.gif", "../../Resources/real.gif");
    tree.addSymbolicLink("Resources/sub/viaOut.gif", "../out.gif");

    ImageImportManager manager(tree.ref("Resources"));
    EXPECT_EQ(widthOf(u"alias.gif"), 23);
    EXPECT_EQ(widthOf(u"up.gif"), 22);
    for (const char16_t* out : { u"out.gif", u"absolute.gif", u"roundabout.gif", u"sub/viaOut.gif" }) {
        SCOPED_TRACE(std::string(out, out + std::char_traits<char16_t>::length(out)));
        EXPECT_EQ(widthOf(out), -1) << "the file outside is not read";
        EXPECT_EQ(ImageImportManager::imageForFilename(Key(out)), nullptr);
    }
    CGImageRef inside = ImageImportManager::imageForFilename(Key(u"sub/up.gif"));
    ASSERT_NE(inside, nullptr);
    EXPECT_EQ(CGImageGetWidth(inside), 22u);
}

// Depth -------------------------------------------------------------------------------------

// Paths below are about 18,000 bytes, far past PATH_MAX: the GIF is written one folder at a
// time, as the chain was made.
void writeGifAtTheBottom(const TemporaryTree& tree, int depth, const std::string& folder, int width)
{
    int fd = open(tree.root().c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        int inner = openat(fd, folder.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = inner;
    }
    ASSERT_GE(fd, 0);
    int file = openat(fd, "bottom.gif", O_WRONLY | O_TRUNC);
    close(fd);
    ASSERT_GE(file, 0);
    std::string gif = gifBytes(width, 4);
    EXPECT_EQ(write(file, gif.data(), gif.size()), ssize_t(gif.size()));
    close(file);
}

TEST_F(HostileTreeTest, TheCacheIndexesTheFileAtTheBottomOfTwoThousandFolders)
{
    tree.addFolderChain(2000, "level-of");
    writeGifAtTheBottom(tree, 2000, "level-of", 9);

    EXPECT_EQ(indexed(""), (Keys { u"bottom.gif", u"level-of/bottom.gif" })) << "folders are never keys";

    ImageImportManager manager(tree.ref());
    // Asked, the accessors answer; what they answer is the next test's matter.
    ImageImportManager::componentForFilename(Key(u"level-of/bottom.gif"));
    ImageImportManager::imageForFilename(Key(u"bottom.gif"));
    EXPECT_EQ(ImageImportManager::iconForFilename(Key(u"bottom.gif")), nullptr) << "a GIF is no icon family";
}

TEST_F(HostileTreeTest, TheImporterOpensTheFileAtTheBottomOfTwoThousandFolders)
{
    tree.addFolderChain(2000, "level-of");
    writeGifAtTheBottom(tree, 2000, "level-of", 9);

    ImageImportManager manager(tree.ref());
    EXPECT_EQ(widthOf(u"level-of/bottom.gif"), 9) << "the importer opens the file through its FSSpec at any depth";
    CGImageRef image = ImageImportManager::imageForFilename(Key(u"bottom.gif"));
    ASSERT_NE(image, nullptr) << "the image goes through a URL of a path longer than PATH_MAX";
    EXPECT_EQ(CGImageGetWidth(image), 9u);
}

TEST_F(HostileTreeTest, TheImporterOpensAFileWhosePathIsJustUnderPathMax)
{
    // 400 folders of 8 letters: 3,600 bytes below the tree, under PATH_MAX's 4,096 with /tmp's
    // prefix; the limit above is the system's, not the cache's.
    tree.addFolderChain(400, "level-of");
    writeGifAtTheBottom(tree, 400, "level-of", 9);

    ImageImportManager manager(tree.ref());
    EXPECT_EQ(widthOf(u"level-of/bottom.gif"), 9);
    CGImageRef image = ImageImportManager::imageForFilename(Key(u"bottom.gif"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 9u);
}

// Width -------------------------------------------------------------------------------------

class WideFolderTest : public BalancedTest {
protected:
    static constexpr int kEntries = 100000;

    // Made once for the suite: 100,000 files take a few seconds to make and remove.
    static void SetUpTestSuite()
    {
        tree = new TemporaryTree;
        tree->addFolder("wide");
        int folder = open(tree->path("wide").c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(folder, 0);
        char name[32];
        auto started = std::chrono::steady_clock::now();
        for (int i = 0; i < kEntries; ++i) {
            snprintf(name, sizeof name, "f%06d.gif", i);
            close(openat(folder, name, O_WRONLY | O_CREAT | O_EXCL, 0644));
        }
        close(folder);
        writeGif(tree->path("wide/f054321.gif"), 11, 2);
        // Made in the disk's time, not the code's: shown so that a slow run is told apart.
        printf("made %d files in %.1f s\n", kEntries,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    static void TearDownTestSuite()
    {
        // By name, with no listing and no stat of each: the tree's own removal would do both.
        int folder = open(tree->path("wide").c_str(), O_RDONLY | O_DIRECTORY);
        char name[32];
        for (int i = 0; folder >= 0 && i < kEntries; ++i) {
            snprintf(name, sizeof name, "f%06d.gif", i);
            unlinkat(folder, name, 0);
        }
        if (folder >= 0)
            close(folder);
        delete tree;
        tree = nullptr;
    }

    static TemporaryTree* tree;
};

TemporaryTree* WideFolderTest::tree = nullptr;

TEST_F(WideFolderTest, AHundredThousandEntriesAreWalkedOnceEachAndIndexedUnderBothKeys)
{
    WalkRecord record;
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(walk(tree->ref("wide"), record), noErr);
    auto took = std::chrono::steady_clock::now() - started;

    std::set<std::u16string> names;
    for (const Visit& visit : record.visits) {
        EXPECT_FALSE(visit.isFolder);
        EXPECT_EQ(visit.level, 1u);
        names.insert(visit.name);
    }
    EXPECT_EQ(record.visits.size(), size_t(kEntries));
    EXPECT_EQ(names.size(), size_t(kEntries)) << "no entry twice";
    EXPECT_LT(took, std::chrono::seconds(5));

    // One test, not two: under CTest each test is a process of its own, which would make the
    // 100,000 files again.
    CacheIndex index;
    record = {};
    record.cacheIndex = &index.index;
    ASSERT_EQ(walk(tree->ref("wide"), record), noErr);
    EXPECT_EQ(index.size(), size_t(2 * kEntries));
    EXPECT_TRUE(index.holds(u"f000000.gif"));
    EXPECT_TRUE(index.holds(u"wide/f099999.gif"));

    started = std::chrono::steady_clock::now();
    {
        ImageImportManager manager(tree->ref("wide"));
        EXPECT_EQ(widthOf(u"f054321.gif"), 11);
        EXPECT_EQ(widthOf(u"wide/f054321.gif"), 11);
        EXPECT_EQ(widthOf(u"f099999.gif"), -1) << "an empty file is indexed but is no image";
        EXPECT_EQ(widthOf(u"f100000.gif"), -1);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "made and emptied again";
}

// Names -------------------------------------------------------------------------------------

TEST_F(HostileTreeTest, NamesThatAreNotUTF8AreKeysWithTheirBytesKeptApart)
{
    // A byte that is no UTF-8 comes as one unit of its own (U+F700 plus the byte), so two names
    // that differ only there stay two keys.
    writeGif(tree.path("Resources/bad\xFF.gif"), 2, 1);
    writeGif(tree.path("Resources/bad\xFE.gif"), 3, 1);
    writeGif(tree.path("Resources/dir\xC3/lone.gif"), 4, 1);

    EXPECT_EQ(indexed("Resources"),
        (Keys { u"bad\uF7FF.gif", u"Resources/bad\uF7FF.gif", u"bad\uF7FE.gif", u"Resources/bad\uF7FE.gif", u"lone.gif",
            u"dir\uF7C3/lone.gif" }));

    ImageImportManager manager(tree.ref("Resources"));
    EXPECT_EQ(widthOf(u"bad\uF7FF.gif"), 2);
    EXPECT_EQ(widthOf(u"bad\uF7FE.gif"), 3);
    EXPECT_EQ(widthOf(u"dir\uF7C3/lone.gif"), 4);
    EXPECT_EQ(widthOf(u"bad\uFFFD.gif"), -1) << "no replacement character stands in for the byte";
}

TEST_F(HostileTreeTest, NamesLongerThanAnFSSpecHoldAreWholeKeysAndTheirFilesStillOpen)
{
    // Two names alike in their first 200 bytes, one of 255 bytes, and 62 emoji (248 bytes,
    // 124 UTF-16 units): none fits the FSSpec's 63 bytes.
    const std::string common(200, 'x');
    std::string emoji;
    std::u16string emojiUnits;
    for (int i = 0; i < 62; ++i) {
        emoji += "\xF0\x9F\x98\x80";
        emojiUnits += u"\U0001F600";
    }
    writeGif(tree.path("Resources/" + common + "-one.gif"), 5, 1);
    writeGif(tree.path("Resources/" + common + "-two.gif"), 6, 1);
    writeGif(tree.path("Resources/" + std::string(251, 'L') + ".gif"), 7, 1);
    writeGif(tree.path("Resources/" + emoji + ".gif"), 8, 1);

    Keys keys = indexed("Resources");
    EXPECT_EQ(keys.size(), 8u);
    EXPECT_EQ(keys.count(u16(common + "-one.gif")), 1u);
    EXPECT_EQ(keys.count(u"Resources/" + u16(std::string(251, 'L') + ".gif")), 1u);
    EXPECT_EQ(keys.count(emojiUnits + u".gif"), 1u);

    ImageImportManager manager(tree.ref("Resources"));
    EXPECT_EQ(widthOf(u16(common + "-one.gif")), 5) << "each long name opens its own file";
    EXPECT_EQ(widthOf(u"Resources/" + u16(common + "-two.gif")), 6);
    EXPECT_EQ(widthOf(u16(std::string(251, 'L') + ".gif")), 7);
    EXPECT_EQ(widthOf(emojiUnits + u".gif"), 8);
    CGImageRef image = ImageImportManager::imageForFilename(Key(u"Resources/" + emojiUnits + u".gif"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 8u);
    EXPECT_EQ(widthOf(u16(common.substr(0, 63))), -1) << "a name cut to the FSSpec's length is no key";
}

// Folders that refuse -----------------------------------------------------------------------

using RefusingFolderTest = HostileTreeTest;

TEST_F(RefusingFolderTest, FoldersDeniedAtOpeningOrListingAreSkippedAndTheRestIsIndexed)
{
    // Each refusing folder is the only entry of its holder, so that what else is indexed does
    // not depend on the order of a listing.
    writeGif(tree.path("Resources/shut/holder/denied/hidden.gif"), 1, 1);
    writeGif(tree.path("Resources/mute/unlisted/hidden2.gif"), 1, 1);
    writeGif(tree.path("Resources/open/seen.gif"), 12, 1);
    writeGif(tree.path("Resources/top.gif"), 13, 1);
    StandIn::setFolderFailure(tree.path("Resources/shut/holder/denied"), StandIn::FolderFailurePoint::Open, afpAccessDenied);
    StandIn::setFolderFailure(tree.path("Resources/mute/unlisted"), StandIn::FolderFailurePoint::List, afpAccessDenied);

    OSErr status = 1;
    EXPECT_EQ(indexed("Resources", &status), (Keys { u"seen.gif", u"open/seen.gif", u"top.gif", u"Resources/top.gif" }));
    EXPECT_EQ(status, noErr) << "lack of permission is forgiven";

    ImageImportManager manager(tree.ref("Resources"));
    EXPECT_EQ(widthOf(u"open/seen.gif"), 12);
    EXPECT_EQ(widthOf(u"top.gif"), 13);
    EXPECT_EQ(widthOf(u"hidden.gif"), -1);
    EXPECT_EQ(widthOf(u"unlisted/hidden2.gif"), -1);
}

TEST_F(RefusingFolderTest, AFolderDeniedAtOpeningAlsoHidesTheSiblingsListedAfterIt)
{
    // The walk forgives the denial one level up, where it ends that folder's listing: whatever
    // of the holder comes after the denied folder is not indexed. Many siblings make it all but
    // certain that some come after it.
    tree.addFolder("Resources/denied");
    for (int i = 0; i < 20; ++i)
        writeGif(tree.path("Resources/s" + std::to_string(i) + ".gif"), 1, 1);
    StandIn::setFolderFailure(tree.path("Resources/denied"), StandIn::FolderFailurePoint::Open, afpAccessDenied);

    WalkRecord record;
    ASSERT_EQ(walk(tree.ref("Resources"), record), noErr);
    ASSERT_FALSE(record.visits.empty());
    EXPECT_EQ(record.visits.back().name, u"denied") << "the denied folder is the last entry the walk gives";

    CacheIndex index;
    record = {};
    record.cacheIndex = &index.index;
    ASSERT_EQ(walk(tree.ref("Resources"), record), noErr);
    EXPECT_EQ(index.size(), 2 * (record.visits.size() - 1)) << "two keys for every file walked, and no more";
}

TEST_F(RefusingFolderTest, AnIOErrorInAFolderEndsTheWholeWalkAndTheCacheKeepsWhatCameBefore)
{
    writeGif(tree.path("Resources/a/first.gif"), 14, 1);
    writeGif(tree.path("Resources/a/broken/never.gif"), 1, 1);
    StandIn::setFolderFailure(tree.path("Resources/a/broken"), StandIn::FolderFailurePoint::List, ioErr);

    OSErr status = noErr;
    Keys keys = indexed("Resources", &status);
    EXPECT_EQ(status, ioErr);
    EXPECT_EQ(keys.count(u"never.gif"), 0u);
    EXPECT_TRUE(keys.empty() || keys == (Keys { u"first.gif", u"a/first.gif" })) << keys.size();

    // The manager has no status to give: it is made, answers for what it indexed, and goes.
    ImageImportManager manager(tree.ref("Resources"));
    EXPECT_EQ(widthOf(u"a/first.gif"), keys.empty() ? -1 : 14);
    EXPECT_EQ(widthOf(u"broken/never.gif"), -1);
}

// Changes during the walk -------------------------------------------------------------------

class ChangingTreeTest : public HostileTreeTest {
protected:
    // On the first entry of level 1, change every other entry of the folder with change.
    void onFirstEntry(WalkRecord& record, const std::vector<std::string>& names, std::function<void(const std::string&)> change)
    {
        record.meanwhile = [this, names, change, done = false](const Visit& visit) mutable {
            if (done || visit.level != 1)
                return;
            done = true;
            for (const std::string& name : names) {
                if (u16(name) != visit.name)
                    change(tree.path("Resources/" + name));
            }
        };
    }
};

TEST_F(ChangingTreeTest, FilesRemovedOrRenamedAfterTheListingAreStillGivenUnderTheirOldNames)
{
    // A folder's listing is read whole when the walk enters it: what changes later in that
    // folder does not change what the walk gives, and nothing in the walk looks at the files.
    const std::vector<std::string> names { "one.gif", "two.gif", "three.gif", "four.gif" };
    for (const std::string& name : names)
        writeGif(tree.path("Resources/" + name), 15, 1);

    CacheIndex index;
    WalkRecord record;
    record.cacheIndex = &index.index;
    int changed = 0;
    onFirstEntry(record, names, [&](const std::string& path) {
        if (++changed % 2)
            std::filesystem::remove(path);
        else
            std::filesystem::rename(path, path + ".moved");
    });
    ASSERT_EQ(walk(tree.ref("Resources"), record), noErr);

    EXPECT_EQ(changed, 3);
    EXPECT_EQ(record.visits.size(), 4u);
    EXPECT_EQ(index.size(), 8u);
    for (const std::string& name : names)
        EXPECT_TRUE(index.holds(u16(name))) << name;

    // The manager, made from the tree as it is now, has the visited file and the renamed one
    // under its new name; a key it indexed whose file goes before its first use answers nothing.
    ImageImportManager manager(tree.ref("Resources"));
    int present = 0;
    std::u16string movedKey;
    for (const std::string& name : names) {
        present += widthOf(u16(name)) == 15;
        if (std::filesystem::exists(tree.path("Resources/" + name + ".moved")))
            movedKey = u16(name + ".moved");
    }
    EXPECT_EQ(present, 1) << "only the visited file keeps its name";
    ASSERT_FALSE(movedKey.empty());
    std::filesystem::remove(tree.path("Resources/" + std::string(movedKey.begin(), movedKey.end())));
    EXPECT_EQ(widthOf(movedKey), -1);
    EXPECT_EQ(ImageImportManager::imageForFilename(Key(u"Resources/" + movedKey)), nullptr);
}

TEST_F(ChangingTreeTest, FilesReplacedByFoldersAreGivenAsFilesAndNotEntered)
{
    const std::vector<std::string> names { "one.gif", "two.gif", "three.gif" };
    for (const std::string& name : names)
        writeGif(tree.path("Resources/" + name), 16, 1);

    CacheIndex index;
    WalkRecord record;
    record.cacheIndex = &index.index;
    onFirstEntry(record, names, [&](const std::string& path) {
        std::filesystem::remove(path);
        writeGif(path + "/inner.gif", 17, 1);
    });
    ASSERT_EQ(walk(tree.ref("Resources"), record), noErr);

    ASSERT_EQ(record.visits.size(), 3u);
    for (const Visit& visit : record.visits) {
        EXPECT_FALSE(visit.isFolder);
        EXPECT_EQ(visit.level, 1u);
    }
    EXPECT_EQ(index.size(), 6u);
    EXPECT_FALSE(index.holds(u"inner.gif"));

    ImageImportManager manager(tree.ref("Resources"));
    EXPECT_EQ(widthOf(u"inner.gif"), 17) << "a later walk enters the new folders";
}

TEST_F(ChangingTreeTest, AFolderRemovedOrReplacedByAFileBeforeItIsEnteredEndsTheWholeWalk)
{
    // The walk enters a folder of its listing that is no longer there: opening it fails, and
    // as that is no denial, the walk ends there and returns the failure. A link put in its place
    // is not followed, wherever it leads.
    const std::vector<std::string> names { "d1", "d2", "d3" };
    for (const std::string& name : names)
        writeGif(tree.path("Resources/" + name + "/" + name + ".gif"), 18, 1);
    writeGif(tree.path("Outside/outside.gif"), 19, 1);

    enum class Change { Removed,
        ReplacedByAFile,
        ReplacedByALinkOut };
    for (Change change : { Change::Removed, Change::ReplacedByAFile, Change::ReplacedByALinkOut }) {
        SCOPED_TRACE(static_cast<int>(change));
        CacheIndex index;
        WalkRecord record;
        record.cacheIndex = &index.index;
        onFirstEntry(record, names, [&](const std::string& path) {
            std::filesystem::remove_all(path);
            if (change == Change::ReplacedByAFile)
                writeGif(path, 19, 1);
            if (change == Change::ReplacedByALinkOut)
                std::filesystem::create_directory_symlink(tree.path("Outside"), path);
        });
        EXPECT_EQ(walk(tree.ref("Resources"), record), change == Change::Removed ? OSErr(fnfErr) : OSErr(dirNFErr));

        ASSERT_EQ(record.visits.size(), 3u) << "the first folder, its file, and the next folder of the listing";
        EXPECT_TRUE(record.visits[0].isFolder);
        EXPECT_EQ(record.visits[1].level, 2u);
        EXPECT_TRUE(record.visits[2].isFolder) << "given as the listing had it";
        EXPECT_EQ(index.size(), 2u) << "only the first folder's file";

        ImageImportManager manager(tree.ref("Resources"));
        std::u16string survivor = record.visits[1].name;
        EXPECT_EQ(widthOf(survivor), 18);

        // Back to three folders for the second round.
        for (const std::string& name : names) {
            std::filesystem::remove_all(tree.path("Resources/" + name));
            writeGif(tree.path("Resources/" + name + "/" + name + ".gif"), 18, 1);
        }
    }
}

TEST_F(ChangingTreeTest, AFileGoneBeforeItsFolderIsLookedUpCostsItsSiblingsAndLaterManagersNothing)
{
    const std::vector<std::string> names { "one.gif", "two.gif", "three.gif" };
    for (const std::string& name : names)
        writeGif(tree.path("Resources/" + name), 28, 1);
    // The first file the walk gives goes at that moment: its folder cannot be looked up from it.
    StandIn::setFolderFailure(tree.path("Resources"), StandIn::FolderFailurePoint::EntryInfo, fnfErr);
    auto countWidths = [&](const std::u16string& folderPart) {
        int found = 0;
        for (const std::string& name : names)
            found += widthOf(folderPart + u16(name)) == 28;
        return found;
    };
    {
        ImageImportManager manager(tree.ref("Resources"));
        EXPECT_EQ(countWidths(u"/"), 1) << "the file whose folder was not found has an empty folder name";
        EXPECT_EQ(countWidths(u"Resources/"), 2) << "its siblings keep their folder's name";
    }
    ImageImportManager later(tree.ref("Resources"));
    EXPECT_EQ(countWidths(u"Resources/"), 3) << "a later manager remembers nothing of an earlier walk";
    EXPECT_EQ(countWidths(u"/"), 0);
}

// Moves the folder at path away and puts a link to target in its place, as someone racing the
// walk would.
void swapForLink(const std::string& path, const std::string& target)
{
    std::filesystem::rename(path, path + ".moved");
    std::filesystem::create_symlink(target, path);
}

TEST_F(ChangingTreeTest, AFolderSwappedForALinkDuringTheWalkLeadsTheWalkNowhereElse)
{
    writeGif(tree.path("Resources/sub/a.gif"), 24, 1);
    writeGif(tree.path("Resources/sub/inner/kept.gif"), 25, 1);
    writeGif(tree.path("elsewhere/inner/secret.gif"), 26, 1);

    CacheIndex index;
    WalkRecord record;
    record.cacheIndex = &index.index;
    record.meanwhile = [&, done = false](const Visit& visit) mutable {
        if (!done && visit.level == 2) {
            done = true;
            swapForLink(tree.path("Resources/sub"), tree.path("elsewhere"));
        }
    };
    ASSERT_EQ(walk(tree.ref("Resources"), record), noErr);

    std::set<std::u16string> names;
    for (const Visit& visit : record.visits)
        names.insert(visit.name);
    EXPECT_EQ(names, (std::set<std::u16string> { u"sub", u"a.gif", u"inner", u"kept.gif" }))
        << "the folder being walked goes on being walked, wherever it was moved";
    EXPECT_FALSE(index.holds(u"secret.gif"));
}

TEST_F(ChangingTreeTest, AFolderSwappedForALinkPastTheFoldersKeptOpenEndsTheWalkInsteadOfLeavingIt)
{
    // Past 256 levels the walk keeps no folder open: a folder is opened again by its path when
    // it has a subfolder to open, and must be the one that was listed.
    const int kDepth = 300, kSwapped = 280;
    tree.addFolderChain(kDepth, "c");
    std::string swapped = tree.root(), below;
    for (int level = 0; level < kSwapped; ++level)
        swapped += "/c";
    for (int level = kSwapped; level < kDepth; ++level)
        below += "c/";
    tree.addFolder("elsewhere/" + below);
    writeGif(tree.path("elsewhere/" + below + "secret.gif"), 27, 1);

    WalkRecord record;
    record.meanwhile = [&, done = false](const Visit& visit) mutable {
        if (!done && visit.level == ItemCount(kSwapped + 5)) {
            done = true;
            swapForLink(swapped, tree.path("elsewhere"));
        }
    };
    EXPECT_EQ(walk(tree.ref("c"), record), fnfErr);
    for (const Visit& visit : record.visits)
        EXPECT_NE(visit.name, u"secret.gif") << visit.level;
    EXPECT_EQ(record.visits.size(), size_t(kSwapped + 5)) << "no folder is entered after the swap";
}

}
