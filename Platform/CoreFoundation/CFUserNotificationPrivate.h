// Inside the stand-in: where notices go. Only the toolbox knows who sits at the keyboard (its
// input source), and it builds on CoreFoundation, so it installs the display here.
#pragma once

#include <string>

using _CFNoticeDisplay = void (*)(const std::string& header, const std::string& message);

// Null: notices are dropped, as when nobody is there to read them.
void _CFSetNoticeDisplay(_CFNoticeDisplay display);
