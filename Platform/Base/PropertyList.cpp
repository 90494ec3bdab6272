#include "PropertyList.h"

#include "PropertyListScan.h"

#include <unordered_map>

namespace StandIn {

namespace {

bool fail(PropertyListFailure* failure, PropertyListStatus status, const PropertyListLimits& limits, FileFailure file = {})
{
    if (failure)
        *failure = { status, file, limits };
    return false;
}

// libplist's binary parser keeps every entry of a dictionary that gives a key more than once, and
// answers a look-up with the first; its XML parser keeps the last value in the place of the
// first. Binary lists are brought to the XML reading, so that the format never changes a value.
bool noteDuplicateKeys(plist_t node, std::vector<std::string>& path, bool reported, std::vector<std::vector<std::string>>& found)
{
    bool duplicated = false;
    switch (plist_get_node_type(node)) {
    case PLIST_ARRAY:
        forEachItem(node, [&](plist_t item) {
            duplicated |= noteDuplicateKeys(item, path, false, found);
            return true;
        });
        break;
    case PLIST_DICT: {
        std::unordered_map<std::string, int> seen;
        forEachEntry(node, [&](std::string_view key, plist_t value) {
            path.emplace_back(key);
            if (++seen[path.back()] == 2) {
                duplicated = true;
                if (reported)
                    found.push_back(path);
            }
            duplicated |= noteDuplicateKeys(value, path, reported, found);
            path.pop_back();
            return true;
        });
        break;
    }
    default:
        break;
    }
    return duplicated;
}

// A copy in which each dictionary holds each key once: setting a key again replaces its value
// where it stands.
plist_t withoutDuplicateKeys(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_ARRAY: {
        plist_t copy = plist_new_array();
        forEachItem(node, [&](plist_t item) {
            plist_array_append_item(copy, withoutDuplicateKeys(item));
            return true;
        });
        return copy;
    }
    case PLIST_DICT: {
        plist_t copy = plist_new_dict();
        forEachEntry(node, [&](std::string_view key, plist_t value) {
            plist_dict_set_item(copy, std::string(key).c_str(), withoutDuplicateKeys(value));
            return true;
        });
        return copy;
    }
    default:
        return plist_copy(node);
    }
}

}

std::string PropertyListFailure::describe() const
{
    switch (status) {
    case PropertyListStatus::ok: return "no error";
    case PropertyListStatus::unreadable: return file.describe();
    case PropertyListStatus::notAPropertyList: return "not a property list";
    case PropertyListStatus::tooDeep: return "nested more than " + std::to_string(limits.maximumDepth) + " levels deep";
    case PropertyListStatus::tooManyElements: return "holds more than " + std::to_string(limits.maximumElements) + " elements";
    case PropertyListStatus::dictionaryTooLarge:
        return "holds a dictionary of more than " + std::to_string(limits.maximumDictionaryEntries) + " keys";
    case PropertyListStatus::expandsTooFar:
        return "expands to more than " + std::to_string(limits.maximumFileSize) + " bytes of text and data";
    case PropertyListStatus::selfContaining: return "holds a container that contains itself";
    }
    return "not a property list";
}

bool parsePropertyList(std::string_view document, const PropertyListLimits& limits, PropertyList& list, PropertyListFailure* failure)
{
    std::vector<std::vector<std::string>> duplicateKeys;
    bool binary = document.starts_with("bplist00");
    PropertyListStatus status = document.empty() || document.size() > UINT32_MAX ? PropertyListStatus::notAPropertyList
        : binary                                                                 ? scanBinaryPropertyList(document, limits)
                                                                                 : scanXMLPropertyList(document, limits, &duplicateKeys);
    if (status != PropertyListStatus::ok)
        return fail(failure, status, limits);
    plist_t parsed = nullptr;
    plist_from_memory(document.data(), static_cast<uint32_t>(document.size()), &parsed);
    PlistNode root(parsed);
    if (!root)
        return fail(failure, PropertyListStatus::notAPropertyList, limits);
    std::vector<std::string> path;
    if (binary && noteDuplicateKeys(root.get(), path, true, duplicateKeys))
        root.reset(withoutDuplicateKeys(root.get()));
    list.root = std::move(root);
    list.duplicateKeys = std::move(duplicateKeys);
    return true;
}

bool readPropertyList(const std::string& path, const PropertyListLimits& limits, PropertyList& list, PropertyListFailure* failure)
{
    std::string contents;
    FileFailure file;
    if (!readRegularFile(path, limits.maximumFileSize, contents, &file))
        return fail(failure, PropertyListStatus::unreadable, limits, file);
    return parsePropertyList(contents, limits, list, failure);
}

}
