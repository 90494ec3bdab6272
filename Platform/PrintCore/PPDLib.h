// The printer's PPD file, read through the printer-info ticket: a printer dialog extension asks
// for a few main keywords (such as *Manufacturer) without paying for a full parse of the file.
// Why a call failed, in words, is in PPDLibStandIn.h.
#pragma once

#include <Files/Files.h>
#include <PrintCore/PMCore.h>

typedef struct OpaquePPDContext* PPDContext;
// A main keyword of the open file, as ppdGetMainIndex names it.
typedef SInt16 Mindex;

// A string item of the printer-info ticket: the path of the printer's PPD file, plain or
// gzip-compressed.
#define kPMPrinterInfoPPDPathKey CFSTR("com.movra.standin.PrinterInfo.PPDPath")

enum {
    kPPDPathNotInTicketErr = -9780, // the ticket has no PPD path item
    kPPDFileUnreadableErr = -9781, // the path names something that is not a readable file
    kPPDEmptyFileErr = -9782, // the file holds no bytes (after decompression)
    kPPDNotAPPDFileErr = -9783, // the file does not begin with a *PPD-Adobe: "4.x" line
    kPPDKeywordNotFoundErr = -9784, // the file has no such main keyword
    kPPDBadIndexErr = -9785, // an index that names nothing; or, from ppdGetMainIndex, a context
                             // already asked for 32,768 distinct keywords
    kPPDInvalidContextErr = -9786, // an object that is not a PPD context
    kPPDFileTooLargeErr = -9787, // the file unpacks to more than kPPDMaxUnpackedSize bytes
};

// No real PPD comes near this (Debian's largest is 0.6 MiB); a gzip file that unpacks beyond
// it is refused once the limit is passed, so a few MiB of compressed zeros cannot fill memory.
enum { kPPDMaxUnpackedSize = 16 * 1024 * 1024 };

PLATFORM_EXTERN_C_BEGIN

// Opens the PPD file whose path the printer-info ticket holds and checks its first line; the rest
// is read only as questions need it. Nothing is compiled, so no temporary file exists:
// *tempFSSpec is zero-filled and names nothing; pass it back to the close. A missing file gives
// fnfErr. The context is a counted object; close it once.
PLATFORM_EXPORT OSStatus ppdOpenCompiledPPDFromTicket(PMTicketRef printerInfoTicket, PPDContext* outContext, FSSpec* tempFSSpec);
// mainKeyword is a Pascal string without the leading '*', case-sensitive ("\pManufacturer").
// Main keywords with an option or translation part count too ("*Manufacturer X/Y: ..."). The
// file is read from its start up to the keyword's first line and no further; only keywords
// asked for are kept.
PLATFORM_EXPORT OSStatus ppdGetMainIndex(PPDContext context, ConstStr255Param mainKeyword, Mindex* mIndex);
// The value of the oIndex-th line (0 = first, in file order) of the main keyword mIndex, as a
// Pascal string of the file's bytes (no transcoding), cut to at most bufferSize - 1 and at most
// 255 bytes. Quotes around the value are removed; <hex> runs are left as they are.
PLATFORM_EXPORT OSStatus ppdGetInvocationString(PPDContext context, Mindex mIndex, SInt16 oIndex, StringPtr buffer, SInt32 bufferSize);
// Releases the context. tempFSSpec is left as it is.
PLATFORM_EXPORT OSStatus ppdCloseCompiledPPDFromTicket(PPDContext context, FSSpec* tempFSSpec);

// Compares two Pascal strings: 0 when length and bytes are equal; otherwise negative or
// positive as the first differing byte (unsigned) or, when one is a prefix of the other, as
// the lengths. A null string sorts before every other string.
PLATFORM_EXPORT short PLstrcmp(ConstStr255Param str1, ConstStr255Param str2);

PLATFORM_EXTERN_C_END
