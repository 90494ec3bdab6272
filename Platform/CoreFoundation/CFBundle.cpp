// Bundles: the folder, its registry by identifier, its resources and localized strings.
#include <CoreFoundation/CFBundlePrivate.h>

#include <CoreFoundation/CFPreferredLanguagesStandIn.h>
#include <CoreFoundation/CFStringPrivate.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

// A resources folder with more entries than this is not scanned further for localizations.
constexpr size_t kMaximumResourceEntries = 10'000;

using CFHolder = StandIn::CFHolder<>;

class BundleRegistry {
public:
    void add(const std::string& identifier, __CFBundle* bundle)
    {
        std::lock_guard guard(m_lock);
        m_bundles[identifier].push_back(bundle);
    }

    void remove(const std::string& identifier, __CFBundle* bundle)
    {
        std::lock_guard guard(m_lock);
        auto found = m_bundles.find(identifier);
        if (found == m_bundles.end())
            return;
        auto& list = found->second;
        list.erase(std::remove(list.begin(), list.end(), bundle), list.end());
        if (list.empty())
            m_bundles.erase(found);
    }

    // The newest live bundle for which accept is true, among the newest of each identifier.
    template<typename Predicate>
    __CFBundle* findIf(Predicate accept)
    {
        std::lock_guard guard(m_lock);
        for (auto& [identifier, list] : m_bundles) {
            if (!list.empty() && accept(list.back()))
                return list.back();
        }
        return nullptr;
    }

    // The newest live bundle with the identifier: a bundle opened again (a newer copy of the
    // same plug-in, say) shadows the older one until it is released.
    __CFBundle* find(const std::string& identifier)
    {
        std::lock_guard guard(m_lock);
        auto found = m_bundles.find(identifier);
        return found == m_bundles.end() ? nullptr : found->second.back();
    }

private:
    std::mutex m_lock;
    std::unordered_map<std::string, std::vector<__CFBundle*>> m_bundles;
};

BundleRegistry& registry()
{
    static BundleRegistry instance;
    return instance;
}

}

bool _CFBundlePathExists(const std::string& path, bool* isDirectory)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return false;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return true;
}

CFURLRef _CFBundleCreateURL(const std::string& path, bool isDirectory)
{
    return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), isDirectory);
}

std::optional<std::string> _CFBundleUTF8(CFTypeRef value)
{
    auto* string = _CFCast<__CFString>(value);
    if (!string)
        return std::nullopt;
    return _CFEncode(string->units, kCFStringEncodingUTF8);
}

__CFBundle::__CFBundle(std::string folder, std::string contents, CFHolder information)
    : __CFRuntimeBase(classTypeID())
    , path(std::move(folder))
    , contentsPath(contents)
    , resourcesPath(std::move(contents) + "/Resources")
    , info(static_cast<CFDictionaryRef>(information.release()))
{
    if (auto region = _CFBundleUTF8(CFDictionaryGetValue(info, CFSTR("CFBundleDevelopmentRegion"))))
        developmentRegion = *region;
    if (auto given = _CFBundleUTF8(CFDictionaryGetValue(info, CFSTR("CFBundleIdentifier"))); given && !given->empty()) {
        identifier = *given;
        registry().add(identifier, this);
    }
}

__CFBundle::~__CFBundle()
{
    if (!identifier.empty())
        registry().remove(identifier, this);
    _CFBundleUnloadExecutable(*this);
    CFRelease(info);
}

CFTypeID __CFBundle::classTypeID()
{
    static const CFTypeID typeID = _CFRuntimeRegisterClass("CFBundle");
    return typeID;
}

std::vector<std::string> __CFBundle::localizations() const
{
    std::vector<std::string> available;
    if (DIR* folder = opendir(resourcesPath.c_str())) {
        size_t seen = 0;
        while (dirent* entry = readdir(folder)) {
            if (++seen > kMaximumResourceEntries)
                break;
            std::string_view name = entry->d_name;
            bool isDirectory = false;
            if (name.size() > 6 && name.ends_with(".lproj") && _CFBundlePathExists(resourcesPath + "/" + std::string(name), &isDirectory)
                && isDirectory)
                available.emplace_back(name.substr(0, name.size() - 6));
        }
        closedir(folder);
    }
    std::sort(available.begin(), available.end());
    return StandIn::preferredLocalizations(available, developmentRegion);
}

std::string __CFBundle::folderOf(const std::string& localization) const
{
    return localization.empty() ? resourcesPath : resourcesPath + "/" + localization + ".lproj";
}

