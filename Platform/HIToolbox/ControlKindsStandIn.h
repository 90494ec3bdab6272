// Stand-in only: the one table of the kinds of control the toolbox makes, each with the name the
// interface-definition format and the programs' window dumps give it, and the words a message
// uses for it. A new kind is added here once.
#pragma once

#include <HIToolbox/Controls.h>

#include <string_view>

namespace StandIn {

struct ControlKindName {
    OSType kind; // ControlKind.kind
    const char* name; // "push-button"
    const char* words; // "push button"
};

// The kind of that name: the one the interface definition makes (an edit-text field holds
// Unicode text); null for a name of no kind.
PLATFORM_EXPORT const ControlKindName* controlKindNamed(std::string_view name);
// The names of a kind; null for the root control and kinds the toolbox does not make.
PLATFORM_EXPORT const ControlKindName* controlKindOf(OSType kind);

}
