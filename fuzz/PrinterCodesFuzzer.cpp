// The codes a printer asks for are read from its PPD, whatever the printing system was given
// for the queue, and from what its server says of the printer.
#include "queues/PrinterCodes.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    PrinterCodes codes = readPrinterCodes(text, { "de_DE", "de-DE", "de" });
    // The server's word, taken from the input's first byte: each attribute, and a password length.
    PrinterCodeAttributes attributes;
    if (size > 0) {
        attributes.accountID = data[0] & 1;
        attributes.accountingUserID = data[0] & 2;
        attributes.passwordMaxLength = data[0] >> 2;
    }
    addPrinterAttributes(&codes, attributes);
    return 0;
}
