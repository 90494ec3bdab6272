// Conformance of the File Manager stand-in on real temporary trees: references, catalog
// information, listings, names no FSSpec holds as they are, folders nested beyond the OS's path
// limit, the failure hook, and URLs.
#include "tests/support/LiveObjects.h"
#include "tests/support/TemporaryTree.h"

#include <Files/FilesStandIn.h>

#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string pathOf(const FSRef& ref)
{
    std::vector<UInt8> buffer(1 << 16);
    EXPECT_EQ(FSRefMakePath(&ref, buffer.data(), static_cast<UInt32>(buffer.size())), noErr);
    return reinterpret_cast<const char*>(buffer.data());
}

bool same(const auto& a, const auto& b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

struct Listed {
    FSRef ref;
    FSCatalogInfo info;
    FSSpec fsSpec;
    HFSUniStr255 name;
};

// As the pane's folder walk reads a folder: one entry per call until errFSNoMoreItems.
std::vector<Listed> listFolder(const FSRef& folder, FSCatalogInfoBitmap whichInfo = kFSCatInfoNodeFlags)
{
    std::vector<Listed> listed;
    FSIterator iterator = nullptr;
    EXPECT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);
    for (OSErr status = noErr; iterator && status == noErr;) {
        Listed entry {};
        ItemCount actual = 99;
        status = FSGetCatalogInfoBulk(iterator, 1, &actual, nullptr, whichInfo, &entry.info, &entry.ref, &entry.fsSpec, &entry.name);
        EXPECT_TRUE(status == noErr || status == errFSNoMoreItems) << status;
        EXPECT_EQ(actual, status == noErr ? 1u : 0u);
        if (status == noErr)
            listed.push_back(entry);
    }
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
    return listed;
}

size_t countFilesBelow(const FSRef& folder)
{
    size_t files = 0;
    for (const Listed& entry : listFolder(folder))
        files += (entry.info.nodeFlags & kFSNodeIsDirectoryMask) ? countFilesBelow(entry.ref) : 1;
    return files;
}

class FilesTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        ASSERT_FALSE(tree.root().empty());
        root = std::filesystem::canonical(tree.root()).string();
    }
    void TearDown() override
    {
        StandIn::clearFolderFailures();
        BalancedTest::TearDown();
    }

    std::string at(const std::string& relative) const { return root + "/" + relative; }
    void makeFile(const std::string& relative, const std::string& contents = "")
    {
        FILE* file = fopen(at(relative).c_str(), "w");
        ASSERT_TRUE(file) << relative;
        fputs(contents.c_str(), file);
        fclose(file);
    }
    void makeFolder(const std::string& relative) { ASSERT_EQ(mkdir(at(relative).c_str(), 0755), 0) << relative; }
    FSRef refOf(const std::string& path, Boolean* isDirectory = nullptr)
    {
        FSRef ref {};
        EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, isDirectory), noErr) << path;
        return ref;
    }
    FSCatalogInfo infoOf(const FSRef& ref, FSCatalogInfoBitmap whichInfo)
    {
        FSCatalogInfo info {};
        EXPECT_EQ(FSGetCatalogInfo(&ref, whichInfo, &info, nullptr, nullptr, nullptr), noErr);
        return info;
    }

    TemporaryTree tree;
    std::string root;
};

using FSRefTest = FilesTest;

