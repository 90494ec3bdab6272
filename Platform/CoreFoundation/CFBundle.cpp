#include <Base/PropertyList.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFHolder.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPreferredLanguagesStandIn.h>
#include <CoreFoundation/CFStringPrivate.h>
#include <CoreFoundation/CFStringsFileStandIn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
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

// A node as a new CF object: true with null for the kinds a dictionary has no use for here
// (data, dates, UIDs), which are left out; false for a list that is not sound. The reader has
// bounded the nesting, so the recursion is shallow.
bool convertNode(plist_t node, CFHolder& result)
{
    result.reset();
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        result.reset(StandIn::createString(std::string_view(text ? text : "", text ? length : 0)));
        return result != nullptr;
    }
    case PLIST_UINT: {
        // libplist keeps every integer as 64 bits; a negative one arrives as its two's complement.
        uint64_t bits = 0;
        plist_get_uint_val(node, &bits);
        auto value = static_cast<SInt64>(bits);
        result.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value));
        return true;
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        result.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value));
        return true;
    }
    case PLIST_BOOLEAN: {
        // There is no CFBoolean in the stand-in; callers read a flag with CFNumberGetValue.
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        SInt8 value = flag ? 1 : 0;
        result.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt8Type, &value));
        return true;
    }
    case PLIST_ARRAY: {
        CFHolder array(CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
        bool sound = StandIn::forEachItem(node, [&](plist_t item) {
            CFHolder value;
            if (!convertNode(item, value))
                return false;
            if (value)
                CFArrayAppendValue(static_cast<CFMutableArrayRef>(const_cast<void*>(array.get())), value.get());
            return true;
        });
        if (sound)
            result = std::move(array);
        return sound;
    }
    case PLIST_DICT: {
        CFHolder dictionary(CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
            &kCFTypeDictionaryValueCallBacks));
        bool sound = StandIn::forEachEntry(node, [&](std::string_view keyText, plist_t item) {
            CFHolder key(StandIn::createString(keyText));
            CFHolder value;
            if (!key || !convertNode(item, value))
                return false;
            if (value)
                CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(dictionary.get())), key.get(),
                    value.get());
            return true;
        });
        if (sound)
            result = std::move(dictionary);
        return sound;
    }
    default:
        return true;
    }
}

CFHolder readInfoDictionary(const std::string& path)
{
    StandIn::PropertyListLimits limits;
    limits.maximumFileSize = kCFMaximumResourceFileSize;
    StandIn::PropertyList list;
    if (!StandIn::readPropertyList(path, limits, list, nullptr) || plist_get_node_type(list.root.get()) != PLIST_DICT)
        return nullptr;
    CFHolder dictionary;
    if (!convertNode(list.root.get(), dictionary))
        return nullptr;
    return dictionary;
}

bool exists(const std::string& path, bool* isDirectory = nullptr)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return false;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return true;
}

CFURLRef createURL(const std::string& path, bool isDirectory)
{
    return CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), isDirectory);
}

// The text of a string, or nullopt for anything else and for a string with no UTF-8 form.
std::optional<std::string> utf8Of(CFTypeRef value)
{
    auto* string = _CFCast<__CFString>(value);
    if (!string)
        return std::nullopt;
    return _CFEncode(string->units, kCFStringEncodingUTF8);
}

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

struct __CFBundle final : __CFRuntimeBase {
    __CFBundle(std::string folder, std::string contents, CFHolder information)
        : __CFRuntimeBase(classTypeID())
        , path(std::move(folder))
        , contentsPath(contents)
        , resourcesPath(std::move(contents) + "/Resources")
        , info(static_cast<CFDictionaryRef>(information.release()))
    {
        if (auto region = utf8Of(CFDictionaryGetValue(info, CFSTR("CFBundleDevelopmentRegion"))))
            developmentRegion = *region;
        if (auto given = utf8Of(CFDictionaryGetValue(info, CFSTR("CFBundleIdentifier"))); given && !given->empty()) {
            identifier = *given;
            registry().add(identifier, this);
        }
    }

    ~__CFBundle() override
    {
        if (!identifier.empty())
            registry().remove(identifier, this);
        if (executable)
            dlclose(executable);
        CFRelease(info);
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("CFBundle");
        return typeID;
    }

    std::string describe() const override { return "CFBundle <" + path + ">"; }

    // Read afresh on each call: the user's languages come from the environment, which a
    // process may change.
    std::vector<std::string> localizations() const
    {
        std::vector<std::string> available;
        if (DIR* folder = opendir(resourcesPath.c_str())) {
            size_t seen = 0;
            while (dirent* entry = readdir(folder)) {
                if (++seen > kMaximumResourceEntries)
                    break;
                std::string_view name = entry->d_name;
                bool isDirectory = false;
                if (name.size() > 6 && name.ends_with(".lproj") && exists(resourcesPath + "/" + std::string(name), &isDirectory)
                    && isDirectory)
                    available.emplace_back(name.substr(0, name.size() - 6));
            }
            closedir(folder);
        }
        std::sort(available.begin(), available.end());
        return StandIn::preferredLocalizations(available, developmentRegion);
    }

