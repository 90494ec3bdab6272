#include <CoreFoundation/CFStringPrivate.h>
#include <CoreFoundation/CFURL.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// A URL made from a relative path keeps meaning the same file after the current directory
// changes only if it is resolved at once; the stand-in has no base URLs to defer it to.
std::optional<std::string> absolutePath(std::string_view path)
{
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string joined;
    if (path.front() != '/') {
        std::vector<char> buffer(4096);
        if (!getcwd(buffer.data(), buffer.size()))
            return std::nullopt;
        joined = buffer.data();
        joined += '/';
    }
    joined += path;

    // Equal files should give equal URLs however the path was spelled: no doubled slashes, no
    // "." components and no trailing slash. ".." is kept, since it means something else after
    // a symbolic link.
    std::string normalized;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        std::string_view component(joined.data() + start, end - start);
        if (!component.empty() && component != ".") {
            normalized += '/';
            normalized += component;
        }
        start = end + 1;
    }
    // push_back rather than assigning "/": GCC 12 at -O3 misreads the assignment's inlined
    // replace() as an overlapping copy (a -Wrestrict false positive).
    if (normalized.empty())
        normalized.push_back('/');
    return normalized;
}

}

struct __CFURL final : __CFRuntimeBase {
    __CFURL(std::string absolute, bool directory)
        : __CFRuntimeBase(classTypeID())
        , path(std::move(absolute))
        , isDirectory(directory)
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CFURL");
        return typeID;
    }

    bool equals(const __CFRuntimeBase& other) const override { return path == static_cast<const __CFURL&>(other).path; }
    CFHashCode hash() const override { return std::hash<std::string> {}(path); }
    std::string describe() const override { return "file://" + path + (isDirectory && path != "/" ? "/" : ""); }

    std::string path;
    bool isDirectory;
};

namespace {

CFURLRef createURL(std::string_view path, bool isDirectory)
{
    auto absolute = absolutePath(path);
    if (!absolute)
        return nullptr;
    return new __CFURL(std::move(*absolute), isDirectory);
}

}

CFTypeID CFURLGetTypeID(void)
{
    return __CFURL::classTypeID();
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle, Boolean isDirectory)
{
    auto* string = _CFCast<__CFString>(filePath);
    if (!string || pathStyle != kCFURLPOSIXPathStyle)
        return nullptr;
    // A lone surrogate has no file-system form; refusing it beats naming another file.
    auto bytes = _CFEncode(string->units, kCFStringEncodingUTF8);
    return bytes ? createURL(*bytes, isDirectory) : nullptr;
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer, CFIndex bufLen, Boolean isDirectory)
{
    if (!buffer || bufLen <= 0)
        return nullptr;
    std::string_view bytes(reinterpret_cast<const char*>(buffer), static_cast<size_t>(bufLen));
    bytes = bytes.substr(0, bytes.find('\0'));
    // Paths are text here (CFURLCopyFileSystemPath must give a string), so only UTF-8 names.
    if (!_CFDecode(bytes, kCFStringEncodingUTF8))
        return nullptr;
    return createURL(bytes, isDirectory);
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle)
{
    auto* url = _CFCast<__CFURL>(anURL);
    if (!url || pathStyle != kCFURLPOSIXPathStyle)
        return nullptr;
    return StandIn::createString(url->path);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef anURL, Boolean, UInt8* buffer, CFIndex maxBufLen)
{
    auto* url = _CFCast<__CFURL>(anURL);
    if (!url || !buffer || maxBufLen <= 0 || url->path.size() >= static_cast<size_t>(maxBufLen))
        return false;
    std::copy(url->path.begin(), url->path.end(), buffer);
    buffer[url->path.size()] = 0;
    return true;
}