TEST_F(FSRefTest, PathsRoundTripAndOneFileHasOneBytePattern)
{
    makeFolder("folder");
    makeFile("folder/file");
    Boolean isDirectory = true;
    FSRef file = refOf(at("folder/file"), &isDirectory);
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(pathOf(file), at("folder/file"));
    FSRef folder = refOf(at("folder"), &isDirectory);
    EXPECT_TRUE(isDirectory);
    EXPECT_EQ(pathOf(refOf("/")), "/");
    for (const std::string& spelling : { root + "//folder/./file", at("folder/../folder/file") })
        EXPECT_TRUE(same(refOf(spelling), file)) << spelling;
    for (const std::string& spelling : { at("folder/"), at("folder/."), at("folder/../folder") })
        EXPECT_TRUE(same(refOf(spelling), folder)) << spelling;

    std::vector<UInt8> buffer(at("folder").size() + 1, 'x'), unchanged = buffer;
    EXPECT_EQ(FSRefMakePath(&folder, buffer.data(), static_cast<UInt32>(buffer.size() - 1)), errFSBadBuffer);
    EXPECT_EQ(buffer, unchanged);
    EXPECT_EQ(FSRefMakePath(&folder, buffer.data(), static_cast<UInt32>(buffer.size())), noErr);
    EXPECT_EQ(reinterpret_cast<const char*>(buffer.data()), at("folder"));
}

TEST_F(FSRefTest, MissingObjectsAndHugePathsAreRefusedWithTheRefLeftAlone)
{
    makeFile("file");
    std::string oneHugeName = std::string(1 << 20, 'n').insert(0, 1, '/'), manyMissingFolders;
    for (int i = 0; i < 100000; ++i)
        manyMissingFolders += "/absent";
    FSRef ref;
    memset(&ref, 0xA5, sizeof ref);
    const FSRef untouched = ref;
    for (const std::string& path : { at("absent"), at("absent/file"), at("file/below"), manyMissingFolders })
        EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), fnfErr) << path.substr(0, 80);
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(oneHugeName.c_str()), &ref, nullptr), bdNamErr);
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(""), &ref, nullptr), paramErr);
    EXPECT_TRUE(same(ref, untouched));

    // A reference names a path: once the file has gone, calls that need the file say so.
    ref = refOf(at("file"));
    ASSERT_EQ(unlink(at("file").c_str()), 0);
    FSCatalogInfo info {};
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), fnfErr);
    EXPECT_EQ(CFURLCreateFromFSRef(nullptr, &ref), nullptr);
}

TEST_F(FSRefTest, GarbageReferencesAndFSSpecsAreRefusedNotFollowed)
{
    makeFile("file");
    FSRef good = refOf(at("file")), ref {};
    FSSpec goodFSSpec {}, fsSpec;
    ASSERT_EQ(FSGetCatalogInfo(&good, kFSCatInfoNone, nullptr, nullptr, &goodFSSpec, nullptr), noErr);
    UInt8 path[256];
    FSCatalogInfo info;
    FSIterator iterator = nullptr;
    std::mt19937 random(7);
    for (int i = 0; i < 4000; ++i) {
        ref = good;
        for (size_t b = 0; b < sizeof ref; ++b) {
            if (i == 0 || i % 2 || b == random() % sizeof ref)
                ref.hidden[b] = i ? static_cast<UInt8>(random()) : 0;
        }
        // A changed byte may still name a file (a name with another letter): no fault.
        if (FSRefMakePath(&ref, path, sizeof path) == noErr)
            continue;
        EXPECT_EQ(FSRefMakePath(&ref, path, sizeof path), errFSBadFSRef);
        EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), errFSBadFSRef);
        EXPECT_EQ(FSOpenIterator(&ref, kFSIterateFlat, &iterator), errFSBadFSRef);
        for (size_t b = 0; b < sizeof fsSpec; ++b)
            reinterpret_cast<UInt8*>(&fsSpec)[b] = static_cast<UInt8>(random());
        FSpMakeFSRef(&fsSpec, &ref); // may say anything, but must return
    }
    EXPECT_EQ(iterator, nullptr);

    auto refused = [&](void (*change)(FSSpec&), OSErr expected) {
        fsSpec = goodFSSpec;
        change(fsSpec);
        FSRef untouched {};
        EXPECT_EQ(FSpMakeFSRef(&fsSpec, &untouched), expected);
        EXPECT_TRUE(same(untouched, FSRef {}));
    };
    refused([](FSSpec& s) { s.name[0] = 64; }, paramErr);
    refused([](FSSpec& s) { s.parID = 0; }, dirNFErr);
    refused([](FSSpec& s) { s.parID = 0x7FFFFFFF; }, dirNFErr);
    // Octal length bytes: a hexadecimal escape would swallow the name's first letters.
    refused([](FSSpec& s) { memcpy(s.name, "\005a/../", 6); }, bdNamErr);
    refused([](FSSpec& s) { memcpy(s.name, "\006file#1", 7); }, fnfErr); // a mark never made for "file"

    // A name that climbs to the parent folder, outside the folder a walk keeps to: in an FSSpec,
    // and in the name a reference carries in its own bytes.
    refused([](FSSpec& s) { memcpy(s.name, "\002..", 3); }, bdNamErr);
    makeFile("qz");
    FSRef climbing = refOf(at("qz"));
    auto* name = static_cast<UInt8*>(memmem(climbing.hidden, sizeof climbing.hidden, "qz", 2));
    ASSERT_TRUE(name) << "a short name lies in the reference itself";
    memcpy(name, "..", 2);
    EXPECT_EQ(FSRefMakePath(&climbing, path, sizeof path), errFSBadFSRef);
    EXPECT_EQ(FSGetCatalogInfo(&climbing, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), errFSBadFSRef);
}

