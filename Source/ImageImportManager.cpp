#include "ImageImportManager.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <Graphics/ImageIOStandIn.h>

CFMutableDictionaryRef ImageImportManager::fsSpecs = nullptr;
CFMutableDictionaryRef ImageImportManager::components = nullptr;
CFMutableDictionaryRef ImageImportManager::icons = nullptr;
CFMutableDictionaryRef ImageImportManager::images = nullptr;
int ImageImportManager::liveManagers = 0;

namespace {

CFMutableDictionaryRef createTable()
{
    // No value callbacks: the manager owns what the tables hold and frees it itself.
    return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, nullptr);
}

// Calls dispose on every value of the table, then releases the table.
template<typename Value>
void emptyTable(CFMutableDictionaryRef& table, void (*dispose)(Value))
{
    CFIndex count = CFDictionaryGetCount(table);
    std::vector<const void*> values(count);
    CFDictionaryGetKeysAndValues(table, nullptr, values.data());
    for (const void* value : values) {
        if (value)
            dispose(static_cast<Value>(const_cast<void*>(value)));
    }
    CFRelease(table);
    table = nullptr;
}

bool isSameFile(const FSSpec& one, const FSSpec& other)
{
    return one.vRefNum == other.vRefNum && one.parID == other.parID && memcmp(one.name, other.name, one.name[0] + 1u) == 0;
}

enum class KeyFile {
    unchanged, // the key is new, or named this very file already
    changed, // the key named another file until now
};

KeyFile storeSpec(CFMutableDictionaryRef table, CFStringRef key, const FSSpec* spec)
{
    if (!key)
        return KeyFile::unchanged;
    auto* copy = static_cast<FSSpec*>(malloc(sizeof(FSSpec)));
    if (!copy)
        return KeyFile::unchanged;
    *copy = *spec;
    // Nearly every key is new: add it with one lookup, and only for a key already there look
    // up the copy it replaces.
    CFIndex before = CFDictionaryGetCount(table);
    CFDictionaryAddValue(table, key, copy);
    if (CFDictionaryGetCount(table) > before)
        return KeyFile::unchanged;
    auto* earlier = static_cast<FSSpec*>(const_cast<void*>(CFDictionaryGetValue(table, key)));
    KeyFile result = isSameFile(*earlier, *spec) ? KeyFile::unchanged : KeyFile::changed;
    CFDictionarySetValue(table, key, copy);
    free(earlier);
    return result;
}

// The folder part of the keys, "name/", of the last folder whose files the manager's own walk
// indexed: a walk gives the files of one folder one after another, so the folder is looked up
// once for all of them. It belongs to one walk, and a lookup that failed is not kept, so that one
// file gone from under the walk costs its siblings nothing.
struct FolderPrefix {
    CFMutableDictionaryRef table { nullptr }; // the table that the walk fills
    bool known { false };
    FSVolumeRefNum vRefNum { 0 };
    SInt32 parID { 0 };
    std::u16string prefix;
};

FolderPrefix* gWalkPrefix = nullptr;

// Appends the folder's name and a slash to key; just the slash when the folder cannot be looked up.
void appendFolderPrefix(std::u16string& key, const FSRef* ref, const FSSpec* spec, FolderPrefix* remembered)
{
    if (remembered && remembered->known && remembered->vRefNum == spec->vRefNum && remembered->parID == spec->parID) {
        key += remembered->prefix;
        return;
    }
    FSRef parentRef = {};
    HFSUniStr255 parentName = {};
    bool found = FSGetParentRef(ref, &parentRef) == noErr && FSGetFileDirName(&parentRef, &parentName) == noErr;
    size_t start = key.size();
    key.append(reinterpret_cast<const char16_t*>(parentName.unicode), parentName.length);
    key += u'/';
    if (remembered) {
        remembered->known = found;
        remembered->vRefNum = spec->vRefNum;
        remembered->parID = spec->parID;
        remembered->prefix.assign(key, start);
    }
}

const FSSpec* indexedSpec(CFMutableDictionaryRef table, CFStringRef key)
{
    return static_cast<const FSSpec*>(CFDictionaryGetValue(table, key));
}

void closeImporter(ComponentInstance importer)
{
    CloseComponent(importer);
}

void releaseIcon(IconRef icon)
{
    ReleaseIconRef(icon);
}

void freeSpec(FSSpec* spec)
{
    free(spec);
}

// Calls dispose on the value under key, if there is one, and removes the key.
template<typename Value>
void forgetValue(CFMutableDictionaryRef table, CFStringRef key, void (*dispose)(Value))
{
    const void* value = nullptr;
    if (!CFDictionaryGetValueIfPresent(table, key, &value))
        return;
    if (value)
        dispose(static_cast<Value>(const_cast<void*>(value)));
    CFDictionaryRemoveValue(table, key);
}

}

ImageImportManager::ImageImportManager(FSRef directory)
{
    if (liveManagers++ == 0) {
        fsSpecs = createTable();
        components = createTable();
        icons = createTable();
        images = createTable();
    }
    FolderPrefix walkPrefix;
    walkPrefix.table = fsSpecs;
    gWalkPrefix = &walkPrefix;
    FSIterateContainer(&directory, 0, kFSCatInfoNodeFlags, true, true, ImageImportManagerFilterProc, fsSpecs);
    gWalkPrefix = nullptr;
}

