// The cache of image files: a folder walked once and indexed by file name, and the importers,
// icons and images made from those files on first request and kept until the last manager
// goes.
#pragma once

#include "Source/FSUtilities.h"
#include "Source/ImageFileIndex.h"

#include <Graphics/Icons.h>
#include <Graphics/ImageCompression.h>
#include <Graphics/ImageIO.h>

#include <memory>

class ImageImportManager {
public:
    // Indexes every file under directory, at any depth, by its name and by its folder's name,
    // a slash and its name. The tables are shared by every live manager: a second manager adds
    // its folder's files to them, a file of its folder taking the place of an earlier one
    // under the same key, together with what the cache made of the earlier file (which is
    // closed or released then); the tables go with the last manager.
    explicit ImageImportManager(FSRef directory);
    ~ImageImportManager();

    ImageImportManager(const ImageImportManager&) = delete;
    ImageImportManager& operator=(const ImageImportManager&) = delete;

    // What these return stays the cache's: valid until the last manager goes or a later
    // manager gives its key another file, never closed or released by the caller. None for a
    // key that names no indexed file, or whose object could not be made (that failure is
    // remembered).
    static ComponentInstance componentForFilename(CFStringRef inFilename);
    static IconRef iconForFilename(CFStringRef inFilename);
    static CGImageRef imageForFilename(CFStringRef inFilename);

    // The walk's filter: indexes each file into the ImageFileIndex that inUserData points at.
    static Boolean ImageImportManagerFilterProc(Boolean containerChanged, ItemCount currentLevel, const FSCatalogInfo* catalogInfo,
        const FSRef* ref, const FSSpec* spec, const HFSUniStr255* name, void* inUserData);

private:
    // Closes or releases what was made of the file that key named, and forgets it.
    static void forgetObjectsOf(CFStringRef key);

    static std::unique_ptr<ImageFileIndex> fsSpecs;
    static CFMutableDictionaryRef components;
    static CFMutableDictionaryRef icons;
    static CFMutableDictionaryRef images;
    static int liveManagers;
};
