#include "FSInternal.h"
#include "FilesStandIn.h"

#include <Base/RegularFile.h>
#include <CoreFoundation/CFRuntime.h>
#include <Files/FilesStandIn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

using namespace fs_standin;

namespace {

// Iterators handed out and not yet closed: a handle is used only once found here, so a stale
// or made-up one is refused instead of followed. They are also found by the folder they list,
// so that a subfolder of a listing is opened from the folder that listed it.
struct IteratorRegistry {
    std::mutex lock;
    std::unordered_set<const void*> live;
    std::unordered_multimap<UInt32, OpaqueFSIterator*> byFolder;
    // The handle found live last, until it is closed: a walk fetches a listing's entries one
    // call at a time, and each call need not take the lock and search again.
    std::atomic<const void*> lastLive { nullptr };
};

IteratorRegistry& registry()
{
    static auto* instance = new IteratorRegistry;
    return *instance;
}

// Where the walks began: for each folder listed, the folder whose listing began the chain of
// listings that reached it. Image files found by a walk are opened beneath it.
struct ListingTops {
    std::mutex lock;
    std::unordered_map<UInt32, UInt32> topOf;
};

ListingTops& listingTops()
{
    static auto* instance = new ListingTops;
    return *instance;
}

struct FailureHooks {
    std::mutex lock;
    std::map<std::pair<std::string, StandIn::FolderFailurePoint>, OSErr> failures;
    // Checked without the lock on every open, so that a walk pays nothing when no test set one.
    std::atomic<bool> any { false };
};

FailureHooks& hooks()
{
    static auto* instance = new FailureHooks;
    return *instance;
}

OSErr failureFor(const std::string& path, StandIn::FolderFailurePoint point)
{
    auto& all = hooks();
    if (!all.any.load(std::memory_order_relaxed))
        return noErr;
    std::lock_guard guard(all.lock);
    auto found = all.failures.find({ path, point });
    return found == all.failures.end() ? OSErr(noErr) : found->second;
}

struct Entry {
    size_t nameOffset;
    UInt16 nameLength;
    bool isDirectory;
    UInt64 inode;
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using Folder = std::unique_ptr<DIR, DirCloser>;

// The whole listing is read when the iterator opens. The folder stays open while the iterator
// lives, so that its subfolders are opened from it and not by a path that a link swapped in
// could lead elsewhere; past kMostHeldFolders open at once (a walk keeps an iterator at every
// level it descends, and a hostile tree is deeper than the descriptors a process has), the
// folder is closed and its identity kept instead, to check it when it is opened again.
struct Listing {
    std::string names; // every name, one after another
    std::vector<Entry> entries;
};

constexpr int kMostHeldFolders = 256;
std::atomic<int> gHeldFolders { 0 };

// Reads the folder's entries (never "." or ".."), their kind from d_type, and from lstat only
// where the file system does not say.
OSErr readListing(DIR* dir, Listing& listing)
{
    while (true) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            if (errno)
                return errorFromErrno(errno);
            break;
        }
        std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    continue; // gone since it was listed
                return errorFromErrno(errno);
            }
            isDirectory = S_ISDIR(info.st_mode);
        }
        listing.entries.push_back(
            Entry { listing.names.size(), static_cast<UInt16>(name.size()), isDirectory, static_cast<UInt64>(entry->d_ino) });
        listing.names += name;
    }
    return noErr;
}

// Why a folder did not open, given what lstat found there (null: nothing): a file, or a
// symbolic link (never followed), is not a folder. ENOTDIR may also mean that a folder on the
// way is missing, which lstat tells apart.
OSErr openFailure(int error, const struct stat* found)
{
    if ((error == ENOTDIR || error == ELOOP) && found && !S_ISDIR(found->st_mode))
        return dirNFErr;
    return errorFromErrno(error);
}

// An entry removed between the listing and its delivery: skipped, as if listed a moment later.
constexpr OSErr kEntryVanished = 1;

} // namespace

struct OpaqueFSIterator final : __CFRuntimeBase {
    OpaqueFSIterator(UInt32 folder, UInt32 walkTop, std::string path, Folder open, const struct stat& identity, Listing read,
        OSErr failure)
        : __CFRuntimeBase(classTypeID())
        , folderID(folder)
        , top(walkTop)
        , folderPath(std::move(path))
        , held(std::move(open))
        , device(identity.st_dev)
        , inode(identity.st_ino)
        , listing(std::move(read))
        , listFailure(failure)
    {
        std::lock_guard guard(registry().lock);
        registry().live.insert(this);
        registry().byFolder.emplace(folderID, this);
    }

