// Print-settings files: a ticket's items as an XML property list.
#include <PrintCore/PMTicketPrivate.h>

#include <Base/RegularFile.h>
#include <CoreFoundation/CFStringPrivate.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Larger files are not print settings; refusing them keeps a bad path from eating memory.
constexpr size_t kMaximumFileSize = 16 * 1024 * 1024;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

OSStatus fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return kPMInvalidValue;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// With its length: libplist's plist_get_string_val asserts (and so aborts the process) on a
// string with a NUL byte inside, which any file can hold; the caller refuses such strings.
std::string stringValue(plist_t node)
{
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? std::string(text, length) : std::string();
}

// libplist reads integers beyond 64 bits, and unsigned ones beyond the signed range, as the
// same bits as a small negative number; writing the node back shows which it really was.
bool integerIsExactly(plist_t node, SInt64 value)
{
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    if (!xml)
        return false;
    std::string expected = "<integer>" + std::to_string(value) + "</integer>";
    bool exact = std::string_view(xml, length).find(expected) != std::string_view::npos;
    plist_to_xml_free(xml);
    return exact;
}

bool readWholeFile(const std::string& path, std::string& contents, std::string* error)
{
    StandIn::FileFailure failure;
    if (StandIn::readRegularFile(path, kMaximumFileSize, contents, &failure))
        return true;
    fail(error, path + ": " + (failure.status == StandIn::FileStatus::tooLarge ? "too large to be a print-settings file" : failure.describe()));
    return false;
}

bool parseItem(const std::string& path, const std::string& key, plist_t entry, PMTicketItem& item, std::string* error)
{
    std::string where = path + ": key " + quoted(key) + ": ";
    if (key.empty()) {
        fail(error, path + ": an empty key");
        return false;
    }
    if (plist_get_node_type(entry) != PLIST_DICT) {
        fail(error, where + "must be a dictionary with \"value\", \"client\" and \"locked\"");
        return false;
    }
    item.key = key;
    plist_t value = plist_dict_get_item(entry, "value");
    if (!value) {
        fail(error, where + "has no \"value\"");
        return false;
    }
    if (plist_get_node_type(value) == PLIST_UINT) {
        uint64_t bits = 0;
        plist_get_uint_val(value, &bits);
        auto number = static_cast<SInt64>(bits);
        if (number < INT32_MIN || number > INT32_MAX || !integerIsExactly(value, number)) {
            fail(error, where + "\"value\" does not fit in 32 bits");
            return false;
        }
        item.integer = static_cast<SInt32>(number);
    } else if (plist_get_node_type(value) == PLIST_STRING) {
        item.isString = true;
        item.string = stringValue(value);
        if (item.string.find('\0') != std::string::npos || !_CFDecode(item.string, kCFStringEncodingUTF8)) {
            fail(error, where + "\"value\" is not valid UTF-8 text");
            return false;
        }
    } else {
        fail(error, where + "\"value\" must be an integer or a string");
        return false;
    }
    if (plist_t client = plist_dict_get_item(entry, "client")) {
        if (plist_get_node_type(client) != PLIST_STRING) {
            fail(error, where + "\"client\" must be a string");
            return false;
        }
        item.client = stringValue(client);
        // A NUL would cut the client short in the ticket and in the saved file.
        if (item.client.find('\0') != std::string::npos) {
            fail(error, where + "\"client\" holds a NUL byte");
            return false;
        }
    }
    if (plist_t locked = plist_dict_get_item(entry, "locked")) {
        if (plist_get_node_type(locked) != PLIST_BOOLEAN) {
            fail(error, where + "\"locked\" must be a boolean");
            return false;
        }
        uint8_t flag = 0;
        plist_get_bool_val(locked, &flag);
        item.locked = flag;
    }
    return true;
}

}

OSStatus PMTicketReadSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error)
{
    auto* object = _PMTicketFromRef(ticket);
    if (!object)
        return kPMInvalidTicket;
    std::string contents;
    if (!readWholeFile(path, contents, error))
        return kPMInvalidValue;
    plist_t parsed = nullptr;
    if (!contents.empty())
        plist_from_memory(contents.data(), static_cast<uint32_t>(contents.size()), &parsed);
    PlistPtr root(parsed);
    if (!root)
        return fail(error, path + ": not a property list");
    if (plist_get_node_type(root.get()) != PLIST_DICT)
        return fail(error, path + ": the top level must be a dictionary of settings");

    std::vector<PMTicketItem> items;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(root.get(), &iterator);
    for (;;) {
        char* rawKey = nullptr;
        plist_t entry = nullptr;
        plist_dict_next_item(root.get(), iterator, &rawKey, &entry);
        if (!entry) {
            free(rawKey);
            break;
        }
        std::string key = rawKey ? rawKey : "";
        free(rawKey);
        PMTicketItem item;
        if (!parseItem(path, key, entry, item, error)) {
            free(iterator);
            return kPMInvalidValue;
        }
        items.push_back(std::move(item));
    }
    free(iterator);

    // Nothing is applied until the whole file has proved sound.
    for (auto& item : items) {
        if (PMTicketItem* existing = object->find(item.key))
            *existing = std::move(item);
        else
            object->items.push_back(std::move(item));
    }
    return noErr;
}

OSStatus PMTicketWriteSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error)
{
    auto* object = _PMTicketFromRef(ticket);
    if (!object)
        return kPMInvalidTicket;
    PlistPtr root(plist_new_dict());
    for (const auto& item : object->items) {
        plist_t entry = plist_new_dict();
        plist_dict_set_item(entry, "client", plist_new_string(item.client.c_str()));
        if (item.isString)
            plist_dict_set_item(entry, "value", plist_new_string(item.string.c_str()));
        else
            plist_dict_set_item(entry, "value", plist_new_uint(static_cast<uint64_t>(static_cast<SInt64>(item.integer))));
        plist_dict_set_item(entry, "locked", plist_new_bool(item.locked));
        plist_dict_set_item(root.get(), item.key.c_str(), entry);
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    if (!xml)
        return fail(error, path + ": cannot make the property list");
    std::unique_ptr<char, void (*)(char*)> text(xml, plist_to_xml_free);

    std::string temporary = path + ".XXXXXX";
    int descriptor = mkstemp(temporary.data());
    if (descriptor < 0)
        return fail(error, path + ": cannot create a temporary file beside it: " + strerror(errno));
    bool written = true;
    for (uint32_t done = 0; written && done < length;) {
        ssize_t count = write(descriptor, xml + done, length - done);
        if (count < 0 && errno == EINTR)
            continue;
        written = count > 0;
        if (written)
            done += count;
    }
    int savedErrno = errno;
    written = written && fsync(descriptor) == 0;
    if (!written)
        savedErrno = errno;
    if (close(descriptor) != 0 && written) {
        written = false;
        savedErrno = errno;
    }
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        if (written)
            savedErrno = errno;
        unlink(temporary.c_str());
        return fail(error, path + ": cannot save: " + strerror(savedErrno));
    }
    return noErr;
}
