#include "FSInternal.h"
#include "FilesStandIn.h"

#include <CoreFoundation/CFRuntime.h>

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <unordered_set>
#include <vector>

using namespace fs_standin;

namespace {

// Iterators handed out and not yet closed: a handle is used only once found here, so a stale
// or made-up one is refused instead of followed.
struct IteratorRegistry {
    std::mutex lock;
    std::unordered_set<const void*> live;
};

IteratorRegistry& registry()
{
    static auto* instance = new IteratorRegistry;
    return *instance;
}

struct FailureHooks {
    std::mutex lock;
    std::map<std::pair<std::string, FSFailurePoint>, OSErr> failures;
    // Checked without the lock on every open, so that a walk pays nothing when no test set one.
    std::atomic<bool> any { false };
};

FailureHooks& hooks()
{
    static auto* instance = new FailureHooks;
    return *instance;
}

OSErr failureFor(const std::string& path, FSFailurePoint point)
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

// The whole listing is read when the iterator opens and the folder closed at once: a walk keeps
// an iterator open at every level it descends, and a deep tree would run out of descriptors.
struct Listing {
    std::string names; // every name, one after another
    std::vector<Entry> entries;
};

// Reads the folder's entries (never "." or ".."), their kind from d_type, and from lstat only
// where the file system does not say.
OSErr readListing(const std::string& path, Listing& listing)
{
    int fd = openPath(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) {
        int error = -fd;
        // A file, or a symbolic link (never followed): not a folder. ENOTDIR may also mean that
        // a folder on the way is missing, which lstat tells apart.
        struct stat info;
        if ((error == ENOTDIR || error == ELOOP) && lstatPath(path, &info) == 0 && !S_ISDIR(info.st_mode))
            return dirNFErr;
        return errorFromErrno(error);
    }
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
    if (!dir) {
        int error = errno;
        close(fd);
        return errorFromErrno(error);
    }
    while (true) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
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
            if (fstatat(dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
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

// An entry removed between the listing and its delivery: skipped, as if listed a moment later.
constexpr OSErr kEntryVanished = 1;

} // namespace

struct OpaqueFSIterator final : __CFRuntimeBase {
    OpaqueFSIterator(UInt32 folder, std::string path, Listing read, OSErr failure)
        : __CFRuntimeBase(classTypeID())
        , folderID(folder)
        , folderPath(std::move(path))
        , listing(std::move(read))
        , listFailure(failure)
    {
        std::lock_guard guard(registry().lock);
        registry().live.insert(this);
    }

    ~OpaqueFSIterator() override
    {
        std::lock_guard guard(registry().lock);
        registry().live.erase(this);
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("FSIterator");
        return typeID;
    }

    static OpaqueFSIterator* live(FSIterator handle)
    {
        std::lock_guard guard(registry().lock);
        return registry().live.count(handle) ? handle : nullptr;
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
            *name = uniNameOf(location.name);
        return noErr;
    }

    UInt32 folderID;
    std::string folderPath;
    Listing listing;
    size_t next { 0 };
    // Set by the List failure hook: the first fetch fails with it, and so does every later one.
    OSErr listFailure;
};

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
    if (OSErr failure = failureFor(*path, FSFailurePoint::Open))
        return failure;
    Listing listing;
    if (OSErr status = readListing(*path, listing))
        return status;
    // Interned only once it is known to be a folder, so that the table holds folders.
    auto folderID = location->isRoot() ? std::optional<UInt32>(fsRtDirID) : intern(location->parent, location->name);
    if (!folderID)
        return memFullErr;
    OSErr listFailure = failureFor(*path, FSFailurePoint::List);
    *iterator = new OpaqueFSIterator(*folderID, std::move(*path), std::move(listing), listFailure);
    return noErr;
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

void FSSetLastEntryEndsListing(bool endsListing)
{
    gLastEntryEndsListing = endsListing;
}

void FSSetFolderFailure(const std::string& path, FSFailurePoint point, OSErr status)
{
    auto canonical = canonicalPath(path);
    auto& all = hooks();
    std::lock_guard guard(all.lock);
    all.failures[{ canonical.error ? path : canonical.path, point }] = status;
    all.any = true;
}

void FSClearFolderFailures()
{
    auto& all = hooks();
    std::lock_guard guard(all.lock);
    all.failures.clear();
    all.any = false;
}
