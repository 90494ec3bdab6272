#include <PrintCore/PMTicketPrivate.h>

namespace {

struct PrintSession final : __CFRuntimeBase {
    PrintSession()
        : __CFRuntimeBase(classTypeID())
        , data(CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks))
    {
    }

    ~PrintSession() override { CFRelease(data); }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("PMPrintSession");
        return typeID;
    }

    CFMutableDictionaryRef data;
};

PrintSession* sessionFromRef(PMPrintSession printSession)
{
    return _CFCast<PrintSession>(static_cast<CFTypeRef>(printSession));
}

// A PMObject is either a ticket handle or the address of a session.
CFTypeRef objectFromPMObject(PMObject object)
{
    if (auto* ticket = _PMTicketFromRef(reinterpret_cast<PMTicketRef>(const_cast<void*>(object))))
        return ticket;
    return sessionFromRef(reinterpret_cast<PMPrintSession>(const_cast<void*>(object)));
}

}

OSStatus PMCreateSession(PMPrintSession* printSession)
{
    if (!printSession)
        return paramErr;
    auto* session = new PrintSession();
    *printSession = reinterpret_cast<PMPrintSession>(static_cast<__CFRuntimeBase*>(session));
    return noErr;
}

OSStatus PMRetain(PMObject object)
{
    CFTypeRef target = objectFromPMObject(object);
    if (!target)
        return paramErr;
    CFRetain(target);
    return noErr;
}

OSStatus PMRelease(PMObject object)
{
    CFTypeRef target = objectFromPMObject(object);
    if (!target)
        return paramErr;
    CFRelease(target);
    return noErr;
}

OSStatus PMSessionSetDataInSession(PMPrintSession printSession, CFStringRef key, CFTypeRef data)
{
    auto* session = sessionFromRef(printSession);
    if (!session || CFGetTypeID(key) != CFStringGetTypeID() || !data)
        return paramErr;
    CFDictionarySetValue(session->data, key, data);
    return noErr;
}

OSStatus PMSessionGetDataFromSession(PMPrintSession printSession, CFStringRef key, CFTypeRef* data)
{
    auto* session = sessionFromRef(printSession);
    if (!session || !data || CFGetTypeID(key) != CFStringGetTypeID())
        return paramErr;
    const void* value = nullptr;
    if (!CFDictionaryGetValueIfPresent(session->data, key, &value))
        return kPMKeyNotFound;
    *data = value;
    return noErr;
}
