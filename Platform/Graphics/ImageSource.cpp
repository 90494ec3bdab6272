#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFURL.h>
#include <Graphics/ImageDecodingStandIn.h>
#include <Graphics/ImageIO.h>

#include <CoreFoundation/CFStringPrivate.h>
#include <Graphics/ImageIOStandIn.h>

#include <climits>
#include <memory>
#include <new>

namespace {

bool gImageSourceAvailable = true;

CGImageSourceStatus statusFor(StandIn::Imaging::Result result)
{
    switch (result) {
    case StandIn::Imaging::Result::Ok: return kCGImageStatusComplete;
    case StandIn::Imaging::Result::UnknownFormat: return kCGImageStatusUnknownType;
    case StandIn::Imaging::Result::Truncated: return kCGImageStatusUnexpectedEOF;
    case StandIn::Imaging::Result::Invalid: break;
    }
    return kCGImageStatusInvalidData;
}

}

struct CGImage final : __CFRuntimeBase {
    explicit CGImage(std::shared_ptr<const StandIn::Imaging::Image> decoded)
        : __CFRuntimeBase(classTypeID())
        , pixels(std::move(decoded))
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CGImage");
        return typeID;
    }

    std::shared_ptr<const StandIn::Imaging::Image> pixels;
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
        StandIn::Imaging::Result result = StandIn::Imaging::checkStructure(bytes.data(), bytes.size());
        try {
            StandIn::Imaging::Image decoded;
            if (result == StandIn::Imaging::Result::Ok && (result = StandIn::Imaging::decode(bytes.data(), bytes.size(), &decoded)) == StandIn::Imaging::Result::Ok)
                image = std::make_shared<const StandIn::Imaging::Image>(std::move(decoded));
        } catch (const std::bad_alloc&) {
            result = StandIn::Imaging::Result::Invalid;
        }
        status = statusFor(result);
        bytes = {};
    }

    std::vector<uint8_t> bytes;
    bool loaded { false };
    CGImageSourceStatus status { kCGImageStatusReadingHeader };
    std::shared_ptr<const StandIn::Imaging::Image> image;
};

CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef)
{
    if (!url || CFGetTypeID(url) != CFURLGetTypeID())
        return nullptr;
    // The path as a string: a file deep in a tree can have a path longer than any fixed buffer.
    CFStringRef pathString = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    std::string path = StandIn::toUTF8(pathString);
    if (pathString)
        CFRelease(pathString);
    std::vector<uint8_t> bytes;
    if (path.empty() || StandIn::Imaging::readFile(path, StandIn::Imaging::kMaxImageFileSize, &bytes) != StandIn::Imaging::FileResult::Ok)
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

bool StandIn::imageSourceAvailable()
{
    return gImageSourceAvailable;
}

void StandIn::setImageSourceAvailable(bool available)
{
    gImageSourceAvailable = available;
}
