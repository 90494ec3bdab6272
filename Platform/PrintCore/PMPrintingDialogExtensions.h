// The interface between the printing system and a print-dialog extension (a "PDE"): the
// plug-in type, the interface it answers, and the table of pane callbacks.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <PrintCore/PMCore.h>

// The pane a dialog extension fills: a control of the toolbox, which builds on the printing
// services rather than under them, so only its reference type is named here.
typedef struct OpaqueControlRef* ControlRef;

// The printing system's plug-in type for dialog extensions, and the interface it asks for.
#define kPMPDEPlugInTypeIDStr "BDB091F4-E57F-11D3-B5CC-0050E4603277"
#define kPMPDEInterfaceIDStr "A996FD7E-B738-11D3-8519-0050E4603277"

// The extension's own context: an address, so pointer-sized on this 64-bit build.
typedef void* PMPDEContext;
typedef UInt32 PMPDEFlags;
typedef void* PMPDERef;

enum {
    kPMPDENoFlags = 0,
};

struct PMPlugInAPIVersion {
    UInt32 buildVersionMajor;
    UInt32 buildVersionMinor;
    UInt32 baseVersionMajor;
    UInt32 baseVersionMinor;
};
typedef struct PMPlugInAPIVersion PMPlugInAPIVersion;

typedef struct PMPlugInHeaderInterface PMPlugInHeaderInterface;

struct PMPlugInHeader {
    OSStatus (*Retain)(PMPlugInHeaderInterface* obj);
    OSStatus (*Release)(PMPlugInHeaderInterface** objPtr);
    OSStatus (*GetAPIVersion)(PMPlugInHeaderInterface* obj, PMPlugInAPIVersion* versionPtr);
};
typedef struct PMPlugInHeader PMPlugInHeader;

// What the host holds of an extension's interface object: a pointer to its function table.
struct PMPlugInHeaderInterface {
    const PMPlugInHeader* vtable;
};

// The table of a dialog extension: the header's three functions, then the pane callbacks in
// the order the printing system calls them.
struct PlugInIntfVTable {
    PMPlugInHeader plugInHeader;
    OSStatus (*Prologue)(PMPDEContext* context, OSType* creator, CFStringRef* userOptionKind, CFStringRef* title, UInt32* maxH,
        UInt32* maxV);
    OSStatus (*Initialize)(PMPDEContext context, PMPDEFlags* flags, PMPDERef ref, ControlRef parentUserPane,
        PMPrintSession printSession);
    OSStatus (*Sync)(PMPDEContext context, PMPrintSession printSession, Boolean syncDirection);
    OSStatus (*GetSummaryText)(PMPDEContext context, CFArrayRef* titleArray, CFArrayRef* summaryArray);
    OSStatus (*Open)(PMPDEContext context);
    OSStatus (*Close)(PMPDEContext context);
    OSStatus (*Terminate)(PMPDEContext context, OSStatus status);
};
typedef struct PlugInIntfVTable PlugInIntfVTable;

// The primary dialog extension puts its bundle on the Print button under this creator and tag.
enum {
    kPMPrimaryPDEPropertyCreator = 'MPDE',
    kPMPrimaryPDEBundleTag = 'MBND',
};
