#include <CoreFoundation/CFRuntime.h>
#include <Files/FilesPrivate.h>
#include <Graphics/Icons.h>
#include <Graphics/ImageDecodingStandIn.h>

#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

// Icon families of real applications stay well under a megabyte even with every size present.
constexpr size_t kMaxIconFamilySize = size_t { 16 } << 20;
constexpr size_t kHeaderSize = 8; // of the family and of each element: a type and a length

uint32_t bigEndian32(const UInt8* p)
{
    return uint32_t { p[0] } << 24 | uint32_t { p[1] } << 16 | uint32_t { p[2] } << 8 | p[3];
}

// 'icns', the length of the whole family, then elements that tile the rest exactly, each with
// a length that counts its own header.
bool isWellFormedIconFamily(const UInt8* data, size_t size)
{
    if (!data || size < kHeaderSize || size > kMaxIconFamilySize)
        return false;
    if (bigEndian32(data) != 'icns' || bigEndian32(data + 4) != size)
        return false;
    for (size_t offset = kHeaderSize; offset < size;) {
        if (size - offset < kHeaderSize)
            return false;
        uint32_t length = bigEndian32(data + offset + 4);
        if (length < kHeaderSize || length > size - offset)
            return false;
        offset += length;
    }
    return true;
}

}

struct OpaqueIconRef final : __CFRuntimeBase {
    explicit OpaqueIconRef(std::vector<UInt8> familyData)
        : __CFRuntimeBase(classTypeID())
        , family(std::move(familyData))
    {
        live().insert(this);
    }

    ~OpaqueIconRef() override { live().erase(this); }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("IconRef");
        return typeID;
    }

    // Icon references are plain pointers to their callers; a released one must not be looked into.
    static std::unordered_set<const OpaqueIconRef*>& live()
    {
        static std::unordered_set<const OpaqueIconRef*> icons;
        return icons;
    }

    std::vector<UInt8> family;
};

OSErr ReadIconFile(const FSSpec* iconFile, IconFamilyHandle* iconFamily)
{
    if (!iconFile || !iconFamily)
        return paramErr;
    std::string path;
    if (!_FSSpecGetPath(iconFile, &path))
        return fnfErr;
    std::vector<uint8_t> bytes;
    switch (StandIn::Imaging::readFile(path, kMaxIconFamilySize, &bytes)) {
    case StandIn::Imaging::FileResult::Ok: break;
    case StandIn::Imaging::FileResult::NotFound: return fnfErr;
    case StandIn::Imaging::FileResult::TooLarge: return invalidIconRefErr;
    case StandIn::Imaging::FileResult::Unreadable: return ioErr;
    }
    if (!isWellFormedIconFamily(bytes.data(), bytes.size()))
        return invalidIconRefErr;

    auto size = static_cast<Size>(bytes.size());
    Handle handle = reinterpret_cast<Handle>(*iconFamily);
    if (handle) {
        SetHandleSize(handle, size);
        if (OSErr error = MemError(); error != noErr)
            return error;
    } else if (!(handle = NewHandle(size))) {
        return MemError();
    }
    memcpy(*handle, bytes.data(), bytes.size());
    *iconFamily = reinterpret_cast<IconFamilyHandle>(handle);
    return noErr;
}

OSErr GetIconRefFromIconFamilyPtr(const IconFamilyResource* iconFamPtr, Size iconFamSize, IconRef* iconRef)
{
    if (!iconRef)
        return paramErr;
    *iconRef = nullptr;
    if (!iconFamPtr || iconFamSize < 0)
        return paramErr;
    const auto* data = reinterpret_cast<const UInt8*>(iconFamPtr);
    if (!isWellFormedIconFamily(data, static_cast<size_t>(iconFamSize)))
        return invalidIconRefErr;
    try {
        *iconRef = new OpaqueIconRef(std::vector<UInt8>(data, data + iconFamSize));
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
    return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef)
{
    if (!theIconRef)
        return paramErr;
    if (!OpaqueIconRef::live().count(theIconRef))
        return invalidIconRefErr;
    CFRelease(theIconRef);
    return noErr;
}