using CatalogInfoTest = FilesTest;

TEST_F(CatalogInfoTest, FolderBitNodeIDsAndParentIDsAgreeBetweenCallsAndListings)
{
    makeFolder("folder");
    makeFile("folder/five", "12345");
    makeFolder("folder/sub");
    const FSCatalogInfoBitmap all = kFSCatInfoNodeFlags | kFSCatInfoVolume | kFSCatInfoParentDirID | kFSCatInfoNodeID
        | kFSCatInfoDataSizes;
    FSCatalogInfo slash = infoOf(refOf("/"), all), folder = infoOf(refOf(at("folder")), all);
    EXPECT_EQ(slash.nodeID, UInt32(fsRtDirID));
    EXPECT_EQ(slash.parentDirID, UInt32(fsRtParID));
    EXPECT_NE(folder.nodeID, UInt32(fsRtDirID));

    // The folder bit from the directory entry alone, and with lstat when sizes are asked for.
    for (FSCatalogInfoBitmap which : { FSCatalogInfoBitmap(kFSCatInfoNodeFlags), all }) {
        std::map<std::string, Listed> byName;
        for (const Listed& entry : listFolder(refOf(at("folder")), which))
            byName[pathOf(entry.ref).substr(at("folder/").size())] = entry;
        ASSERT_EQ(byName.size(), 2u);
        EXPECT_EQ(byName["five"].info.nodeFlags, 0);
        EXPECT_EQ(byName["sub"].info.nodeFlags, kFSNodeIsDirectoryMask);
    }
    for (auto& entry : listFolder(refOf(at("folder")), all)) {
        FSCatalogInfo direct = infoOf(entry.ref, all);
        EXPECT_TRUE(same(entry.info, direct));
        EXPECT_EQ(entry.info.parentDirID, folder.nodeID);
        EXPECT_EQ(SInt32 { entry.fsSpec.parID }, SInt32(folder.nodeID));
        EXPECT_NE(entry.info.nodeID, UInt32(fsRtDirID));
        EXPECT_EQ(entry.info.dataLogicalSize, entry.info.nodeFlags ? 0u : 5u);
    }
}

TEST_F(CatalogInfoTest, ParentRefsLeadUpToTheRootWhoseParentIsNothing)
{
    makeFolder("a");
    makeFile("a/file");
    FSRef ref = refOf(at("a/file")), parent;
    std::u16string names;
    for (int steps = 0; steps < 100; ++steps) {
        FSCatalogInfo info {};
        HFSUniStr255 name {};
        ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNodeID, &info, &name, nullptr, &parent), noErr);
        names += std::u16string(reinterpret_cast<const char16_t*>(name.unicode), name.length) + u"|";
        if (info.nodeID == UInt32(fsRtDirID))
            break;
        EXPECT_EQ(pathOf(parent), std::filesystem::path(pathOf(ref)).parent_path().string());
        ref = parent;
    }
    EXPECT_EQ(pathOf(ref), "/");
    EXPECT_TRUE(same(parent, FSRef {}));
    EXPECT_EQ(names.substr(0, 7), u"file|a|");
    EXPECT_EQ(names.substr(names.size() - 2), u"/|");

    FSSpec fsSpec;
    FSRef back;
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &fsSpec, nullptr), noErr);
    EXPECT_EQ(SInt32 { fsSpec.parID }, SInt32(fsRtParID));
    ASSERT_EQ(FSpMakeFSRef(&fsSpec, &back), noErr);
    EXPECT_TRUE(same(back, ref));
}

