// The printer's PPD file is whatever the printing system was given for the queue: printdialog
// checks it whole first, and the pane's Initialize reads its *Manufacturer through these calls;
// so does this target.
#include "fuzz/FuzzSupport.h"

#include <PrintCore/PMCore.h>
#include <PrintCore/PPDLib.h>
#include <PrintCore/PPDLibStandIn.h>

namespace {
// Pascal strings, as the pane spells them.
const unsigned char kManufacturerKeyword[] = "\x0CManufacturer";
const unsigned char kServedManufacturer[] = "\x05Movra";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz::writeInput("printer.ppd", data, size);
    StandIn::PPDError error;
    if (StandIn::ppdCheckFile(path, &error) != noErr)
        (void)error.describe();
    PMTicketRef printerInfo = nullptr;
    if (PMTicketCreate(kCFAllocatorDefault, kPMPrinterInfoTicket, &printerInfo) != noErr || !printerInfo)
        return 0;
    if (PMTicketSetCString(printerInfo, CFSTR("com.movra.fuzz"), kPMPrinterInfoPPDPathKey, path.c_str(), false) != noErr) {
        PMRelease(printerInfo);
        return 0;
    }
    PPDContext ppd = nullptr;
    FSSpec tempFSSpec {};
    if (ppdOpenCompiledPPDFromTicket(printerInfo, &ppd, &tempFSSpec) == noErr) {
        Mindex index = 0;
        if (ppdGetMainIndex(ppd, kManufacturerKeyword, &index) == noErr) {
            Str255 value {};
            if (ppdGetInvocationString(ppd, index, 0, value, sizeof value) == noErr)
                (void)PLstrcmp(value, kServedManufacturer);
        }
        ppdCloseCompiledPPDFromTicket(ppd, &tempFSSpec);
    }
    PMRelease(printerInfo);
    return 0;
}