const StandIn::StringsTable* __CFBundle::table(const std::string& name, const std::string& localization)
{
    std::lock_guard guard(tablesLock);
    auto key = std::make_pair(name, localization);
    auto cached = tables.find(key);
    if (cached == tables.end()) {
        std::string file = folderOf(localization) + "/" + name + ".strings";
        StandIn::StringsFileError error;
        auto parsed = _CFReadStringsFile(file, &error);
        // A translator's mistake would otherwise show only as untranslated text.
        if (!parsed && _CFBundlePathExists(file))
            fprintf(stderr, "CFBundle: %s:%zu: %s; the table is ignored\n", file.c_str(), error.line, error.message.c_str());
        cached = tables.emplace(std::move(key), std::move(parsed)).first;
    }
    return cached->second ? &*cached->second : nullptr;
}

CFTypeID CFBundleGetTypeID(void)
{
    return __CFBundle::classTypeID();
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL)
{
    if (!bundleURL || CFGetTypeID(bundleURL) != CFURLGetTypeID())
        return nullptr;
    CFHolder pathString(CFURLCopyFileSystemPath(bundleURL, kCFURLPOSIXPathStyle));
    auto path = _CFBundleUTF8(pathString.get());
    bool isDirectory = false;
    if (!path || !_CFBundlePathExists(*path, &isDirectory) || !isDirectory)
        return nullptr;
    std::string base = *path == "/" ? "" : *path;
    bool nested = _CFBundlePathExists(base + "/Contents/Info.plist");
    std::string contents = nested ? base + "/Contents" : base;
    CFHolder info = _CFBundleReadInfoDictionary(contents + "/Info.plist");
    if (!info)
        return nullptr;
    return new __CFBundle(*path, contents, std::move(info));
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID)
{
    auto identifier = _CFBundleUTF8(bundleID);
    if (!identifier || identifier->empty())
        return nullptr;
    return registry().find(*identifier);
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    if (!object)
        return nullptr;
    CFTypeRef value = CFDictionaryGetValue(object->info, CFSTR("CFBundleIdentifier"));
    return _CFCast<__CFString>(value) ? static_cast<CFStringRef>(value) : nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    return object ? object->info : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    if (!object || !_CFCast<__CFString>(key))
        return nullptr;
    return CFDictionaryGetValue(object->info, key);
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    return object ? _CFBundleCreateURL(object->path, true) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    return object ? _CFBundleCreateURL(object->resourcesPath, true) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType, CFStringRef subDirName)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    auto name = _CFBundleUTF8(resourceName);
    if (!object || !name || !_CFIsContainedPath(*name))
        return nullptr;
    std::string type;
    if (resourceType) {
        auto given = _CFBundleUTF8(resourceType);
        if (!given || given->find_first_of(std::string_view("/\0", 2)) != std::string::npos)
            return nullptr;
        type = std::move(*given);
    }
    std::string subdirectory;
    if (subDirName) {
        auto given = _CFBundleUTF8(subDirName);
        if (!given || (!given->empty() && !_CFIsContainedPath(*given)))
            return nullptr;
        subdirectory = std::move(*given);
    }

    std::string relative = subdirectory.empty() ? *name : subdirectory + "/" + *name;
    if (!type.empty())
        relative += type.front() == '.' ? type : "." + type;
    auto localizations = object->localizations();
    localizations.emplace_back();
    for (const auto& localization : localizations) {
        std::string candidate = object->folderOf(localization) + "/" + relative;
        bool isDirectory = false;
        if (_CFBundlePathExists(candidate, &isDirectory))
            return _CFBundleCreateURL(candidate, isDirectory);
    }
    return nullptr;
}

CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName)
{
    auto* keyString = _CFCast<__CFString>(key);
    if (!keyString)
        return nullptr;
    auto* object = _CFCast<__CFBundle>(bundle);
    std::optional<std::string> table = std::string("Localizable");
    if (tableName && CFStringGetLength(tableName) > 0)
        table = _CFBundleUTF8(tableName);
    if (object && table && _CFIsContainedPath(*table) && table->find('/') == std::string::npos) {
        auto localizations = object->localizations();
        localizations.emplace_back();
        for (const auto& localization : localizations) {
            const StandIn::StringsTable* entries = object->table(*table, localization);
            if (!entries)
                continue;
            auto found = entries->find(keyString->units);
            if (found != entries->end())
                return new __CFString(found->second);
        }
    }
    if (_CFCast<__CFString>(value) && CFStringGetLength(value) > 0)
        return static_cast<CFStringRef>(CFRetain(value));
    return static_cast<CFStringRef>(CFRetain(key));
}

CFBundleRef _CFBundleFindWithFactory(CFStringRef factoryID)
{
    return registry().findIf([factoryID](__CFBundle* bundle) {
        CFTypeRef factories = CFDictionaryGetValue(bundle->info, CFSTR("CFPlugInFactories"));
        return CFGetTypeID(factories) == CFDictionaryGetTypeID()
            && CFDictionaryContainsKey(static_cast<CFDictionaryRef>(factories), factoryID);
    });
}
