// The File Manager over POSIX: references to files and folders, catalog information, folder
// listings, and conversions between references, specs, paths and URLs.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef SInt16 FSVolumeRefNum;
typedef UInt32 FSCatalogInfoBitmap;
typedef UInt32 FSIteratorFlags;
typedef UInt32 ItemCount;
typedef struct OpaqueFSIterator* FSIterator;

// Names a file or folder. Plain bytes: it may be copied, compared with memcmp, or zero-filled
// (a zero-filled reference names nothing).
struct FSRef {
    UInt8 hidden[80];
};
typedef struct FSRef FSRef;

#pragma pack(push, 2)
// A file by volume, parent folder id and a Pascal name of at most 63 bytes of UTF-8. A longer
// name is stored shortened with a mark that FSpMakeFSRef resolves back to the full name.
struct FSSpec {
    FSVolumeRefNum vRefNum;
    SInt32 parID;
    Str63 name;
};
#pragma pack(pop)
typedef struct FSSpec FSSpec;

struct HFSUniStr255 {
    UInt16 length;
    UniChar unicode[255];
};
typedef struct HFSUniStr255 HFSUniStr255;

struct FSCatalogInfo {
    UInt16 nodeFlags;
    FSVolumeRefNum volume;
    UInt32 parentDirID;
    UInt32 nodeID;
    UInt64 dataLogicalSize;
    UInt64 dataPhysicalSize;
};
typedef struct FSCatalogInfo FSCatalogInfo;

enum {
    kFSCatInfoNone = 0x00000000,
    kFSCatInfoTextEncoding = 0x00000001,
    kFSCatInfoNodeFlags = 0x00000002,
    kFSCatInfoVolume = 0x00000004,
    kFSCatInfoParentDirID = 0x00000008,
    kFSCatInfoNodeID = 0x00000010,
    kFSCatInfoDataSizes = 0x00004000,
};

enum {
    kFSNodeIsDirectoryMask = 0x0010,
};

enum {
    kFSIterateFlat = 0,
    kFSIterateSubtree = 1,
};

enum {
    fsRtParID = 1,
    fsRtDirID = 2,
};

enum {
    ioErr = -36,
    bdNamErr = -37,
    dirNFErr = -120,
    errFSBadFSRef = -1401,
    errFSBadBuffer = -1404,
    errFSBadItemCount = -1406,
    errFSBadIteratorFlags = -1407,
    errFSIteratorNotSupported = -1410,
    errFSNoMoreItems = -1417,
    afpAccessDenied = -5000,
};

PLATFORM_EXTERN_C_BEGIN

// A path to an existing file or folder (symbolic links are not followed); fnfErr when absent.
PLATFORM_EXPORT OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
PLATFORM_EXPORT OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 pathBufferSize);
PLATFORM_EXPORT OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef);
PLATFORM_EXPORT OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
    HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef);

// Lists the direct entries of a folder (kFSIterateFlat only). Symbolic links are reported as
// files and never followed.
PLATFORM_EXPORT OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator);
PLATFORM_EXPORT OSErr FSCloseIterator(FSIterator iterator);
// Delivers up to maximumObjects entries; errFSNoMoreItems when the listing is exhausted, with
// or without entries delivered by the same call.
PLATFORM_EXPORT OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount* actualObjects,
    Boolean* containerChanged, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfos, FSRef* refs, FSSpec* specs,
    HFSUniStr255* names);

PLATFORM_EXPORT Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);
PLATFORM_EXPORT CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef);

PLATFORM_EXTERN_C_END
