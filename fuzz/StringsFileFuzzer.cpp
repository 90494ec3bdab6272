// Localizable.strings files ship in the bundle, but a translator's mistake (or any bytes in
// the bundle folder) must be refused, never crash the dialog.
#include "FuzzSupport.h"

#include <CoreFoundation/CFStringsFileStandIn.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    StandIn::StringsFileError error;
    auto table = StandIn::parseStringsFile(bytes, &error);
    // The file reader adds the size bound and the file checks on top of the parser; go through
    // it too, so that path is covered with the same bytes.
    std::string path = fuzz::writeInput("Localizable.strings", data, size);
    StandIn::StringsFileError readError;
    auto read = _CFReadStringsFile(path, &readError);
    // Both ways must agree: the reader only adds the file around the same parse.
    if (table.has_value() != read.has_value())
        __builtin_trap();
    return 0;
}