TEST_F(CatalogInfoTest, SymbolicLinksAreFilesAndNeverFollowed)
{
    makeFolder("target");
    makeFile("target/inside");
    for (auto [target, link] : { std::pair { "target", "toFolder" }, { ".", "loop" }, { "absent", "dangling" } }) {
        ASSERT_EQ(symlink(target, at(link).c_str()), 0);
        Boolean isDirectory = true;
        FSRef ref = refOf(at(link), &isDirectory);
        EXPECT_FALSE(isDirectory) << link;
        EXPECT_EQ(infoOf(ref, kFSCatInfoNodeFlags).nodeFlags, 0) << link;
        FSIterator iterator = nullptr;
        EXPECT_EQ(FSOpenIterator(&ref, kFSIterateFlat, &iterator), dirNFErr) << link;
    }
    // Through a link to a folder, a path names what is behind it.
    EXPECT_EQ(pathOf(refOf(at("toFolder/inside"))), at("target/inside"));
    // A walk sees links as files, so it ends however they loop.
    EXPECT_EQ(countFilesBelow(refOf(root)), 4u);
}

using IteratorTest = FilesTest;

TEST_F(IteratorTest, ListsEveryEntryOnceThenNoMoreItemsAndStaysLiveUntilClosed)
{
    std::multiset<std::string> expected, seen;
    for (int i = 0; i < 40; ++i) {
        i % 4 ? makeFile("entry" + std::to_string(i)) : makeFolder("entry" + std::to_string(i));
        expected.insert(at("entry" + std::to_string(i)));
    }
    for (const Listed& entry : listFolder(refOf(root)))
        seen.insert(pathOf(entry.ref));
    EXPECT_EQ(seen, expected);

    // Many at once: what is left with noErr, then nothing with errFSNoMoreItems.
    FSIterator iterator = nullptr;
    FSRef folder = refOf(root), refs[30];
    ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);
    for (ItemCount expectedCount : { 30, 10, 0, 0 }) {
        ItemCount actual = 99;
        EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 30, &actual, nullptr, kFSCatInfoNone, nullptr, refs, nullptr, nullptr),
            expectedCount ? OSErr(noErr) : OSErr(errFSNoMoreItems));
        EXPECT_EQ(actual, expectedCount);
    }
    EXPECT_NE(PlatformLiveObjectSummary().find("FSIterator: 1"), std::string::npos);
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
}

TEST_F(IteratorTest, RefusesBadArgumentsNonFoldersAndClosedIterators)
{
    makeFile("file");
    FSRef folder = refOf(root), file = refOf(at("file")), missing = refOf(at("file"));
    ASSERT_EQ(rename(at("file").c_str(), at("moved").c_str()), 0);
    file = refOf(at("moved"));
    FSIterator iterator = nullptr;
    EXPECT_EQ(FSOpenIterator(&folder, kFSIterateSubtree, &iterator), errFSIteratorNotSupported);
    EXPECT_EQ(FSOpenIterator(&folder, 7, &iterator), errFSBadIteratorFlags);
    EXPECT_EQ(FSOpenIterator(&folder, kFSIterateFlat, nullptr), paramErr);
    EXPECT_EQ(FSOpenIterator(&file, kFSIterateFlat, &iterator), dirNFErr);
    EXPECT_EQ(FSOpenIterator(&missing, kFSIterateFlat, &iterator), fnfErr);
    EXPECT_EQ(iterator, nullptr);

    ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);
    ItemCount actual = 0;
    FSCatalogInfo info;
    EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 0, &actual, nullptr, 0, nullptr, nullptr, nullptr, nullptr), errFSBadItemCount);
    EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 1, nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr), paramErr);
    EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 1, &actual, nullptr, kFSCatInfoNodeFlags, nullptr, nullptr, nullptr, nullptr),
        paramErr);
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
    for (FSIterator bad : { FSIterator(nullptr), iterator /* closed */, reinterpret_cast<FSIterator>(&info) }) {
        EXPECT_EQ(FSGetCatalogInfoBulk(bad, 1, &actual, nullptr, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr),
            paramErr);
        EXPECT_EQ(FSCloseIterator(bad), paramErr);
    }
}

