#include "Source/ImageImportManager.h"

#include <Graphics/ImageIOStandIn.h>

#include <cstring>
#include <optional>
#include <vector>

std::unique_ptr<ImageFileIndex> ImageImportManager::fsSpecs;
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

// A key that something was made for, retained, and the file it named then.
struct CachedKey {
    CFStringRef key;
    std::optional<FSSpec> file;
};

void appendCachedKeys(CFDictionaryRef table, ImageFileIndex& index, std::vector<CachedKey>& cached)
{
    std::vector<const void*> keys(static_cast<size_t>(CFDictionaryGetCount(table)));
    CFDictionaryGetKeysAndValues(table, keys.data(), nullptr);
    for (const void* key : keys)
        cached.push_back({ static_cast<CFStringRef>(CFRetain(key)), index.find(static_cast<CFStringRef>(key)) });
}

void closeImporter(ComponentInstance importer)
{
    CloseComponent(importer);
}

void releaseIcon(IconRef icon)
{
    ReleaseIconRef(icon);
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
        fsSpecs = std::make_unique<ImageFileIndex>();
        components = createTable();
        icons = createTable();
        images = createTable();
    }
    // This walk may give a key that an earlier manager's callers asked for another file; what
    // was made of the file it named goes then.
    std::vector<CachedKey> cached;
    for (CFDictionaryRef table : { components, icons, images })
        appendCachedKeys(table, *fsSpecs, cached);
    fsSpecs->startWalk();
    FSIterateContainer(&directory, 0, kFSCatInfoNodeFlags, true, true, ImageImportManagerFilterProc, fsSpecs.get());
    for (const CachedKey& key : cached) {
        std::optional<FSSpec> now = fsSpecs->find(key.key);
        if (now.has_value() != key.file.has_value() || (now && !isSameFile(*now, *key.file)))
            forgetObjectsOf(key.key);
        CFRelease(key.key);
    }
}

ImageImportManager::~ImageImportManager()
{
    if (--liveManagers > 0)
        return;
    emptyTable<ComponentInstance>(components, closeImporter);
    emptyTable<IconRef>(icons, releaseIcon);
    emptyTable<CGImageRef>(images, CGImageRelease);
    fsSpecs.reset();
}

Boolean ImageImportManager::ImageImportManagerFilterProc(Boolean, ItemCount currentLevel, const FSCatalogInfo* catalogInfo,
    const FSRef* ref, const FSSpec* spec, const HFSUniStr255* name, void* inUserData)
{
    auto* index = static_cast<ImageFileIndex*>(inUserData);
    if (!spec || !name)
        return false;
    // A folder is no key; its name is kept for the keys of the files in it, which come next.
    if (catalogInfo->nodeFlags & kFSNodeIsDirectoryMask) {
        index->addFolder(currentLevel, *name);
        return false;
    }
    index->addFile(currentLevel, *ref, *spec, *name);
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
    std::optional<FSSpec> spec = fsSpecs->find(inFilename);
    if (!spec)
        return nullptr;
    ComponentInstance importer = nullptr;
    GetGraphicsImporterForFileWithFlags(&*spec, &importer, kDontUseValidateToFindGraphicsImporter);
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
    std::optional<FSSpec> spec = fsSpecs->find(inFilename);
    if (!spec)
        return nullptr;
    IconRef icon = nullptr;
    auto iconFamily = reinterpret_cast<IconFamilyHandle>(NewHandle(0));
    ReadIconFile(&*spec, &iconFamily);
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
    std::optional<FSSpec> spec = fsSpecs->find(inFilename);
    if (!spec)
        return nullptr;
    CGImageRef image = nullptr;
    // The image-source service is bound weakly: without it there is no image.
    if (StandIn::imageSourceAvailable()) {
        FSRef fileRef;
        CFURLRef url = FSpMakeFSRef(&*spec, &fileRef) == noErr ? CFURLCreateFromFSRef(kCFAllocatorDefault, &fileRef) : nullptr;
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
