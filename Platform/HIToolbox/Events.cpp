// Events, targets and handler dispatch.
#include <HIToolbox/HIToolboxPrivate.h>
#include <HIToolbox/HIToolboxStandIn.h>

#include <algorithm>
#include <cstring>

namespace {

struct HIEvent {
    struct Parameter {
        EventParamType type;
        std::vector<UInt8> bytes;
    };

    UInt32 eventClass;
    UInt32 kind;
    EventTime time;
    long retainCount { 1 };
    std::map<EventParamName, Parameter> parameters;
};

LiveSet<HIEvent>& liveEvents()
{
    static LiveSet<HIEvent> events;
    return events;
}

HIEvent* eventFromRef(EventRef event)
{
    auto* candidate = reinterpret_cast<HIEvent*>(event);
    return event && liveEvents().contains(candidate) ? candidate : nullptr;
}

HIEventTarget& applicationTarget()
{
    static HIEventTarget target(HIEventTarget::Kind::Application, nullptr, nullptr);
    return target;
}

EventTargetRef refFromTarget(HIEventTarget* target)
{
    return reinterpret_cast<EventTargetRef>(target);
}

// Where a dispatch stands: the targets still to visit and the handlers of the current one that
// have not run yet. A handler's EventHandlerCallRef points here, so that CallNextEventHandler
// goes on from the same place.
struct DispatchCursor {
    std::vector<HIEventTarget*> chain;
    size_t nextTarget { 0 };
    std::vector<HIHandlerRegistration*> pending;
};

// A handler that sends events from inside a handler that sends events... is a bug, but must
// not overflow the stack.
constexpr int kMaximumDispatchDepth = 64;
int gDispatchDepth = 0;

OSStatus dispatch(DispatchCursor& cursor, EventRef event)
{
    if (gDispatchDepth >= kMaximumDispatchDepth)
        return eventInternalErr;
    ++gDispatchDepth;
    OSStatus result = eventNotHandledErr;
    auto* object = eventFromRef(event);
    for (;;) {
        if (cursor.pending.empty()) {
            if (cursor.nextTarget >= cursor.chain.size())
                break;
            HIEventTarget* target = cursor.chain[cursor.nextTarget++];
            // A handler may have disposed of a control or window further up the chain.
            if (!_HILiveTargets().contains(target))
                continue;
            for (auto it = target->handlers.rbegin(); it != target->handlers.rend(); ++it)
                cursor.pending.push_back(it->get());
            continue;
        }
        HIHandlerRegistration* registration = cursor.pending.front();
        cursor.pending.erase(cursor.pending.begin());
        if (!_HILiveHandlers().contains(registration) || !registration->handles(object->eventClass, object->kind))
            continue;
        result = registration->handler(reinterpret_cast<EventHandlerCallRef>(&cursor), event, registration->userData);
        if (result != eventNotHandledErr)
            break;
    }
    --gDispatchDepth;
    return result;
}

}

LiveSet<HIHandlerRegistration>& _HILiveHandlers()
{
    static LiveSet<HIHandlerRegistration> handlers;
    return handlers;
}

LiveSet<HIEventTarget>& _HILiveTargets()
{
    static LiveSet<HIEventTarget> targets;
    return targets;
}

long _HILiveEventCount()
{
    return liveEvents().count();
}

bool HIHandlerRegistration::handles(UInt32 eventClass, UInt32 kind) const
{
    return std::any_of(types.begin(), types.end(),
        [&](const EventTypeSpec& spec) { return spec.eventClass == eventClass && spec.eventKind == kind; });
}

HIEventTarget::HIEventTarget(Kind targetKind, HIWindow* targetWindow, HIControl* targetControl)
    : kind(targetKind)
    , window(targetWindow)
    , control(targetControl)
{
    _HILiveTargets().add(this);
}

HIEventTarget::~HIEventTarget()
{
    _HILiveTargets().remove(this);
    for (auto& registration : handlers)
        _HILiveHandlers().remove(registration.get());
}

HIEventTarget* HIEventTarget::next() const
{
    switch (kind) {
    case Kind::Control:
        if (control->parent)
            return &control->parent->target;
        return window ? &window->target : &applicationTarget();
    case Kind::Window:
        return &applicationTarget();
    case Kind::Application:
        return nullptr;
    }
    return nullptr;
}

EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr userRoutine)
{
    return userRoutine;
}

void DisposeEventHandlerUPP(EventHandlerUPP)
{
}

EventTargetRef GetApplicationEventTarget(void)
{
    return refFromTarget(&applicationTarget());
}

