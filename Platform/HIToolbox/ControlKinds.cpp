#include <HIToolbox/ControlKindsStandIn.h>

#include <algorithm>
#include <iterator>

namespace {

constexpr StandIn::ControlKindName kKinds[] = {
    { kControlKindUserPane, "user-pane", "user pane" },
    { kControlKindStaticText, "static-text", "static text" },
    { kControlKindEditUnicodeText, "edit-text", "edit field" },
    { kControlKindEditText, "edit-text", "edit field" },
    { kControlKindPopupButton, "popup-button", "popup button" },
    { kControlKindRadioButton, "radio-button", "radio button" },
    { kControlKindCheckBox, "check-box", "check box" },
    { kControlKindPushButton, "push-button", "push button" },
};

template<typename Matches>
const StandIn::ControlKindName* first(Matches matches)
{
    auto found = std::find_if(std::begin(kKinds), std::end(kKinds), matches);
    return found == std::end(kKinds) ? nullptr : found;
}

}

const StandIn::ControlKindName* StandIn::controlKindNamed(std::string_view name)
{
    return first([name](const ControlKindName& entry) { return name == entry.name; });
}

const StandIn::ControlKindName* StandIn::controlKindOf(OSType kind)
{
    return first([kind](const ControlKindName& entry) { return kind == entry.kind; });
}
