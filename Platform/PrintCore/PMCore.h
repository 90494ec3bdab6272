// Print sessions and the tickets they carry.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMErrors.h>

typedef const void* PMObject;
typedef struct OpaquePMPrintSession* PMPrintSession;
// A ticket reference is a handle that fits in 32 bits, not an address: a session stores it in
// a number object as a signed 32-bit value. A handle that names no live ticket is refused by
// every call with kPMInvalidTicket.
typedef struct OpaquePMTicketRef* PMTicketRef;

enum { kPMTopLevel = 0 };

#define kPMPrintSettingsTicketKey CFSTR("PMPrintSettingsTicket")
#define kPMPrinterInfoTicketKey CFSTR("PMPrinterInfoTicket")
#define kPMPrintSettingsTicket CFSTR("com.apple.printingmanager.printsettingsticket")
#define kPMPrinterInfoTicket CFSTR("com.apple.printingmanager.printerinfoticket")

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT OSStatus PMCreateSession(PMPrintSession* printSession);
// Sessions and tickets alike.
PLATFORM_EXPORT OSStatus PMRetain(PMObject object);
PLATFORM_EXPORT OSStatus PMRelease(PMObject object);

// The session's data: objects stored under string keys; the session retains what it stores.
PLATFORM_EXPORT OSStatus PMSessionSetDataInSession(PMPrintSession printSession, CFStringRef key, CFTypeRef data);
// The object under key, not owned by the caller; kPMKeyNotFound, with data left alone, when
// there is none.
PLATFORM_EXPORT OSStatus PMSessionGetDataFromSession(PMPrintSession printSession, CFStringRef key, CFTypeRef* data);

PLATFORM_EXPORT OSStatus PMTicketCreate(CFAllocatorRef allocator, CFStringRef ticketType, PMTicketRef* newTicket);

// Items live at the ticket's top level: both node indices must be kPMTopLevel, and any other
// index finds nothing (kPMKeyNotFound). Getters write their out-parameter only on success.
PLATFORM_EXPORT OSStatus PMTicketGetSInt32(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key, SInt32* value);
PLATFORM_EXPORT OSStatus PMTicketSetSInt32(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, SInt32 value, Boolean locked);
// The string in the encoding (UTF-8, ASCII or ISO Latin-1), NUL-terminated. A string longer
// than bufferSize - 1 bytes is cut on a character boundary, so no character is ever split.
PLATFORM_EXPORT OSStatus PMTicketGetCString(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key,
    UInt32 bufferSize, CFStringEncoding encoding, char* value);
// value is text in the system encoding (UTF-8); bytes that are not valid UTF-8 are refused
// with kPMInvalidValue.
PLATFORM_EXPORT OSStatus PMTicketSetCString(PMTicketRef ticket, CFStringRef clientID, CFStringRef key, const char* value, Boolean locked);
PLATFORM_EXPORT OSStatus PMTicketGetLockedState(PMTicketRef ticket, UInt32 nodeIndex1, UInt32 nodeIndex2, CFStringRef key,
    Boolean* lockedState);

PLATFORM_EXTERN_C_END