EventTargetRef GetWindowEventTarget(WindowRef window)
{
    auto* object = _HIWindowFromRef(window);
    return object ? refFromTarget(&object->target) : nullptr;
}

EventTargetRef GetControlEventTarget(ControlRef control)
{
    auto* object = _HIControlFromRef(control);
    return object ? refFromTarget(&object->target) : nullptr;
}

OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
    void* userData, EventHandlerRef* outRef)
{
    auto* object = reinterpret_cast<HIEventTarget*>(target);
    if (!target || !_HILiveTargets().contains(object) || !handler || (numTypes > 0 && !list))
        return paramErr;
    auto registration = std::make_unique<HIHandlerRegistration>(
        HIHandlerRegistration { object, handler, std::vector<EventTypeSpec>(list, list + numTypes), userData });
    _HILiveHandlers().add(registration.get());
    if (outRef)
        *outRef = reinterpret_cast<EventHandlerRef>(registration.get());
    object->handlers.push_back(std::move(registration));
    return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef handlerRef)
{
    auto* registration = reinterpret_cast<HIHandlerRegistration*>(handlerRef);
    if (!handlerRef || !_HILiveHandlers().contains(registration))
        return paramErr;
    _HILiveHandlers().remove(registration);
    auto& handlers = registration->target->handlers;
    handlers.erase(std::find_if(handlers.begin(), handlers.end(), [&](auto& held) { return held.get() == registration; }));
    return noErr;
}

long StandIn::countEventHandlers(EventTargetRef target, UInt32 eventClass, UInt32 kind)
{
    auto* object = reinterpret_cast<HIEventTarget*>(target);
    if (!target || !_HILiveTargets().contains(object))
        return 0;
    return std::count_if(object->handlers.begin(), object->handlers.end(), [&](auto& held) { return held->handles(eventClass, kind); });
}

OSStatus CreateEvent(CFAllocatorRef, UInt32 eventClass, UInt32 kind, EventTime when, EventAttributes, EventRef* outEvent)
{
    if (!outEvent)
        return paramErr;
    auto* event = new HIEvent { eventClass, kind, when, 1, {} };
    liveEvents().add(event);
    *outEvent = reinterpret_cast<EventRef>(event);
    return noErr;
}

EventRef RetainEvent(EventRef event)
{
    if (auto* object = eventFromRef(event))
        ++object->retainCount;
    return event;
}

void ReleaseEvent(EventRef event)
{
    auto* object = eventFromRef(event);
    if (!object || --object->retainCount > 0)
        return;
    liveEvents().remove(object);
    delete object;
}

UInt32 GetEventClass(EventRef event)
{
    auto* object = eventFromRef(event);
    return object ? object->eventClass : 0;
}

UInt32 GetEventKind(EventRef event)
{
    auto* object = eventFromRef(event);
    return object ? object->kind : 0;
}

OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, UInt32 size, const void* data)
{
    auto* object = eventFromRef(event);
    if (!object || (size > 0 && !data))
        return paramErr;
    auto* bytes = static_cast<const UInt8*>(data);
    object->parameters[name] = { type, std::vector<UInt8>(bytes, bytes + size) };
    return noErr;
}

OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType, EventParamType* outActualType,
    UInt32 bufferSize, UInt32* outActualSize, void* outData)
{
    auto* object = eventFromRef(event);
    if (!object)
        return paramErr;
    auto found = object->parameters.find(name);
    if (found == object->parameters.end())
        return eventParameterNotFoundErr;
    const auto& parameter = found->second;
    if (desiredType != typeWildCard && desiredType != parameter.type)
        return errAECoercionFail;
    if (outData && bufferSize < parameter.bytes.size())
        return errAEBufferTooSmall;
    if (outData && !parameter.bytes.empty())
        memcpy(outData, parameter.bytes.data(), parameter.bytes.size());
    if (outActualType)
        *outActualType = parameter.type;
    if (outActualSize)
        *outActualSize = static_cast<UInt32>(parameter.bytes.size());
    return noErr;
}

OSStatus SendEventToEventTarget(EventRef event, EventTargetRef target)
{
    auto* object = reinterpret_cast<HIEventTarget*>(target);
    if (!eventFromRef(event) || !target || !_HILiveTargets().contains(object))
        return paramErr;
    DispatchCursor cursor;
    for (HIEventTarget* step = object; step; step = step->next())
        cursor.chain.push_back(step);
    RetainEvent(event);
    OSStatus result = dispatch(cursor, event);
    ReleaseEvent(event);
    return result;
}

OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent)
{
    if (!inCallRef || !eventFromRef(inEvent))
        return paramErr;
    return dispatch(*reinterpret_cast<DispatchCursor*>(inCallRef), inEvent);
}
