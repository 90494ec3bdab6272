#include "ImageImportManager.h"

#include <Graphics/ImageIOStandIn.h>

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
    FSIterateContainer(&directory, 0, kFSCatInfoNodeFlags, true, true, ImageImportManagerFilterProc, fsSpecs.get());
    // What an earlier manager's callers had made of a file goes when a key names another file;
    // while nothing has been made, there is nothing to look for.
    bool anythingMade = CFDictionaryGetCount(components) + CFDictionaryGetCount(icons) + CFDictionaryGetCount(images) > 0;
    std::vector<std::u16string> replacedKeys;
    fsSpecs->finishWalk(anythingMade ? &replacedKeys : nullptr);
    for (const std::u16string& key : replacedKeys)
        forgetObjectsOf(key);
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

void ImageImportManager::forgetObjectsOf(const std::u16string& key)
{
    CFStringRef string = CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar*>(key.data()),
        static_cast<CFIndex>(key.size()));
    if (!string)
        return;
    forgetValue<ComponentInstance>(components, string, closeImporter);
    forgetValue<IconRef>(icons, string, releaseIcon);
    forgetValue<CGImageRef>(images, string, CGImageRelease);
    CFRelease(string);
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
