// A print-settings file as the dialog reads it, for a test to check what a program saved.
#pragma once

#include <map>
#include <string>

// Each key of the file with its value (an integer by its digits); empty when the file cannot be
// read.
std::map<std::string, std::string> settingsFileValues(const std::string& path);

// Where the programs keep a queue's stored settings in folder, for the server at socket (a CUPS
// server's socket, as the tests' servers are reached): FOLDER/QUEUE@SERVER.plist, the queue in
// lower case and the socket's real path with "/", "%" and "@" written %2F, %25 and %40.
std::string queueSettingsFile(const std::string& folder, const std::string& queue, const std::string& socket);
