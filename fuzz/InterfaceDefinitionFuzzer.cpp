// Interface definitions (Accounting.nib) are read from the bundle at run time.
#include <HIToolbox/InterfaceDefinitionStandIn.h>
#include <HIToolbox/MacWindows.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    StandIn::InterfaceDefinition::ParseResult result = StandIn::InterfaceDefinition::parse(text);
    if (result.error)
        return 0;
    // Whatever parses is built: the builder trusts the parser's checks (bounds, nesting,
    // parents), so the two are fuzzed together.
    for (const StandIn::InterfaceDefinition::Window& window : result.description.windows) {
        WindowRef built = nullptr;
        if (StandIn::InterfaceDefinition::buildWindow(window, &built) == noErr && built)
            DisposeWindow(built);
    }
    return 0;
}