    ~OpaqueFSIterator() override
    {
        if (held)
            --gHeldFolders;
        std::lock_guard guard(registry().lock);
        registry().live.erase(this);
        if (registry().lastLive.load() == this)
            registry().lastLive.store(nullptr);
        auto [first, last] = registry().byFolder.equal_range(folderID);
        registry().byFolder.erase(std::find_if(first, last, [this](const auto& lister) { return lister.second == this; }));
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("FSIterator");
        return typeID;
    }

    static OpaqueFSIterator* live(FSIterator handle)
    {
        if (handle && registry().lastLive.load() == handle)
            return handle;
        std::lock_guard guard(registry().lock);
        if (!registry().live.count(handle))
            return nullptr;
        registry().lastLive.store(handle);
        return handle;
    }

    // Opens this folder's subfolder name from this folder's descriptor, never following a link
    // there: a folder swapped for a link since the listing is not entered, and neither is one
    // below a folder swapped for a link. Called under the registry's lock, which keeps this
    // iterator alive meanwhile.
    OSErr openSubfolder(const std::string& name, int* fd) const
    {
        StandIn::FileDescriptor reopened;
        int at = held ? dirfd(held.get()) : -1;
        if (!held) {
            reopened = StandIn::FileDescriptor(openPath(folderPath, O_PATH | O_DIRECTORY | O_NOFOLLOW));
            struct stat info;
            if (!reopened || fstat(reopened.get(), &info) != 0 || info.st_dev != device || info.st_ino != inode)
                return fnfErr; // what is at the path now is not the folder that was listed
            at = reopened.get();
        }
        *fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (*fd >= 0)
            return noErr;
        int error = errno;
        struct stat info;
        return openFailure(error, fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ? &info : nullptr);
    }

    // Writes the outputs of one entry, all or none.
    OSErr deliver(const Entry& entry, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo, FSRef* ref, FSSpec* fsSpec,
        HFSUniStr255* name)
    {
        Location location { folderID, listing.names.substr(entry.nameOffset, entry.nameLength) };
        struct stat info;
        const struct stat* known = nullptr;
        if ((whichInfo & kFSCatInfoDataSizes) && !entry.isDirectory) {
            std::string path = folderPath == "/" ? "/" + location.name : folderPath + "/" + location.name;
            int error = lstatPath(path, &info);
            if (error == ENOENT)
                return kEntryVanished;
            if (error)
                return errorFromErrno(error);
            known = &info;
        }
        FSCatalogInfo catalog {};
        if (catalogInfo) {
            catalog = *catalogInfo;
            if (OSErr status = fillCatalogInfo(whichInfo, location, entry.isDirectory, entry.inode, known, catalog))
                return status;
        }
        std::optional<FSRef> madeRef;
        std::optional<FSSpec> madeFSSpec;
        if ((ref && !(madeRef = encodeRef(location))) || (fsSpec && !(madeFSSpec = fsSpecOf(location))))
            return memFullErr;
        if (catalogInfo)
            *catalogInfo = catalog;
        if (ref)
            *ref = *madeRef;
        if (fsSpec)
            *fsSpec = *madeFSSpec;
        if (name)
            uniNameOf(location.name, *name);
        return noErr;
    }

    UInt32 folderID;
    UInt32 top; // the folder whose listing began the walk that reached this one
    std::string folderPath;
    Folder held; // the open folder; null past kMostHeldFolders
    dev_t device; // the folder's identity, to know it again when it is not held
    ino_t inode;
    Listing listing;
    size_t next { 0 };
    // Set by the List failure hook: the first fetch fails with it, and so does every later one.
    OSErr listFailure;
};