ImageImportManager::~ImageImportManager()
{
    if (--liveManagers > 0)
        return;
    emptyTable<ComponentInstance>(components, closeImporter);
    emptyTable<IconRef>(icons, releaseIcon);
    emptyTable<CGImageRef>(images, CGImageRelease);
    emptyTable<FSSpec*>(fsSpecs, freeSpec);
}

Boolean ImageImportManager::ImageImportManagerFilterProc(Boolean, ItemCount, const FSCatalogInfo* catalogInfo, const FSRef* ref,
    const FSSpec* spec, const HFSUniStr255* name, void* inUserData)
{
    if (catalogInfo->nodeFlags & kFSNodeIsDirectoryMask)
        return false;
    auto table = static_cast<CFMutableDictionaryRef>(inUserData);
    CFStringRef plainKey = CFStringCreateWithCharacters(kCFAllocatorDefault, name->unicode, name->length);
    FolderPrefix* remembered = gWalkPrefix && gWalkPrefix->table == table ? gWalkPrefix : nullptr;
    // Room for any folder name, so that the key is made in one allocation.
    std::u16string qualified;
    qualified.reserve(std::size(name->unicode) + 1 + name->length);
    appendFolderPrefix(qualified, ref, spec, remembered);
    qualified.append(reinterpret_cast<const char16_t*>(name->unicode), name->length);
    CFStringRef qualifiedKey = CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar*>(qualified.data()),
        static_cast<CFIndex>(qualified.size()));

    for (CFStringRef key : { plainKey, qualifiedKey }) {
        // Only the cache's own table has objects made of its files.
        if (storeSpec(table, key, spec) == KeyFile::changed && table == fsSpecs)
            forgetObjectsOf(key);
    }
    for (CFStringRef made : { qualifiedKey, plainKey }) {
        if (made)
            CFRelease(made);
    }
    return false;
}

void ImageImportManager::forgetObjectsOf(CFStringRef key)
{
    forgetValue<ComponentInstance>(components, key, closeImporter);
    forgetValue<IconRef>(icons, key, releaseIcon);
    forgetValue<CGImageRef>(images, key, CGImageRelease);
}

ComponentInstance ImageImportManager::componentForFilename(CFStringRef inFilename)
{
    if (!inFilename || !components || !fsSpecs)
        return nullptr;
    const void* cached = nullptr;
    if (CFDictionaryGetValueIfPresent(components, inFilename, &cached))
        return static_cast<ComponentInstance>(const_cast<void*>(cached));
    const FSSpec* spec = indexedSpec(fsSpecs, inFilename);
    if (!spec)
        return nullptr;
    ComponentInstance importer = nullptr;
    GetGraphicsImporterForFileWithFlags(spec, &importer, kDontUseValidateToFindGraphicsImporter);
    CFDictionarySetValue(components, inFilename, importer);
    return importer;
}

IconRef ImageImportManager::iconForFilename(CFStringRef inFilename)
{
    if (!inFilename || !icons || !fsSpecs)
        return nullptr;
    const void* cached = nullptr;
    if (CFDictionaryGetValueIfPresent(icons, inFilename, &cached))
        return static_cast<IconRef>(const_cast<void*>(cached));
    const FSSpec* spec = indexedSpec(fsSpecs, inFilename);
    if (!spec)
        return nullptr;
    IconRef icon = nullptr;
    auto iconFamily = reinterpret_cast<IconFamilyHandle>(NewHandle(0));
    ReadIconFile(spec, &iconFamily);
    if (iconFamily) {
        HLock(reinterpret_cast<Handle>(iconFamily));
        GetIconRefFromIconFamilyPtr(*iconFamily, GetHandleSize(reinterpret_cast<Handle>(iconFamily)), &icon);
        HUnlock(reinterpret_cast<Handle>(iconFamily));
        DisposeHandle(reinterpret_cast<Handle>(iconFamily));
    }
    CFDictionarySetValue(icons, inFilename, icon);
    return icon;
}

CGImageRef ImageImportManager::imageForFilename(CFStringRef inFilename)
{
    if (!inFilename || !images || !fsSpecs)
        return nullptr;
    const void* cached = nullptr;
    if (CFDictionaryGetValueIfPresent(images, inFilename, &cached))
        return static_cast<CGImageRef>(const_cast<void*>(cached));
    const FSSpec* spec = indexedSpec(fsSpecs, inFilename);
    if (!spec)
        return nullptr;
    CGImageRef image = nullptr;
    // The image-source service is bound weakly: without it there is no image.
    if (StandIn::imageSourceAvailable()) {
        FSRef fileRef;
        CFURLRef url = FSpMakeFSRef(spec, &fileRef) == noErr ? CFURLCreateFromFSRef(kCFAllocatorDefault, &fileRef) : nullptr;
        CGImageSourceRef source = url ? CGImageSourceCreateWithURL(url, nullptr) : nullptr;
        if (source && CGImageSourceGetStatus(source) == kCGImageStatusComplete)
            image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
        if (source)
            CFRelease(source);
        if (url)
            CFRelease(url);
    }
    CFDictionarySetValue(images, inFilename, image);
    return image;
}
