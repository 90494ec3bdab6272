// Stand-in only: the one way the product reads a property list (a bundle's Info.plist, a
// print-settings file). libplist does the parsing, but it trusts its input: it frees, copies and
// reads binary lists by recursion, expands every reference of a binary list into a fresh copy, and
// inserts each dictionary entry after a search of the ones before it. So every document is
// measured first, and one that is nested too deep, would expand too far or holds too large a
// dictionary never reaches it.
#pragma once

#include <Base/PlatformExport.h>
#include <Base/RegularFile.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <plist/plist.h>
#include <string>
#include <string_view>
#include <vector>

namespace StandIn {

struct PropertyListLimits {
    // The largest file read; nor may a binary list expand to more text and data than this.
    size_t maximumFileSize { 0 };
    // Arrays and dictionaries inside one another; beyond this, recursion over the tree is unsafe.
    int maximumDepth { 64 };
    // Every value, key, array and dictionary of the tree libplist would build, a binary list's
    // shared object counted each time it is referred to. Also bounds the memory of the tree.
    uint64_t maximumElements { 1'000'000 };
    // libplist's dictionaries cost the square of their size to build.
    uint64_t maximumDictionaryEntries { 200'000 };
};

enum class PropertyListStatus {
    ok,
    unreadable, // the file itself: see FileFailure
    notAPropertyList,
    tooDeep,
    tooManyElements,
    dictionaryTooLarge,
    expandsTooFar, // a binary list's text and data, each shared object counted at every use
    selfContaining, // a binary list's container that holds itself
};

// Why a property list was refused, in words that can follow "PATH: " in a message.
struct PLATFORM_EXPORT PropertyListFailure {
    PropertyListStatus status { PropertyListStatus::ok };
    FileFailure file; // for unreadable
    PropertyListLimits limits;

    std::string describe() const;
};

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<void, PlistFree>;

struct PropertyList {
    PlistNode root;
    // Each key that a dictionary holds more than once, as the keys that lead from the top to it
    // and then the key itself; only dictionaries reached from the top through dictionaries are
    // reported. Whatever the format, the value given last counts, in the place of the first.
    std::vector<std::vector<std::string>> duplicateKeys;
};

// Calls visit(key, value) for each entry of a dictionary in order while it returns true; false
// when it stopped early.
template<typename Visit>
bool forEachEntry(plist_t dictionary, Visit visit)
{
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    bool completed = true;
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator, &key, &value);
        std::unique_ptr<char, decltype(&free)> keyHolder(key, free);
        if (!value)
            break;
        if (!visit(std::string_view(key ? key : ""), value)) {
            completed = false;
            break;
        }
    }
    free(iterator);
    return completed;
}

// The same for each item of an array.
template<typename Visit>
bool forEachItem(plist_t array, Visit visit)
{
    plist_array_iter iterator = nullptr;
    plist_array_new_iter(array, &iterator);
    bool completed = true;
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(array, iterator, &item);
        if (!item)
            break;
        if (!visit(item)) {
            completed = false;
            break;
        }
    }
    free(iterator);
    return completed;
}

// Parses a document, XML or binary, once it has proved within the limits (its size apart).
PLATFORM_EXPORT bool parsePropertyList(std::string_view document, const PropertyListLimits& limits, PropertyList& list,
    PropertyListFailure* failure);

// The regular file at path, read without blocking (see RegularFile.h), then parsed.
PLATFORM_EXPORT bool readPropertyList(const std::string& path, const PropertyListLimits& limits, PropertyList& list,
    PropertyListFailure* failure);

}