    // The folder a localization's resources are in; the empty localization is the unlocalized one.
    std::string folderOf(const std::string& localization) const
    {
        return localization.empty() ? resourcesPath : resourcesPath + "/" + localization + ".lproj";
    }

    // Null when the table is missing or malformed in that localization; parsed once.
    const StandIn::StringsTable* table(const std::string& name, const std::string& localization)
    {
        std::lock_guard guard(tablesLock);
        auto key = std::make_pair(name, localization);
        auto cached = tables.find(key);
        if (cached == tables.end()) {
            std::string file = folderOf(localization) + "/" + name + ".strings";
            StandIn::StringsFileError error;
            auto parsed = _CFReadStringsFile(file, &error);
            // A translator's mistake would otherwise show only as untranslated text.
            if (!parsed && exists(file))
                fprintf(stderr, "CFBundle: %s:%zu: %s; the table is ignored\n", file.c_str(), error.line, error.message.c_str());
            cached = tables.emplace(std::move(key), std::move(parsed)).first;
        }
        return cached->second ? &*cached->second : nullptr;
    }

    std::string path;
    std::string contentsPath;
    std::string resourcesPath;
    CFDictionaryRef info;
    void* executable { nullptr };
    std::string identifier;
    std::string developmentRegion;
    std::mutex tablesLock;
    std::map<std::pair<std::string, std::string>, std::optional<StandIn::StringsTable>> tables;
};

CFTypeID CFBundleGetTypeID(void)
{
    return __CFBundle::classTypeID();
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL)
{
    if (!bundleURL || CFGetTypeID(bundleURL) != CFURLGetTypeID())
        return nullptr;
    CFHolder pathString(CFURLCopyFileSystemPath(bundleURL, kCFURLPOSIXPathStyle));
    auto path = utf8Of(pathString.get());
    bool isDirectory = false;
    if (!path || !exists(*path, &isDirectory) || !isDirectory)
        return nullptr;
    std::string base = *path == "/" ? "" : *path;
    bool nested = exists(base + "/Contents/Info.plist");
    std::string contents = nested ? base + "/Contents" : base;
    CFHolder info = readInfoDictionary(contents + "/Info.plist");
    if (!info)
        return nullptr;
    return new __CFBundle(*path, contents, std::move(info));
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID)
{
    auto identifier = utf8Of(bundleID);
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
    return object ? createURL(object->path, true) : nullptr;
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    return object ? createURL(object->resourcesPath, true) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType, CFStringRef subDirName)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    auto name = utf8Of(resourceName);
    if (!object || !name || !_CFIsContainedPath(*name))
        return nullptr;
    std::string type;
    if (resourceType) {
        auto given = utf8Of(resourceType);
        if (!given || given->find_first_of(std::string_view("/\0", 2)) != std::string::npos)
            return nullptr;
        type = std::move(*given);
    }
    std::string subdirectory;
    if (subDirName) {
        auto given = utf8Of(subDirName);
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
        if (exists(candidate, &isDirectory))
            return createURL(candidate, isDirectory);
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
        table = utf8Of(tableName);
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

namespace {

// The bundle's code: Contents/MacOS/ and the name CFBundleExecutable gives, as the
// platform lays bundles out.
std::optional<std::string> executablePath(const __CFBundle& bundle)
{
    auto name = utf8Of(CFDictionaryGetValue(bundle.info, CFSTR("CFBundleExecutable")));
    if (!name || name->empty() || name->find('/') != std::string::npos || *name == "..")
        return std::nullopt;
    return bundle.contentsPath + "/MacOS/" + *name;
}

}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    auto path = object ? executablePath(*object) : std::nullopt;
    return path && exists(*path) ? createURL(*path, false) : nullptr;
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    if (!object)
        return false;
    if (object->executable)
        return true;
    auto path = executablePath(*object);
    if (!path)
        return false;
    object->executable = dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!object->executable)
        fprintf(stderr, "CFBundle: cannot load %s: %s\n", path->c_str(), dlerror());
    return object->executable != nullptr;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle)
{
    auto* object = _CFCast<__CFBundle>(bundle);
    return object && object->executable;
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName)
{
    auto name = utf8Of(functionName);
    if (!name || name->empty() || !CFBundleLoadExecutable(bundle))
        return nullptr;
    return dlsym(_CFCast<__CFBundle>(bundle)->executable, name->c_str());
}

CFBundleRef _CFBundleFindWithFactory(CFStringRef factoryID)
{
    return registry().findIf([factoryID](__CFBundle* bundle) {
        CFTypeRef factories = CFDictionaryGetValue(bundle->info, CFSTR("CFPlugInFactories"));
        return CFGetTypeID(factories) == CFDictionaryGetTypeID()
            && CFDictionaryContainsKey(static_cast<CFDictionaryRef>(factories), factoryID);
    });
}