namespace {

// Opens the folder at location: from the folder whose live listing gave it, when one does,
// going on with that walk; else by its path with the last component not followed, starting a
// walk of its own. Returns the walk's top in *top.
OSErr openFolder(const Location& location, const std::string& path, int* fd, std::optional<UInt32>* top)
{
    if (!location.isRoot()) {
        std::lock_guard guard(registry().lock);
        auto found = registry().byFolder.find(location.parent);
        if (found != registry().byFolder.end()) {
            const OpaqueFSIterator* lister = found->second;
            *top = lister->top;
            return lister->openSubfolder(location.name, fd);
        }
    }
    *fd = openPath(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (*fd >= 0)
        return noErr;
    struct stat info;
    return openFailure(-*fd, lstatPath(path, &info) == 0 ? &info : nullptr);
}

} // namespace

OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator)
{
    if (!container || !iterator)
        return paramErr;
    if (iteratorFlags == kFSIterateSubtree)
        return errFSIteratorNotSupported;
    if (iteratorFlags != kFSIterateFlat)
        return errFSBadIteratorFlags;
    auto location = decodeRef(*container);
    auto path = location ? pathOf(*location) : std::nullopt;
    if (!path)
        return errFSBadFSRef;
    if (OSErr failure = failureFor(*path, StandIn::FolderFailurePoint::Open))
        return failure;
    int fd = -1;
    std::optional<UInt32> top;
    if (OSErr status = openFolder(*location, *path, &fd, &top))
        return status;
    Folder folder(fdopendir(fd));
    if (!folder) {
        int error = errno;
        close(fd);
        return errorFromErrno(error);
    }
    Listing listing;
    if (OSErr status = readListing(folder.get(), listing))
        return status;
    // Interned only once it is known to be a folder, so that the table holds folders.
    auto folderID = location->isRoot() ? std::optional<UInt32>(fsRtDirID) : intern(location->parent, location->name);
    if (!folderID)
        return memFullErr;
    // Held from here on, the iterator's to give back when it closes.
    struct stat identity { };
    if (gHeldFolders.fetch_add(1) >= kMostHeldFolders) {
        --gHeldFolders;
        if (fstat(dirfd(folder.get()), &identity) != 0)
            return errorFromErrno(errno);
        folder.reset();
    }
    {
        std::lock_guard guard(listingTops().lock);
        listingTops().topOf[*folderID] = top.value_or(*folderID);
    }
    OSErr listFailure = failureFor(*path, StandIn::FolderFailurePoint::List);
    *iterator = new OpaqueFSIterator(*folderID, top.value_or(*folderID), std::move(*path), std::move(folder), identity,
        std::move(listing), listFailure);
    return noErr;
}

std::optional<UInt32> fs_standin::listingTopOf(UInt32 folderID)
{
    std::lock_guard guard(listingTops().lock);
    auto found = listingTops().topOf.find(folderID);
    return found == listingTops().topOf.end() ? std::nullopt : std::optional<UInt32>(found->second);
}

OSErr fs_standin::takeEntryInfoFailure(const std::string& path)
{
    auto& all = hooks();
    size_t slash = path.rfind('/');
    if (!all.any.load(std::memory_order_relaxed) || slash == std::string::npos || path == "/")
        return noErr;
    std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    std::lock_guard guard(all.lock);
    auto found = all.failures.find({ folder, StandIn::FolderFailurePoint::EntryInfo });
    if (found == all.failures.end())
        return noErr;
    OSErr status = found->second;
    all.failures.erase(found);
    return status;
}

// The platform may say that a listing is over in the call that delivers its last entries.
bool gLastEntryEndsListing = false;

OSErr FSCloseIterator(FSIterator iterator)
{
    auto* live = OpaqueFSIterator::live(iterator);
    if (!live)
        return paramErr;
    CFRelease(live);
    return noErr;
}

OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount* actualObjects, Boolean* containerChanged,
    FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfos, FSRef* refs, FSSpec* fsSpecs, HFSUniStr255* names)
{
    if (!actualObjects || (whichInfo != kFSCatInfoNone && !catalogInfos))
        return paramErr;
    auto* live = OpaqueFSIterator::live(iterator);
    if (!live)
        return paramErr;
    if (maximumObjects < 1)
        return errFSBadItemCount;
    if (live->listFailure)
        return live->listFailure;

    auto& entries = live->listing.entries;
    ItemCount delivered = 0;
    while (delivered < maximumObjects && live->next < entries.size()) {
        OSErr status = live->deliver(entries[live->next], whichInfo, catalogInfos ? catalogInfos + delivered : nullptr,
            refs ? refs + delivered : nullptr, fsSpecs ? fsSpecs + delivered : nullptr, names ? names + delivered : nullptr);
        if (status == kEntryVanished) {
            ++live->next;
            continue;
        }
        if (status != noErr) {
            // Entries already delivered are returned first; the failure comes with the next call,
            // which moves past the entry so that a caller who goes on is not stuck on it.
            if (delivered == 0) {
                ++live->next;
                return status;
            }
            break;
        }
        ++live->next;
        ++delivered;
    }
    *actualObjects = delivered;
    if (containerChanged)
        *containerChanged = false;
    if (delivered && live->next >= entries.size() && gLastEntryEndsListing)
        return errFSNoMoreItems;
    return delivered ? OSErr(noErr) : OSErr(errFSNoMoreItems);
}

void StandIn::setLastEntryEndsListing(bool endsListing)
{
    gLastEntryEndsListing = endsListing;
}

void StandIn::setFolderFailure(const std::string& path, StandIn::FolderFailurePoint point, OSErr status)
{
    auto canonical = canonicalPath(path);
    auto& all = hooks();
    std::lock_guard guard(all.lock);
    all.failures[{ canonical.error ? path : canonical.path, point }] = status;
    all.any = true;
}

void StandIn::clearFolderFailures()
{
    auto& all = hooks();
    std::lock_guard guard(all.lock);
    all.failures.clear();
    all.any = false;
}
