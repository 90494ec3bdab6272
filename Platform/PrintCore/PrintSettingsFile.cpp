// Print-settings files: a ticket's items as an XML property list.
#include <PrintCore/PMTicketPrivate.h>

#include <Base/PropertyList.h>
#include <CoreFoundation/CFStringPrivate.h>
#include <PrintCore/PMTicketStandIn.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Larger files are not print settings; refusing them keeps a bad path from eating memory.
constexpr size_t kMaximumFileSize = 16 * 1024 * 1024;

OSStatus fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return kPMInvalidValue;
}

// A key as it may stand in a message. Control characters (C1 ones too), and every byte of text
// that is not UTF-8, become escapes: a name taken from a file never acts on the terminal.
std::string quoted(std::string_view text)
{
    bool utf8 = _CFDecode(text, kCFStringEncodingUTF8).has_value();
    std::string result = "\"";
    char escape[8];
    for (size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (utf8 && byte == 0xC2 && next >= 0x80 && next < 0xA0) {
            snprintf(escape, sizeof escape, "\\u%04X", next);
            result += escape;
            ++i;
        } else if (byte < 0x20 || byte == 0x7F || (!utf8 && byte >= 0x80)) {
            snprintf(escape, sizeof escape, "\\x%02X", byte);
            result += escape;
        } else {
            if (byte == '"' || byte == '\\')
                result += '\\';
            result += static_cast<char>(byte);
        }
    }
    return result + "\"";
}

// Every string of a settings file is one the file is saved with again. XML 1.0 cannot carry most
// control characters at all, not even as references, and readers turn a carriage return into a
// line feed; so no string holds a control character (U+0000 to U+001F, and DEL, U+007F, which
// no one types into a code either), nor U+FFFE or U+FFFF, which XML does not allow.
const char* faultOfText(std::string_view text)
{
    auto units = _CFDecode(text, kCFStringEncodingUTF8);
    if (!units)
        return "is not valid UTF-8 text";
    for (char16_t unit : *units) {
        if (unit < 0x20 || unit == 0x7F)
            return "holds a control character";
        if (unit == 0xFFFE || unit == 0xFFFF)
            return "holds U+FFFE or U+FFFF, which XML cannot carry";
    }
    return nullptr;
}

// What is wrong with an item's text, in words that can follow "PATH: "; empty when nothing is.
// The text itself is never shown: the value may be a code.
std::string faultOfItem(const StandIn::TicketItem& item)
{
    if (const char* fault = faultOfText(item.key))
        return "key " + quoted(item.key) + " " + fault;
    if (const char* fault = faultOfText(item.client))
        return "key " + quoted(item.key) + ": \"client\" " + fault;
    if (const char* fault = item.isString ? faultOfText(item.string) : nullptr)
        return "key " + quoted(item.key) + ": \"value\" " + fault;
    return {};
}

// With its length: libplist's plist_get_string_val asserts (and so aborts the process) on a
// string with a NUL byte inside, which any file can hold; such a string is refused afterwards.
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

bool parseItem(const std::string& path, std::string_view key, plist_t entry, StandIn::TicketItem& item, std::string* error)
{
    item.key = key;
    std::string where = path + ": key " + quoted(key) + ": ";
    if (key.empty()) {
        fail(error, path + ": an empty key");
        return false;
    }
    if (plist_get_node_type(entry) != PLIST_DICT) {
        fail(error, where + "must be a dictionary with \"value\", \"client\" and \"locked\"");
        return false;
    }
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
    std::string fault = faultOfItem(item);
    if (!fault.empty())
        fail(error, path + ": " + fault);
    return fault.empty();
}

std::string duplicateWarning(const std::string& path, const std::vector<std::string>& keys)
{
    std::string where = path + ": key " + quoted(keys.front());
    for (size_t k = 1; k < keys.size(); ++k)
        where += ": " + quoted(keys[k]);
    return where + " is given more than once; the last one counts";
}

}

OSStatus StandIn::readSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error, StandIn::SettingsFileReading* reading)
{
    auto* object = _PMTicketFromRef(ticket);
    if (!object)
        return kPMInvalidTicket;
    StandIn::PropertyListLimits limits;
    limits.maximumFileSize = kMaximumFileSize;
    StandIn::PropertyList list;
    StandIn::PropertyListFailure failure;
    if (!StandIn::readPropertyList(path, limits, list, &failure)) {
        bool tooLarge = failure.status == StandIn::PropertyListStatus::unreadable && failure.file.status == StandIn::FileStatus::tooLarge;
        return fail(error, path + ": " + (tooLarge ? "too large to be a print-settings file" : failure.describe()));
    }
    if (plist_get_node_type(list.root.get()) != PLIST_DICT)
        return fail(error, path + ": the top level must be a dictionary of settings");

    std::vector<StandIn::TicketItem> items;
    bool sound = StandIn::forEachEntry(list.root.get(), [&](std::string_view key, plist_t entry) {
        items.emplace_back();
        return parseItem(path, key, entry, items.back(), error);
    });
    if (!sound)
        return kPMInvalidValue;
    // A file of many keys makes a large tree; the items are all that is needed of it now.
    list.root.reset();

    // Nothing is applied until the whole file has proved sound.
    if (reading) {
        reading->items = items;
        reading->warnings.clear();
        for (const auto& keys : list.duplicateKeys)
            reading->warnings.push_back(duplicateWarning(path, keys));
    }
    for (auto& item : items)
        object->put(std::move(item));
    return noErr;
}

OSStatus StandIn::writeSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error)
{
    auto* object = _PMTicketFromRef(ticket);
    if (!object)
        return kPMInvalidTicket;
    // What could not be read back is not written: the previous file stays instead.
    for (const auto& item : object->items) {
        std::string fault = faultOfItem(item);
        if (!fault.empty())
            return fail(error, path + ": cannot save: " + fault);
    }
    StandIn::PlistNode root(plist_new_dict());
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
