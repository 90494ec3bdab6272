#include "Accounting/PlugInFrame.h"

#include "Accounting/PaneConstruction.h"
#include "Accounting/PaneLifecycle.h"
#include "Accounting/TicketSync.h"

#include <cstdlib>

void* AccountingPluginFactory(CFAllocatorRef, CFUUIDRef reqTypeID)
{
    CFUUIDRef myInstID = CFUUIDCreateFromString(kCFAllocatorDefault, CFSTR(kPMPDEPlugInTypeIDStr));
    CFUUIDRef myFactoryID = CFUUIDCreateFromString(kCFAllocatorDefault, CFSTR(kAccountingFactoryIDStr));
    IUnknownInstance* instance = nullptr;
    if (reqTypeID && CFEqual(reqTypeID, myInstID)) {
        instance = static_cast<IUnknownInstance*>(calloc(1, sizeof(IUnknownInstance)));
        if (instance) {
            instance->vtable = &instance->vtableStorage;
            instance->vtableStorage._reserved = nullptr;
            instance->vtableStorage.QueryInterface = QueryInterface;
            instance->vtableStorage.AddRef = IUnknownAddRef;
            instance->vtableStorage.Release = IUnknownRelease;
            instance->factoryID = myFactoryID;
            instance->refCount = 1;
            CFPlugInAddInstanceForFactory(myFactoryID);
        }
    }
    CFRelease(myInstID);
    // The factory id lives on only inside an instance.
    if (!instance)
        CFRelease(myFactoryID);
    return instance;
}

HRESULT QueryInterface(void* obj, REFIID iID, LPVOID* intfPtr)
{
    if (!intfPtr)
        return E_POINTER;
    if (!obj) {
        *intfPtr = nullptr;
        return E_INVALIDARG;
    }
    CFUUIDRef reqIntfID = CFUUIDCreateFromUUIDBytes(kCFAllocatorDefault, iID);
    CFUUIDRef myIntfID = CFUUIDCreateFromString(kCFAllocatorDefault, CFSTR(kPMPDEInterfaceIDStr));
    HRESULT result = E_NOINTERFACE;
    if (CFEqual(reqIntfID, IUnknownUUID)) {
        auto* instance = static_cast<IUnknownInstance*>(obj);
        instance->vtable->AddRef(obj);
        *intfPtr = obj;
        result = S_OK;
    } else if (CFEqual(reqIntfID, myIntfID)) {
        auto* interface = static_cast<AccountingPlugInInterface*>(malloc(sizeof(AccountingPlugInInterface)));
        auto* table = static_cast<PlugInIntfVTable*>(calloc(1, sizeof(PlugInIntfVTable)));
        if (interface && table) {
            interface->vtable = nullptr;
            interface->refCount = 1;
            table->plugInHeader.Retain = Retain;
            table->plugInHeader.Release = Release;
            table->plugInHeader.GetAPIVersion = GetAPIVersion;
            table->Prologue = Prologue;
            table->Initialize = Initialize;
            table->Sync = Sync;
            table->GetSummaryText = GetSummaryText;
            table->Open = Open;
            table->Close = Close;
            table->Terminate = Terminate;
            interface->vtable = table;
            *intfPtr = interface;
        } else {
            free(interface);
            free(table);
            *intfPtr = nullptr;
        }
        // Even without memory the request was for a known interface: the answer is success
        // with no object.
        result = S_OK;
    } else {
        *intfPtr = nullptr;
    }
    CFRelease(reqIntfID);
    CFRelease(myIntfID);
    return result;
}

ULONG IUnknownAddRef(void* obj)
{
    auto* instance = static_cast<IUnknownInstance*>(obj);
    if (!instance)
        return 0;
    return ++instance->refCount;
}

ULONG IUnknownRelease(void* obj)
{
    auto* instance = static_cast<IUnknownInstance*>(obj);
    if (!instance || instance->refCount == 0)
        return 0;
    if (--instance->refCount > 0)
        return instance->refCount;
    if (instance->factoryID) {
        CFPlugInRemoveInstanceForFactory(instance->factoryID);
        CFRelease(instance->factoryID);
        instance->factoryID = nullptr;
    }
    free(instance);
    return 0;
}

OSStatus Retain(PMPlugInHeaderInterface* obj)
{
    if (obj)
        ++reinterpret_cast<AccountingPlugInInterface*>(obj)->refCount;
    return noErr;
}

OSStatus Release(PMPlugInHeaderInterface** objPtr)
{
    if (!objPtr)
        return noErr;
    auto* interface = reinterpret_cast<AccountingPlugInInterface*>(*objPtr);
    if (!interface)
        return noErr;
    *objPtr = nullptr;
    if (--interface->refCount == 0) {
        free(interface->vtable);
        free(interface);
    }
    return noErr;
}

OSStatus GetAPIVersion(PMPlugInHeaderInterface*, PMPlugInAPIVersion* versionPtr)
{
    if (!versionPtr)
        return noErr;
    versionPtr->buildVersionMajor = 1;
    versionPtr->buildVersionMinor = 0;
    versionPtr->baseVersionMajor = 1;
    versionPtr->baseVersionMinor = 0;
    return noErr;
}
