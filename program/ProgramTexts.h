// The texts that the programs themselves show, beside the pane's own: the Print dialog's buttons
// and title, the settings window's, the agent's notes and messages. They come, in the person's
// language (chosen from the language settings as the pane's are), from the strings table of the
// printing system's bundle in the product's folder, PrintingSystem.bundle, keyed by their English
// text; a text the table lacks is shown in English.
#pragma once

#include "program/ProgramsExport.h"

#include <string>
#include <vector>

// The text in the person's language, with %1, %2, ... standing for the values given.
PROGRAMS_EXPORT std::string programText(const std::string& english, const std::vector<std::string>& values = {});
