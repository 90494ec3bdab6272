#include "tests/support/TestBundles.h"

CFBundleRef openBundleAt(const std::string& path)
{
    CFStringRef folder = CFStringCreateWithCString(kCFAllocatorDefault, path.c_str(), kCFStringEncodingUTF8);
    CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, folder, kCFURLPOSIXPathStyle, true);
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
    CFRelease(url);
    CFRelease(folder);
    return bundle;
}
