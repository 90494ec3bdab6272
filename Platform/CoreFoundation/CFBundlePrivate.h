// Inside the stand-in: the bundle object, shared by the bundle's three jobs (the folder with
// its resources and localized strings in CFBundle.cpp, Info.plist read as CF objects in
// CFBundleInfo.cpp, the code loaded from it in CFBundleExecutable.cpp) and by plug-ins.
#pragma once

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFHolder.h>
#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringsFileStandIn.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct __CFBundle final : __CFRuntimeBase {
    __CFBundle(std::string folder, std::string contents, StandIn::CFHolder<> information);
    ~__CFBundle() override;

    static CFTypeID classTypeID();

    std::string describe() const override { return "CFBundle <" + path + ">"; }

    // Read afresh on each call: the user's languages come from the environment, which a
    // process may change.
    std::vector<std::string> localizations() const;
    // The folder a localization's resources are in; the empty localization is the unlocalized one.
    std::string folderOf(const std::string& localization) const;
    // Null when the table is missing or malformed in that localization; parsed once.
    const StandIn::StringsTable* table(const std::string& name, const std::string& localization);

    std::string path;
    // The folder that holds Info.plist: Contents/, or the bundle's own for a flat bundle.
    std::string contentsPath;
    std::string resourcesPath;
    CFDictionaryRef info;
    void* executable { nullptr };
    std::string identifier;
    std::string developmentRegion;
    std::mutex tablesLock;
    std::map<std::pair<std::string, std::string>, std::optional<StandIn::StringsTable>> tables;
};

// Info.plist as a CFDictionary of CF objects, read through Base/PropertyList.h; null when the
// file cannot be read, is beyond the reader's bounds, or is not a dictionary at the top.
StandIn::CFHolder<> _CFBundleReadInfoDictionary(const std::string& path);
// Unloads the bundle's code when it was loaded; the bundle is going.
void _CFBundleUnloadExecutable(__CFBundle& bundle);
// The newest live bundle whose CFPlugInFactories lists the factory (its UUID's text).
CFBundleRef _CFBundleFindWithFactory(CFStringRef factoryID);

// Shared by the bundle's files: whether a path exists (and is a folder), a file URL for it,
// and the UTF-8 text of a CF string (nullopt for anything else).
bool _CFBundlePathExists(const std::string& path, bool* isDirectory = nullptr);
CFURLRef _CFBundleCreateURL(const std::string& path, bool isDirectory);
std::optional<std::string> _CFBundleUTF8(CFTypeRef value);
