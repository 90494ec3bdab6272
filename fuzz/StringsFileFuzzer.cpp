// Localizable.strings files ship in the bundle, but a translator's mistake (or any bytes in
// the bundle folder) must be refused, never crash the dialog.
#include "fuzz/FuzzSupport.h"

#include <CoreFoundation/CFStringsFileStandIn.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    StandIn::StringsFileError error;
    StandIn::parseStringsFile(bytes, &error);
    return 0;
}
