#include "FSInternal.h"

#include <Base/Unicode.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace fs_standin {

namespace {

using StandIn::UTF8::decodeAt;
using StandIn::UTF8::isValid;

constexpr size_t kFSSpecNameCapacity = sizeof(Str63) - 1;
constexpr UniChar kInvalidByteBase = 0xF700;
// Extensions longer than this are cut off with the rest of a shortened name: they are rarely
// what a reader of the name looks for.
constexpr size_t kKeptExtension = 16;

bool isUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// "…#ID" or "…#ID.ext", ID being 1 to 8 upper-case hexadecimal digits; the id when it is one.
std::optional<UInt32> markIn(std::string_view name)
{
    // Asked of every name a walk gives, nearly none of which has a '#': a forward search for
    // one is a memchr, a backward one goes a byte at a time.
    if (name.find('#') == std::string_view::npos)
        return std::nullopt;
    size_t hash = name.rfind('#');
    size_t end = hash + 1;
    while (end < name.size() && isUpperHexDigit(name[end]))
        ++end;
    size_t digits = end - hash - 1;
    if (digits < 1 || digits > 8 || (end < name.size() && name[end] != '.'))
        return std::nullopt;
    return static_cast<UInt32>(std::stoul(std::string(name.substr(hash + 1, digits)), nullptr, 16));
}

// Stored as is only when it can be read back as is: a name that looks like a mark is marked
// itself, so that no name stored as is is ever taken for another file's mark.
bool needsMark(std::string_view name)
{
    return name.size() > kFSSpecNameCapacity || !isValid(name) || markIn(name);
}

std::string shortened(std::string_view name, UInt32 id)
{
    char mark[16];
    snprintf(mark, sizeof mark, "#%X", static_cast<unsigned>(id));
    std::string_view stem = name, extension;
    size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= kKeptExtension) {
        std::string_view candidate = name.substr(dot);
        // Importers look at the extension; it must stay readable and must not hide the mark.
        if (isValid(candidate) && candidate.find('#') == std::string_view::npos) {
            extension = candidate;
            stem = name.substr(0, dot);
        }
    }
    size_t budget = kFSSpecNameCapacity - strlen(mark) - extension.size();
    std::string prefix;
    for (size_t position = 0; position < stem.size();) {
        auto decoded = decodeAt(stem, position);
        size_t length = decoded ? decoded->length : 1;
        if (prefix.size() + length > budget)
            break;
        if (decoded)
            prefix.append(stem.substr(position, length));
        else
            prefix += '_';
        position += length;
    }
    return prefix + mark + std::string(extension);
}

} // namespace

void uniNameOf(std::string_view name, HFSUniStr255& result)
{
    result = {};
    constexpr size_t capacity = sizeof result.unicode / sizeof result.unicode[0];
    size_t count = 0;
    for (size_t position = 0; position < name.size();) {
        // Most names are ASCII, a unit for each byte with no decoding: a walk asks for every name.
        if (auto byte = static_cast<unsigned char>(name[position]); byte < 0x80) {
            if (count == capacity)
                break;
            result.unicode[count++] = byte;
            ++position;
            continue;
        }
        auto decoded = decodeAt(name, position);
        if (!decoded) {
            if (count == capacity)
                break;
            result.unicode[count++] = static_cast<UniChar>(kInvalidByteBase + static_cast<unsigned char>(name[position]));
            ++position;
            continue;
        }
        char32_t c = decoded->codePoint;
        if (c >= 0x10000) {
            if (capacity - count < 2)
                break;
            c -= 0x10000;
            result.unicode[count++] = static_cast<UniChar>(0xD800 + (c >> 10));
            result.unicode[count++] = static_cast<UniChar>(0xDC00 + (c & 0x3FF));
        } else {
            if (count == capacity)
                break;
            result.unicode[count++] = static_cast<UniChar>(c);
        }
        position += decoded->length;
    }
    result.length = static_cast<UInt16>(count);
}

std::optional<std::string> fsSpecNameOf(UInt32 parent, std::string_view name)
{
    if (!needsMark(name))
        return std::string(name);
    auto id = intern(parent, name);
    if (!id)
        return std::nullopt;
    return shortened(name, *id);
}

std::optional<std::string> entryNameOf(UInt32 parent, std::string_view shortName)
{
    auto id = markIn(shortName);
    if (!id)
        return isValidEntryName(shortName) ? std::optional<std::string>(shortName) : std::nullopt;
    auto location = locationOf(*id);
    // Only the exact mark the stand-in makes for that name counts, so one file has one FSSpec.
    if (!location || location->isRoot() || location->parent != parent || !needsMark(location->name)
        || shortened(location->name, *id) != shortName)
        return std::nullopt;
    return location->name;
}

std::optional<FSSpec> fsSpecOf(const Location& location)
{
    FSSpec fsSpec {};
    fsSpec.vRefNum = kVolume;
    if (location.isRoot()) {
        fsSpec.parID = fsRtParID;
        fsSpec.name[0] = 1;
        fsSpec.name[1] = '/';
        return fsSpec;
    }
    fsSpec.parID = static_cast<SInt32>(location.parent);
    // Most names are stored as they are: a walk asks for every entry's FSSpec.
    std::optional<std::string> shortName;
    std::string_view stored = location.name;
    if (needsMark(stored)) {
        if (!(shortName = fsSpecNameOf(location.parent, stored)))
            return std::nullopt;
        stored = *shortName;
    }
    fsSpec.name[0] = static_cast<unsigned char>(stored.size());
    memcpy(fsSpec.name + 1, stored.data(), stored.size());
    return fsSpec;
}

FSSpecResolution resolveFSSpec(const FSSpec& fsSpec)
{
    if (fsSpec.name[0] > kFSSpecNameCapacity || fsSpec.vRefNum != kVolume)
        return { std::nullopt, paramErr };
    std::string_view name(reinterpret_cast<const char*>(fsSpec.name + 1), fsSpec.name[0]);
    if (fsSpec.parID == fsRtParID) {
        if (name.empty() || name == "/")
            return { rootLocation(), noErr };
        return { std::nullopt, fnfErr };
    }
    auto parent = static_cast<UInt32>(fsSpec.parID);
    if (fsSpec.parID < fsRtDirID || !isKnownFolderID(parent))
        return { std::nullopt, dirNFErr };
    // An empty name is the folder parID itself.
    if (name.empty())
        return { locationOf(parent), noErr };
    auto entry = entryNameOf(parent, name);
    if (!entry)
        return { std::nullopt, markIn(name) ? OSErr(fnfErr) : OSErr(bdNamErr) };
    return { Location { parent, std::move(*entry) }, noErr };
}

} // namespace fs_standin
