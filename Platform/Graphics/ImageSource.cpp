#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFURL.h>
#include <Graphics/ImageDecoding.h>
#include <Graphics/ImageIO.h>

#include <CoreFoundation/CFStringPrivate.h>

#include <climits>
#include <memory>
#include <new>

namespace {

bool gImageSourceAvailable = true;

CGImageSourceStatus statusFor(imaging::Result result)
{
    switch (result) {
    case imaging::Result::Ok: return kCGImageStatusComplete;
    case imaging::Result::UnknownFormat: return kCGImageStatusUnknownType;
    case imaging::Result::Truncated: return kCGImageStatusUnexpectedEOF;
    case imaging::Result::Invalid: break;
    }
    return kCGImageStatusInvalidData;
}

}

struct CGImage final : __CFRuntimeBase {
    explicit CGImage(std::shared_ptr<const imaging::Image> decoded)
        : __CFRuntimeBase(classTypeID())
        , pixels(std::move(decoded))
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CGImage");
        return typeID;
    }

    std::shared_ptr<const imaging::Image> pixels;
};

struct CGImageSource final : __CFRuntimeBase {
    explicit CGImageSource(std::vector<uint8_t> contents)
        : __CFRuntimeBase(classTypeID())
        , bytes(std::move(contents))
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CGImageSource");
        return typeID;
    }

    // The status says whether the image can be had, which only decoding it tells for certain;
    // the first question decodes it, and its pixels are kept for the images made from it.
    void load()
    {
        if (loaded)
            return;
        loaded = true;
        imaging::Result result = imaging::checkStructure(bytes.data(), bytes.size());
        try {
            imaging::Image decoded;
            if (result == imaging::Result::Ok && (result = imaging::decode(bytes.data(), bytes.size(), &decoded)) == imaging::Result::Ok)
                image = std::make_shared<const imaging::Image>(std::move(decoded));
        } catch (const std::bad_alloc&) {
            result = imaging::Result::Invalid;
        }
        status = statusFor(result);
        bytes = {};
    }

    std::vector<uint8_t> bytes;
    bool loaded { false };
    CGImageSourceStatus status { kCGImageStatusReadingHeader };
    std::shared_ptr<const imaging::Image> image;
};

CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef)
{
    if (!url || CFGetTypeID(url) != CFURLGetTypeID())
        return nullptr;
    // The path as a string: a file deep in a tree can have a path longer than any fixed buffer.
    CFStringRef pathString = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    std::string path = _CFStringToUTF8(pathString);
    if (pathString)
        CFRelease(pathString);
    std::vector<uint8_t> bytes;
    if (path.empty() || imaging::readFile(path, imaging::kMaxImageFileSize, &bytes) != imaging::FileResult::Ok)
        return nullptr;
    return new CGImageSource(std::move(bytes));
}

CGImageSourceStatus CGImageSourceGetStatus(CGImageSourceRef isrc)
{
    auto* source = _CFCast<CGImageSource>(isrc);
    if (!source)
        return kCGImageStatusInvalidData;
    source->load();
    return source->status;
}

CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef isrc, size_t index, CFDictionaryRef)
{
    auto* source = _CFCast<CGImageSource>(isrc);
    if (!source || index != 0)
        return nullptr;
    source->load();
    return source->image ? new CGImage(source->image) : nullptr;
}

size_t CGImageGetWidth(CGImageRef image)
{
    auto* object = _CFCast<CGImage>(image);
    return object ? static_cast<size_t>(object->pixels->width) : 0;
}

size_t CGImageGetHeight(CGImageRef image)
{
    auto* object = _CFCast<CGImage>(image);
    return object ? static_cast<size_t>(object->pixels->height) : 0;
}

void CGImageRelease(CGImageRef image)
{
    if (image)
        CFRelease(image);
}

Boolean _CGImageSourceIsAvailable(void)
{
    return gImageSourceAvailable;
}

void _CGImageSourceSetAvailable(Boolean available)
{
    gImageSourceAvailable = available;
}