TEST_F(IteratorTest, FailureHookFailsOpenOrEveryListingOfThatFolderOnly)
{
    makeFolder("locked");
    makeFolder("listless");
    makeFile("listless/file");
    StandIn::setFolderFailure(at("locked"), StandIn::FolderFailurePoint::Open, afpAccessDenied);
    StandIn::setFolderFailure(at("listless"), StandIn::FolderFailurePoint::List, ioErr);
    FSIterator iterator = nullptr;
    FSRef locked = refOf(at("locked")), listless = refOf(at("listless"));
    EXPECT_EQ(FSOpenIterator(&locked, kFSIterateFlat, &iterator), afpAccessDenied);
    ASSERT_EQ(FSOpenIterator(&listless, kFSIterateFlat, &iterator), noErr);
    ItemCount actual = 7;
    FSCatalogInfo info;
    for (int again = 0; again < 2; ++again)
        EXPECT_EQ(FSGetCatalogInfoBulk(iterator, 1, &actual, nullptr, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr),
            ioErr);
    EXPECT_EQ(actual, 7u);
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
    EXPECT_EQ(listFolder(refOf(root)).size(), 2u);

    StandIn::clearFolderFailures();
    EXPECT_EQ(listFolder(locked).size(), 0u);
    EXPECT_EQ(listFolder(listless).size(), 1u);
}

TEST_F(FilesTest, NamesNoFSSpecHoldsAsTheyAreResolveBackAndGiveUnicodeNamesOfTheirOwn)
{
    std::string emoji; // 63 four-byte characters: 126 units
    for (int i = 0; i < 63; ++i)
        emoji += "\xF0\x9F\x98\x80";
    const std::map<std::string, std::u16string> names {
        { std::string(255, 'L'), std::u16string(255, u'L') },
        { std::string(200, 'x') + ".jpeg", std::u16string(200, u'x') + u".jpeg" },
        { "f\xC3\xBCr Zo\xC3\xAB \xE2\x98\x83.png", u"f\u00FCr Zo\u00EB \u2603.png" },
        { std::string(40, '\xC3') + ".txt", std::u16string(40, u'\uF7C3') + u".txt" }, // lead bytes alone
        { "bad\xFF\xFE.gif", u"bad\uF7FF\uF7FE.gif" },
        { "a#1.txt", u"a#1.txt" }, // looks like a shortened name
        { std::string(64, 'y'), std::u16string(64, u'y') },
        { emoji, [] { std::u16string units; for (int i = 0; i < 63; ++i) units += u"\U0001F600"; return units; }() },
    };
    for (auto& [name, unicode] : names)
        makeFile(name);
    std::set<std::string> shortNames;
    for (const Listed& entry : listFolder(refOf(root))) {
        std::string path = pathOf(entry.ref), name = path.substr(root.size() + 1);
        SCOPED_TRACE(name.substr(0, 40));
        ASSERT_EQ(names.count(name), 1u);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(entry.name.unicode), entry.name.length), names.at(name));

        std::string shortName(reinterpret_cast<const char*>(entry.fsSpec.name + 1), entry.fsSpec.name[0]);
        ASSERT_LE(shortName.size(), 63u);
        CFStringRef text = CFStringCreateWithBytes(nullptr, entry.fsSpec.name + 1, entry.fsSpec.name[0], kCFStringEncodingUTF8, false);
        EXPECT_NE(text, nullptr) << "not UTF-8";
        if (text)
            CFRelease(text);
        if (name.size() > 63 && name.find('.') != std::string::npos) {
            EXPECT_EQ(shortName.substr(shortName.rfind('.')), name.substr(name.rfind('.')));
        }
        EXPECT_TRUE(shortNames.insert(shortName).second);

        FSRef back;
        ASSERT_EQ(FSpMakeFSRef(&entry.fsSpec, &back), noErr);
        EXPECT_TRUE(same(back, entry.ref));
        UInt8 fsSpecPath[PATH_MAX];
        ASSERT_EQ(FSRefMakePath(&back, fsSpecPath, sizeof fsSpecPath), noErr);
        EXPECT_EQ(reinterpret_cast<const char*>(fsSpecPath), path);
    }
    EXPECT_EQ(shortNames.size(), names.size());
}

