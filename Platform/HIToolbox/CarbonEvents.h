// Events, event targets and handlers.
#pragma once

#include <HIToolbox/Controls.h>

typedef struct OpaqueEventRef* EventRef;
typedef struct OpaqueEventTargetRef* EventTargetRef;
typedef struct OpaqueEventHandlerRef* EventHandlerRef;
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef;
typedef OSType EventParamName;
typedef OSType EventParamType;
typedef double EventTime;
typedef UInt32 EventAttributes;

typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData);
typedef EventHandlerProcPtr EventHandlerUPP;

struct EventTypeSpec {
    UInt32 eventClass;
    UInt32 eventKind;
};
typedef struct EventTypeSpec EventTypeSpec;

struct HICommand {
    UInt32 attributes;
    UInt32 commandID;
    struct {
        MenuRef menuRef;
        MenuItemIndex menuItemIndex;
    } menu;
};
typedef struct HICommand HICommand;

enum {
    kEventClassMouse = 'mous',
    kEventClassKeyboard = 'keyb',
    kEventClassApplication = 'appl',
    kEventClassCommand = 'cmds',
    kEventClassWindow = 'wind',
    kEventClassControl = 'cntl',
};

enum {
    kEventControlHit = 1,
    kEventControlDraw = 4,
    kEventCommandProcess = 1,
    kEventRawKeyDown = 1,
    kEventRawKeyRepeat = 2,
    kEventRawKeyUp = 3,
};

enum {
    kEventParamDirectObject = '----',
    kEventParamControlPart = 'cprt',
    kEventParamKeyMacCharCodes = 'kchr',
    kEventParamKeyCode = 'kcod',
    kEventParamKeyModifiers = 'kmod',
};

enum {
    typeWildCard = '****',
    typeControlRef = 'ctrl',
    typeWindowRef = 'wind',
    typeHICommand = 'hcmd',
    typeControlPartCode = 'cprt',
    typeChar = 'TEXT',
    typeUInt32 = 'magn',
    typeSInt32 = 'long',
    typeCFStringRef = 'cfst',
};

enum {
    kEventAttributeNone = 0,
};

enum {
    errAECoercionFail = -1700,
    errAEBufferTooSmall = -1741,
    eventInternalErr = -9868,
    eventParameterNotFoundErr = -9870,
    eventNotHandledErr = -9874,
};

PLATFORM_EXTERN_C_BEGIN

PLATFORM_EXPORT EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr userRoutine);
PLATFORM_EXPORT void DisposeEventHandlerUPP(EventHandlerUPP userUPP);

PLATFORM_EXPORT EventTargetRef GetApplicationEventTarget(void);
PLATFORM_EXPORT EventTargetRef GetWindowEventTarget(WindowRef window);
PLATFORM_EXPORT EventTargetRef GetControlEventTarget(ControlRef control);

// The newest handler of a target runs first.
PLATFORM_EXPORT OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes,
    const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
PLATFORM_EXPORT OSStatus RemoveEventHandler(EventHandlerRef handlerRef);

PLATFORM_EXPORT OSStatus CreateEvent(CFAllocatorRef allocator, UInt32 eventClass, UInt32 kind, EventTime when,
    EventAttributes flags, EventRef* outEvent);
PLATFORM_EXPORT EventRef RetainEvent(EventRef event);
PLATFORM_EXPORT void ReleaseEvent(EventRef event);
PLATFORM_EXPORT UInt32 GetEventClass(EventRef event);
PLATFORM_EXPORT UInt32 GetEventKind(EventRef event);
PLATFORM_EXPORT OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, UInt32 size, const void* data);
// desiredType must match the stored type, or be typeWildCard; a buffer smaller than the
// parameter is refused with errAEBufferTooSmall and left alone.
PLATFORM_EXPORT OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
    EventParamType* outActualType, UInt32 bufferSize, UInt32* outActualSize, void* outData);

// Delivers the event to the target's handlers, then, for a control, to the controls it is
// embedded in, its window and the application, stopping at the first handler that answers
// anything other than eventNotHandledErr, and returns that answer (eventNotHandledErr when none
// did).
PLATFORM_EXPORT OSStatus SendEventToEventTarget(EventRef event, EventTargetRef target);
// From inside a handler: delivers the event to the handlers that would have come next.
PLATFORM_EXPORT OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent);

PLATFORM_EXTERN_C_END
