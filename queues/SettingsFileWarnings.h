// What a print-settings file got away with, in lines for a program to tell its user in its own
// name: a key given more than once, and an entry of the pane whose value is of the kind the pane
// takes as absent, which the person who wrote the file would not guess.
#pragma once

#include <PrintCore/PMTicketStandIn.h>

#include <string>
#include <vector>

std::vector<std::string> settingsFileWarnings(const std::string& path, const StandIn::SettingsFileReading& reading);
