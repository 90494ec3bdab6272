#include <Base/RegularFile.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPreferredLanguages.h>
#include <CoreFoundation/CFStringPrivate.h>
#include <CoreFoundation/CFStringsFile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <mutex>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace {

// Deeper nesting is no information dictionary; the bound also keeps recursion shallow.
constexpr int kMaximumPlistDepth = 64;
// libplist expands every reference of a binary list into a copy of the object referred to.
constexpr uint64_t kMaximumPlistNodes = 1'000'000;
// A resources folder with more entries than this is not scanned further for localizations.
constexpr size_t kMaximumResourceEntries = 10'000;

struct CFReleaser {
    void operator()(CFTypeRef object) const { CFRelease(object); }
};
using CFHolder = std::unique_ptr<const void, CFReleaser>;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// libplist parses nested arrays and dictionaries by unbounded recursion, so a deep document
// would overflow the stack inside it: the nesting is measured before it is parsed. The scan
// agrees with the parser on what is not markup (comments, CDATA, processing instructions,
// quoted attribute values); where it could disagree it refuses, and it never counts a closing
// tag below zero, so it can only overestimate the depth.
bool xmlNestingWithin(std::string_view text, int limit)
{
    int depth = 0;
    size_t i = 0;
    auto skipPast = [&](std::string_view terminator, size_t from) {
        size_t end = text.find(terminator, from);
        i = end == std::string_view::npos ? text.size() : end + terminator.size();
        return end != std::string_view::npos;
    };
    while ((i = text.find('<', i)) != std::string_view::npos) {
        std::string_view rest = text.substr(i);
        if (rest.starts_with("<!--")) {
            if (!skipPast("-->", i + 4))
                return false;
        } else if (rest.starts_with("<![CDATA[")) {
            if (!skipPast("]]>", i + 9))
                return false;
        } else if (rest.starts_with("<?")) {
            if (!skipPast("?>", i + 2))
                return false;
        } else if (rest.starts_with("<!")) {
            // A document type belongs before the content; within it, it is not worth trusting.
            if (depth > 0 || !skipPast(">", i + 2))
                return false;
        } else {
            size_t end = i + 1;
            char quote = 0;
            for (; end < text.size(); ++end) {
                char c = text[end];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (end >= text.size())
                return false;
            std::string_view tag = text.substr(i + 1, end - i - 1);
            bool closing = tag.starts_with("/");
            if (closing)
                tag.remove_prefix(1);
            std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
            if (name == "array" || name == "dict") {
                if (closing)
                    depth = std::max(depth - 1, 0);
                else if (!tag.ends_with("/") && ++depth > limit)
                    return false;
            }
            i = end + 1;
        }
    }
    return true;
}

// A binary list names its objects by index: besides nesting too deep, it can refer to itself
// or share one object so often that its expansion explodes. Both are measured before libplist
// sees it; any structure that does not add up is refused.
class BinaryPlistCheck {
public:
    explicit BinaryPlistCheck(std::string_view data)
        : m_data(data)
    {
    }

    bool within(int depthLimit, uint64_t nodeLimit)
    {
        constexpr size_t kTrailerSize = 32;
        if (m_data.size() < 8 + kTrailerSize)
            return false;
        size_t trailer = m_data.size() - kTrailerSize;
        m_offsetSize = byteAt(trailer + 6);
        m_referenceSize = byteAt(trailer + 7);
        uint64_t count = number(trailer + 8, 8);
        uint64_t top = number(trailer + 16, 8);
        m_tableOffset = number(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8 || count == 0
            || top >= count || m_tableOffset < 8 || m_tableOffset > trailer || count > (trailer - m_tableOffset) / m_offsetSize)
            return false;
        m_offsets.resize(count);
        for (uint64_t k = 0; k < count; ++k) {
            m_offsets[k] = number(m_tableOffset + k * m_offsetSize, m_offsetSize);
            if (m_offsets[k] < 8 || m_offsets[k] >= m_tableOffset)
                return false;
        }
        m_state.assign(count, State::unseen);
        m_height.assign(count, 0);
        m_nodes.assign(count, 0);
        m_depthLimit = depthLimit;
        m_nodeLimit = nodeLimit;
        return visit(top, 0);
    }

private:
    enum class State : uint8_t { unseen, visiting, done };

    unsigned byteAt(uint64_t offset) const { return static_cast<unsigned char>(m_data[offset]); }

    uint64_t number(uint64_t offset, unsigned width) const
    {
        uint64_t value = 0;
        for (unsigned k = 0; k < width; ++k)
            value = value << 8 | byteAt(offset + k);
        return value;
    }

    bool visit(uint64_t index, int depth)
    {
        if (m_state[index] == State::visiting || depth > m_depthLimit)
            return false;
        if (m_state[index] == State::done)
            return depth + m_height[index] <= m_depthLimit;
        m_state[index] = State::visiting;

        uint64_t position = m_offsets[index];
        unsigned marker = byteAt(position++);
        unsigned kind = marker >> 4;
        uint64_t references = 0;
        if (kind == 0xA || kind == 0xC || kind == 0xD) {
            uint64_t count = marker & 0xF;
            if (count == 0xF) {
                if (position >= m_tableOffset)
                    return false;
                unsigned sizeMarker = byteAt(position++);
                unsigned width = 1u << (sizeMarker & 0xF);
                if (sizeMarker >> 4 != 0x1 || width > 8 || width > m_tableOffset - position)
                    return false;
                count = number(position, width);
                position += width;
            }
            uint64_t room = (m_tableOffset - position) / m_referenceSize;
            if (count > room || (kind == 0xD && count > room / 2))
                return false;
            references = kind == 0xD ? count * 2 : count;
        }
        uint64_t nodes = 1;
        int height = 0;
        for (uint64_t k = 0; k < references; ++k) {
            uint64_t child = number(position + k * m_referenceSize, m_referenceSize);
            if (child >= m_offsets.size() || !visit(child, depth + 1))
                return false;
            nodes += m_nodes[child];
            height = std::max(height, m_height[child] + 1);
            if (nodes > m_nodeLimit)
                return false;
        }
        m_state[index] = State::done;
        m_nodes[index] = nodes;
        m_height[index] = height;
        return true;
    }

    std::string_view m_data;
    unsigned m_offsetSize { 0 };
    unsigned m_referenceSize { 0 };
    uint64_t m_tableOffset { 0 };
    std::vector<uint64_t> m_offsets;
    std::vector<State> m_state;
    std::vector<int> m_height;
    std::vector<uint64_t> m_nodes;
    int m_depthLimit { 0 };
    uint64_t m_nodeLimit { 0 };
};

// A node as a new CF object: true with null for the kinds a dictionary has no use for here
// (data, dates, UIDs), which are left out; false for a list that is not sound.
bool convertNode(plist_t node, int depth, CFHolder& result)
{
    result.reset();
    if (depth > kMaximumPlistDepth)
        return false;
    switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        result.reset(_CFStringCreateFromUTF8(std::string_view(text ? text : "", text ? length : 0)));
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
        plist_array_iter iterator = nullptr;
        plist_array_new_iter(node, &iterator);
        bool sound = true;
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(node, iterator, &item);
            if (!item)
                break;
            CFHolder value;
            if (!convertNode(item, depth + 1, value)) {
                sound = false;
                break;
            }
            if (value)
                CFArrayAppendValue(static_cast<CFMutableArrayRef>(const_cast<void*>(array.get())), value.get());
        }
        free(iterator);
        if (sound)
            result = std::move(array);
        return sound;
    }
    case PLIST_DICT: {
        CFHolder dictionary(CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
            &kCFTypeDictionaryValueCallBacks));
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        bool sound = true;
        for (;;) {
            char* rawKey = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &rawKey, &item);
            std::unique_ptr<char, decltype(&free)> keyText(rawKey, free);
            if (!item)
                break;
            CFHolder key(_CFStringCreateFromUTF8(rawKey ? rawKey : ""));
            CFHolder value;
            if (!key || !convertNode(item, depth + 1, value)) {
                sound = false;
                break;
            }
            if (value)
                CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(dictionary.get())), key.get(),
                    value.get());
        }
        free(iterator);
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
    std::string contents;
    if (!StandIn::readRegularFile(path, kCFMaximumResourceFileSize, contents, nullptr) || contents.empty())
        return nullptr;
    bool binary = std::string_view(contents).starts_with("bplist00");
    if (binary ? !BinaryPlistCheck(contents).within(kMaximumPlistDepth, kMaximumPlistNodes)
               : !xmlNestingWithin(contents, kMaximumPlistDepth))
        return nullptr;
    plist_t parsed = nullptr;
    plist_from_memory(contents.data(), static_cast<uint32_t>(contents.size()), &parsed);
    PlistPtr root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return nullptr;
    CFHolder dictionary;
    if (!convertNode(root.get(), 0, dictionary))
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
        return _CFPreferredLocalizations(available, developmentRegion);
    }

    // The folder a localization's resources are in; the empty localization is the unlocalized one.
    std::string folderOf(const std::string& localization) const
    {
        return localization.empty() ? resourcesPath : resourcesPath + "/" + localization + ".lproj";
    }

    // Null when the table is missing or malformed in that localization; parsed once.
    const _CFStringsTable* table(const std::string& name, const std::string& localization)
    {
        std::lock_guard guard(tablesLock);
        auto key = std::make_pair(name, localization);
        auto cached = tables.find(key);
        if (cached == tables.end()) {
            std::string file = folderOf(localization) + "/" + name + ".strings";
            _CFStringsFileError error;
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
    std::map<std::pair<std::string, std::string>, std::optional<_CFStringsTable>> tables;
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
            const _CFStringsTable* entries = object->table(*table, localization);
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
