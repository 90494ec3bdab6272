#include "program/ProgramTexts.h"

#include "program/ProgramFolder.h"

#include <Base/RegularFile.h>
#include <CoreFoundation/CFStandIn.h>
#include <CoreFoundation/CFStringsFileStandIn.h>
#include <CoreFoundation/CoreFoundation.h>

#include <climits>
#include <cstdlib>
#include <unordered_map>

namespace {

// Far beyond any table of the programs' texts.
constexpr size_t kMaxTableBytes = 1024 * 1024;

std::string languageSettings()
{
    std::string settings;
    for (const char* name : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = getenv(name);
        settings += std::string(value ? value : "") + "\n";
    }
    return settings;
}

std::string utf8(const std::u16string& units)
{
    CFStringRef string = CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar*>(units.data()), static_cast<CFIndex>(units.size()));
    std::string text = StandIn::toUTF8(string);
    if (string)
        CFRelease(string);
    return text;
}

// The table of the language that the bundle chooses, read whole: the bundle is opened only to find
// it, and nothing of the platform's is kept.
std::unordered_map<std::string, std::string> readTable()
{
    std::unordered_map<std::string, std::string> table;
    CFStringRef bundlePath = StandIn::createString(productLibraryFolder() + "/PrintingSystem.bundle");
    CFURLRef bundleURL = bundlePath ? CFURLCreateWithFileSystemPath(kCFAllocatorDefault, bundlePath, kCFURLPOSIXPathStyle, true) : nullptr;
    CFBundleRef bundle = bundleURL ? CFBundleCreate(kCFAllocatorDefault, bundleURL) : nullptr;
    CFURLRef tableURL = bundle ? CFBundleCopyResourceURL(bundle, CFSTR("PrintingSystem"), CFSTR("strings"), nullptr) : nullptr;
    UInt8 path[PATH_MAX];
    std::string contents;
    StandIn::StringsFileError error;
    if (tableURL && CFURLGetFileSystemRepresentation(tableURL, true, path, sizeof path)
        && StandIn::readRegularFile(reinterpret_cast<const char*>(path), kMaxTableBytes, contents, nullptr)) {
        if (auto parsed = StandIn::parseStringsFile(contents, &error)) {
            for (const auto& [key, value] : *parsed)
                table.emplace(utf8(key), utf8(value));
        }
    }
    for (CFTypeRef object : { static_cast<CFTypeRef>(tableURL), static_cast<CFTypeRef>(bundle), static_cast<CFTypeRef>(bundleURL),
             static_cast<CFTypeRef>(bundlePath) }) {
        if (object)
            CFRelease(object);
    }
    return table;
}

std::string translated(const std::string& english)
{
    // Read once for the process's language settings, and again only when they change.
    static std::string readFor;
    static std::unordered_map<std::string, std::string> table;
    static bool read = false;
    std::string settings = languageSettings();
    if (!read || settings != readFor) {
        table = readTable();
        readFor = settings;
        read = true;
    }
    auto found = table.find(english);
    return found == table.end() || found->second.empty() ? english : found->second;
}

}

std::string programText(const std::string& english, const std::vector<std::string>& values)
{
    std::string text = translated(english);
    std::string filled;
    for (size_t at = 0; at < text.size(); ++at) {
        size_t index = at + 1 < text.size() ? static_cast<size_t>(text[at + 1] - '1') : values.size();
        if (text[at] == '%' && index < values.size() && index < 9) {
            filled += values[index];
            ++at;
        } else {
            filled += text[at];
        }
    }
    return filled;
}
