// The pane's pictures (GIF, PNG) are read from the bundle through both image paths: the
// graphics importer drawing into a window's port, and the image source.
#include "fuzz/FuzzSupport.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Files/Files.h>
#include <Graphics/ImageCompression.h>
#include <Graphics/ImageIO.h>
#include <Graphics/QuickDraw.h>
#include <HIToolbox/MacWindows.h>

namespace {

void throughImporter(const std::string& path)
{
    FSRef ref;
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr) != noErr)
        return;
    FSSpec spec;
    if (FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr) != noErr)
        return;
    ComponentInstance importer = nullptr;
    if (GetGraphicsImporterForFileWithFlags(&spec, &importer, kDontUseValidateToFindGraphicsImporter) != noErr || !importer)
        return;
    // A small window, so that a huge image's draw is scaled down rather than filling memory.
    Rect content = { 0, 0, 32, 48 };
    WindowRef window = nullptr;
    if (CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &window) == noErr && window) {
        if (GraphicsImportSetGWorld(importer, GetWindowPort(window), nullptr) == noErr) {
            Rect natural {};
            GraphicsImportGetNaturalBounds(importer, &natural);
            Rect dest = { 2, 3, 30, 45 };
            GraphicsImportSetDestRect(importer, &dest);
            GraphicsImportDraw(importer);
        }
        DisposeWindow(window);
    }
    CloseComponent(importer);
}

void throughImageSource(const std::string& path)
{
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.c_str()),
        static_cast<CFIndex>(path.size()), false);
    if (!url)
        return;
    CGImageSourceRef source = CGImageSourceCreateWithURL(url, nullptr);
    CFRelease(url);
    if (!source)
        return;
    if (CGImageSourceGetStatus(source) == kCGImageStatusComplete) {
        CGImageRef image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
        if (image) {
            (void)CGImageGetWidth(image);
            (void)CGImageGetHeight(image);
            CGImageRelease(image);
        }
    }
    CFRelease(source);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::writeInput("picture", data, size);
    throughImporter(path);
    throughImageSource(path);
    return 0;
}
