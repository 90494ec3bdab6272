// Stand-in only: what the host and the tests need of tickets beyond the platform's calls:
// listing a ticket's items, watching the order of accesses, and print-settings files.
#pragma once

#include <PrintCore/PMCore.h>

#include <string>
#include <vector>

struct PMTicketItem {
    std::string key;
    std::string client;
    bool isString { false };
    SInt32 integer { 0 };
    std::string string;
    bool locked { false };
};

// The items in the order they were first set.
std::vector<PMTicketItem> PMTicketCopyItems(PMTicketRef ticket);

// From now on, every get and set on the ticket appends "get KEY" or "set KEY" to *log, until
// the log is set to null or the ticket dies. The log is the caller's.
void PMTicketSetAccessLog(PMTicketRef ticket, std::vector<std::string>* log);

// A print-settings file: an XML property list whose top-level dictionary maps each key to a
// dictionary with "value" (an integer that fits 32 bits, or a string), "client" (a string,
// optional) and "locked" (a boolean, optional). Reading adds every item to the ticket, or,
// when the file cannot be read or is malformed, nothing at all; *error then names the file and,
// where one is at fault, the key.
OSStatus PMTicketReadSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error);
// Writes a temporary file beside path, readable by its owner alone, and renames it over path,
// so that a failed save leaves the previous file as it was.
OSStatus PMTicketWriteSettingsFile(PMTicketRef ticket, const std::string& path, std::string* error);