TEST_F(FilesTest, TwoThousandNestedFoldersGiveUsableRefsAtTheBottom)
{
    const int depth = 2000;
    std::string bottom = root;
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth; ++i, bottom += "/level") {
        ASSERT_EQ(mkdirat(fd, "level", 0755), 0);
        int next = openat(fd, "level", O_RDONLY | O_DIRECTORY);
        close(fd);
        fd = next;
    }
    close(openat(fd, "bottom", O_CREAT | O_WRONLY, 0644));
    close(fd);
    bottom += "/bottom";
    ASSERT_GT(bottom.size(), size_t(2 * PATH_MAX));

    // Down the way a walk goes, one listing per level.
    FSRef ref = refOf(root);
    for (int i = 0; i <= depth; ++i) {
        auto listed = listFolder(ref);
        ASSERT_EQ(listed.size(), 1u) << "at level " << i;
        ref = listed[0].ref;
        EXPECT_EQ(listed[0].info.nodeFlags, i < depth ? kFSNodeIsDirectoryMask : 0);
    }
    EXPECT_EQ(pathOf(ref), bottom);
    EXPECT_TRUE(same(refOf(bottom), ref));
    FSSpec fsSpec;
    FSRef parent, back;
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &fsSpec, &parent), noErr);
    ASSERT_EQ(FSpMakeFSRef(&fsSpec, &back), noErr);
    EXPECT_TRUE(same(back, ref));
    EXPECT_EQ(pathOf(parent), bottom.substr(0, bottom.rfind('/')));
    CFURLRef url = CFURLCreateFromFSRef(nullptr, &ref);
    EXPECT_TRUE(CFURLGetFSRef(url, &back));
    EXPECT_TRUE(same(back, ref));
    CFRelease(url);
}

TEST_F(FilesTest, URLsAndRefsRoundTripWithFoldersAsDirectoryURLs)
{
    makeFolder("folder");
    makeFile("folder/file");
    for (std::string name : { "folder", "folder/file" }) {
        FSRef ref = refOf(at(name)), back;
        CFURLRef url = CFURLCreateFromFSRef(nullptr, &ref);
        CFStringRef description = CFCopyDescription(url);
        char text[PATH_MAX];
        CFStringGetCString(description, text, sizeof text, kCFStringEncodingUTF8);
        EXPECT_EQ(text, "file://" + at(name) + (name == "folder" ? "/" : ""));
        EXPECT_TRUE(CFURLGetFSRef(url, &back));
        EXPECT_TRUE(same(back, ref));
        CFRelease(description);
        CFRelease(url);
    }
    CFURLRef absent = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(at("absent").c_str()),
        static_cast<CFIndex>(at("absent").size()), false);
    FSRef untouched {};
    EXPECT_FALSE(CFURLGetFSRef(absent, &untouched));
    EXPECT_TRUE(same(untouched, FSRef {}));
    CFRelease(absent);
}

} // namespace
