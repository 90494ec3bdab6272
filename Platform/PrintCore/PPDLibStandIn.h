// Stand-in only: why a PPD call failed, in words, and the printing system's own reading of a
// printer's PPD before it offers the printer's dialog.
#pragma once

#include <Base/RegularFile.h>
#include <PrintCore/PPDLib.h>

#include <string>

namespace StandIn {

// Why a PPD call failed, as libcups's ppdLastError tells it, with the line at fault.
struct PLATFORM_EXPORT PPDError {
    OSStatus status { noErr };
    int line { 0 }; // kPPDNotAPPDFileErr: the line that is not what a PPD file has there
    FileFailure file; // fnfErr, kPPDFileUnreadableErr: what the system said of the file
    std::string keyword; // kPPDKeywordNotFoundErr: the keyword asked for

    // Words that can follow "PATH: " in a message, such as "not a PPD file (line 1 ...)".
    std::string describe() const;
};

// The failure of the last PPD call on this thread that failed; status noErr when none has.
PLATFORM_EXPORT PPDError ppdLastError();

// Reads the whole PPD file at path, as the printing system does before it offers a printer:
// it must be a regular file, plain or gzip, whose first line is a PPD file's, of at most
// kPPDMaxUnpackedSize bytes unpacked. The pane's questions read only the start of the file; a
// file they could not read to the end is caught here, with words for it in *error.
PLATFORM_EXPORT OSStatus ppdCheckFile(const std::string& path, PPDError* error);
// The same reading, keeping the whole file's bytes, unpacked, in *contents (left as it was on a
// failure): what a reader of the options a PPD offers starts from.
PLATFORM_EXPORT OSStatus ppdReadFile(const std::string& path, std::string* contents, PPDError* error);

}
