// A print-settings file as the dialog reads it, for a test to check what a program saved.
#pragma once

#include <map>
#include <string>

// Each key of the file with its value (an integer by its digits); empty when the file cannot be
// read.
std::map<std::string, std::string> settingsFileValues(const std::string& path);
