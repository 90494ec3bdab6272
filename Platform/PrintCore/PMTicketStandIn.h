// Stand-in only: what the host and the tests need of tickets beyond the platform's calls:
// listing a ticket's items, watching the order of accesses, and print-settings files.
#pragma once

#include <PrintCore/PMCore.h>

#include <string>
#include <vector>

namespace StandIn {

struct TicketItem {
    std::string key;
    std::string client;
    bool isString { false };
    SInt32 integer { 0 };
    std::string string;
    bool locked { false };
};

// The items in the order they were first set.
PLATFORM_EXPORT std::vector<TicketItem> ticketItems(PMTicketRef ticket);

// From now on, every get and set on the ticket appends "get KEY" or "set KEY" to *log, until
// the log is set to null or the ticket dies. The log is the caller's.
PLATFORM_EXPORT void setTicketAccessLog(PMTicketRef ticket, std::vector<std::string>* log);

// What a print-settings file held, for a caller that looks further at it: its items in the file's
// order, and one line for each key the file gave more than once, naming the file and the key.
struct SettingsFileReading {
    std::vector<TicketItem> items;
    std::vector<std::string> warnings;
};

// A print-settings file: a property list (XML, or binary) whose top-level dictionary maps each
// key to a dictionary with "value" (an integer that fits 32 bits, or a string), "client" (a
// string, optional) and "locked" (a boolean, optional). No string in it (keys included) may hold
// a control character, U+0000 to U+001F or U+007F, nor U+FFFE or U+FFFF: the saved file must stay
// XML. Reading adds every item to the ticket, or, when the file cannot be read, is malformed, or
// is nested, sized or shared past what the product reads (see Base/PropertyList.h), nothing at
// all; *error then names the file and, where one is at fault, the key. Of a key given twice, the
// last value counts. *reading, when given, is filled only on success.
PLATFORM_EXPORT OSStatus readSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error,
    SettingsFileReading* reading = nullptr);
// Writes a temporary file beside path, readable by its owner alone, and renames it over path,
// so that a failed save leaves the previous file as it was. A ticket holding text that a
// settings file may not hold (see above) is not saved: *error names the file and the key.
PLATFORM_EXPORT OSStatus writeSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error);

}
