#include "FSInternal.h"
#include "FilesPrivate.h"

#include <cstring>

using namespace fs_standin;

namespace {

Location parentOf(const Location& location)
{
    if (location.parent == fsRtDirID)
        return rootLocation();
    // A decoded location's parent is known, and ids are never forgotten.
    return locationOf(location.parent).value_or(rootLocation());
}

} // namespace

OSErr fs_standin::fillCatalogInfo(FSCatalogInfoBitmap whichInfo, const Location& location, bool isDirectory, UInt64 inode,
    const struct stat* info, FSCatalogInfo& catalogInfo)
{
    FSCatalogInfo filled = catalogInfo;
    if (whichInfo & kFSCatInfoNodeFlags)
        filled.nodeFlags = isDirectory ? kFSNodeIsDirectoryMask : 0;
    if (whichInfo & kFSCatInfoVolume)
        filled.volume = kVolume;
    if (whichInfo & kFSCatInfoParentDirID)
        filled.parentDirID = location.isRoot() ? static_cast<UInt32>(fsRtParID) : location.parent;
    if (whichInfo & kFSCatInfoNodeID) {
        auto id = nodeIDOf(location, isDirectory, inode);
        if (!id)
            return memFullErr;
        filled.nodeID = *id;
    }
    if (whichInfo & kFSCatInfoDataSizes) {
        bool hasData = !isDirectory && info;
        filled.dataLogicalSize = hasData ? static_cast<UInt64>(info->st_size) : 0;
        filled.dataPhysicalSize = hasData ? static_cast<UInt64>(info->st_blocks) * 512 : 0;
    }
    catalogInfo = filled;
    return noErr;
}

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory)
{
    if (!path || !ref)
        return paramErr;
    auto canonical = canonicalPath(reinterpret_cast<const char*>(path));
    if (canonical.error)
        return errorFromErrno(canonical.error);
    // Checked before interning, so that paths to nothing leave nothing in the table.
    struct stat info;
    if (int error = lstatPath(canonical.path, &info))
        return errorFromErrno(error);
    auto location = locationOfPath(canonical.path);
    if (!location)
        return bdNamErr;
    auto made = encodeRef(*location);
    if (!made)
        return memFullErr;
    *ref = *made;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 pathBufferSize)
{
    if (!ref || !path)
        return paramErr;
    std::string made;
    if (!_FSRefGetPath(ref, &made))
        return errFSBadFSRef;
    if (made.size() >= pathBufferSize)
        return errFSBadBuffer;
    memcpy(path, made.c_str(), made.size() + 1);
    return noErr;
}

OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef)
{
    if (!source || !newRef)
        return paramErr;
    auto resolution = resolveFSSpec(*source);
    if (!resolution.location)
        return resolution.status;
    auto path = pathOf(*resolution.location);
    if (!path)
        return dirNFErr;
    struct stat info;
    if (int error = lstatPath(*path, &info))
        return errorFromErrno(error);
    auto made = encodeRef(*resolution.location);
    if (!made)
        return memFullErr;
    *newRef = *made;
    return noErr;
}

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo, HFSUniStr255* outName,
    FSSpec* fsSpec, FSRef* parentRef)
{
    if (!ref || (whichInfo != kFSCatInfoNone && !catalogInfo))
        return paramErr;
    auto location = decodeRef(*ref);
    auto path = location ? pathOf(*location) : std::nullopt;
    if (!path)
        return errFSBadFSRef;
    // The reference names a path, which may have gone since it was made.
    if (OSErr failure = takeEntryInfoFailure(*path))
        return failure;
    struct stat info;
    if (int error = lstatPath(*path, &info))
        return errorFromErrno(error);

    FSCatalogInfo catalog {};
    if (catalogInfo) {
        catalog = *catalogInfo;
        if (OSErr status = fillCatalogInfo(whichInfo, *location, S_ISDIR(info.st_mode), info.st_ino, &info, catalog))
            return status;
    }
    std::optional<FSSpec> madeFSSpec;
    if (fsSpec && !(madeFSSpec = fsSpecOf(*location)))
        return memFullErr;
    // "/" has no parent: its parent reference is all zeros, which names nothing.
    std::optional<FSRef> parent;
    if (parentRef && !(parent = location->isRoot() ? std::optional<FSRef>(FSRef {}) : encodeRef(parentOf(*location))))
        return memFullErr;

    if (catalogInfo)
        *catalogInfo = catalog;
    if (outName)
        uniNameOf(location->isRoot() ? "/" : location->name, *outName);
    if (fsSpec)
        *fsSpec = *madeFSSpec;
    if (parentRef)
        *parentRef = *parent;
    return noErr;
}

bool _FSRefGetPath(const FSRef* ref, std::string* path)
{
    if (!ref || !path)
        return false;
    auto location = decodeRef(*ref);
    auto made = location ? pathOf(*location) : std::nullopt;
    if (!made)
        return false;
    *path = std::move(*made);
    return true;
}

bool _FSSpecGetPath(const FSSpec* fsSpec, std::string* path)
{
    if (!fsSpec || !path)
        return false;
    auto resolution = resolveFSSpec(*fsSpec);
    auto made = resolution.location ? pathOf(*resolution.location) : std::nullopt;
    if (!made)
        return false;
    *path = std::move(*made);
    return true;
}
