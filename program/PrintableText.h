// Text from outside (a server's names and messages, a printing program's document name) as a
// line of output may show it: a terminal or a log takes control characters as orders, and a
// server that could write them could move the cursor, rewrite a line or forge a line of its own.
#pragma once

#include "program/ProgramsExport.h"

#include <string>
#include <string_view>

// The text with every control character (C0, DEL, C1), every character that reorders or breaks
// the line (the bidirectional controls, U+2028 and U+2029) and every byte that is not UTF-8
// written as an escape ("\x1B", "\u{202E}"), and a backslash as "\\", so that what is shown
// stands for exactly one text.
PROGRAMS_EXPORT std::string printableText(std::string_view text);
