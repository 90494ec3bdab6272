// A plug-in bundle's Info.plist is read when the dialog loads the pane.
#include "fuzz/FuzzSupport.h"

#include <CoreFoundation/CoreFoundation.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string plist = fuzz::writeInput("Fuzz.bundle/Contents/Info.plist", data, size);
    std::string folder = fuzz::scratchFolder() + "/Fuzz.bundle";
    CFStringRef path = CFStringCreateWithCString(kCFAllocatorDefault, folder.c_str(), kCFStringEncodingUTF8);
    if (!path)
        return 0;
    CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path, kCFURLPOSIXPathStyle, true);
    CFRelease(path);
    if (!url)
        return 0;
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
    CFRelease(url);
    if (!bundle)
        return 0;
    // The pane's first use of its bundle: the localized title, which consults the Info.plist's
    // development region and localizations.
    CFStringRef text = CFBundleCopyLocalizedString(bundle, CFSTR(" Accounting"), nullptr, nullptr);
    if (text)
        CFRelease(text);
    CFRelease(bundle);
    return 0;
}
