// The plug-in's boundary: the factory that the plug-in loader calls, the reference-counted
// instance it returns, and the interface object with the table of pane callbacks.
#pragma once

#include "Accounting/AccountingContext.h"

#define kAccountingFactoryIDStr "5C0E7F21-3A94-4B6D-8E12-7D4F9A0B3C65"

struct IUnknownInstance {
    IUnknownVTbl* vtable;
    IUnknownVTbl vtableStorage;
    CFUUIDRef factoryID;
    ULONG refCount;
};

struct AccountingPlugInInterface {
    PlugInIntfVTable* vtable;
    UInt32 refCount;
};

extern "C" __attribute__((visibility("default"))) void* AccountingPluginFactory(CFAllocatorRef allocator, CFUUIDRef reqTypeID);

HRESULT QueryInterface(void* obj, REFIID iID, LPVOID* intfPtr);
ULONG IUnknownAddRef(void* obj);
ULONG IUnknownRelease(void* obj);

OSStatus Retain(PMPlugInHeaderInterface* obj);
OSStatus Release(PMPlugInHeaderInterface** objPtr);
OSStatus GetAPIVersion(PMPlugInHeaderInterface* obj, PMPlugInAPIVersion* versionPtr);
