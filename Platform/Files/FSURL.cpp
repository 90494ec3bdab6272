#include "FSInternal.h"
#include "FilesPrivate.h"

#include <climits>
#include <vector>

using namespace fs_standin;

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef)
{
    if (!url || !fsRef || CFGetTypeID(url) != CFURLGetTypeID())
        return false;
    // The URL tells its path only into a buffer large enough, and paths have no fixed limit
    // here; the cap only stops a runaway.
    constexpr size_t kLongestPath = size_t(64) << 20;
    std::vector<UInt8> path(PATH_MAX);
    while (!CFURLGetFileSystemRepresentation(url, true, path.data(), static_cast<CFIndex>(path.size()))) {
        if (path.size() >= kLongestPath)
            return false;
        path.resize(path.size() * 8);
    }
    FSRef made;
    if (FSPathMakeRef(path.data(), &made, nullptr) != noErr)
        return false;
    *fsRef = made;
    return true;
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef)
{
    std::string path;
    if (!_FSRefGetPath(fsRef, &path))
        return nullptr;
    // Folders get a directory URL; a reference to something that has gone gets none.
    struct stat info;
    if (lstatPath(path, &info) != 0)
        return nullptr;
    return CFURLCreateFromFileSystemRepresentation(allocator, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), S_ISDIR(info.st_mode));
}
