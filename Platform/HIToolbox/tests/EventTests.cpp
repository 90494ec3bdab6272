// Conformance of the Carbon Events stand-in: event parameters, and dispatch through targets,
// recorded as a sequence of handler calls and compared with the expected one.
#include "tests/support/LiveObjects.h"

#include <HIToolbox/HIToolbox.h>
#include <HIToolbox/HIToolboxStandIn.h>

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace {

const Rect kSomewhere = { 10, 20, 110, 220 };
const EventTypeSpec kHit = { kEventClassControl, kEventControlHit };
const EventTypeSpec kDraw = { kEventClassControl, kEventControlDraw };
const EventTypeSpec kCommand = { kEventClassCommand, kEventCommandProcess };
using Sequence = std::vector<std::string>;

// One installed handler: it logs its label, then runs its action or gives its answer.
struct Probe {
    std::string label;
    OSStatus answer;
    Sequence* log;
    std::function<OSStatus(EventHandlerCallRef, EventRef)> action;
    EventHandlerRef ref { nullptr };
};

OSStatus probeHandler(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* probe = static_cast<Probe*>(userData);
    probe->log->push_back(probe->label);
    return probe->action ? probe->action(call, event) : probe->answer;
}

class EventTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        const Rect content = { 40, 50, 340, 450 };
        ASSERT_EQ(CreateNewWindow(kMovableModalWindowClass, kWindowNoAttributes, &content, &window), noErr);
        ASSERT_EQ(GetRootControl(window, &root), noErr);
        ASSERT_EQ(CreateUserPaneControl(window, &kSomewhere, 0, &pane), noErr);
        ASSERT_EQ(CreatePushButtonControl(window, &kSomewhere, CFSTR("OK"), &button), noErr);
        ASSERT_EQ(EmbedControl(button, pane), noErr);
        ASSERT_EQ(CreateEvent(kCFAllocatorDefault, kEventClassControl, kEventControlHit, 0, kEventAttributeNone, &hit), noErr);
    }
    void TearDown() override
    {
        // The application target outlives every test; its handlers must not.
        for (EventHandlerRef ref : applicationHandlers)
            EXPECT_EQ(RemoveEventHandler(ref), noErr);
        ReleaseEvent(hit);
        DisposeWindow(window);
        BalancedTest::TearDown();
    }

    Probe& install(EventTargetRef target, const char* label, OSStatus answer = eventNotHandledErr,
        std::vector<EventTypeSpec> types = { kHit })
    {
        Probe& probe = probes.emplace_back(Probe { label, answer, &log, nullptr });
        EXPECT_EQ(InstallEventHandler(target, NewEventHandlerUPP(probeHandler), types.size(), types.data(), &probe, &probe.ref), noErr);
        if (target == GetApplicationEventTarget())
            applicationHandlers.push_back(probe.ref);
        return probe;
    }

    // The full chain above the button, none of which answers.
    void installBystanders()
    {
        install(GetControlEventTarget(pane), "pane");
        install(GetControlEventTarget(root), "root");
        install(GetWindowEventTarget(window), "window");
        install(GetApplicationEventTarget(), "application");
    }

    WindowRef window { nullptr };
    ControlRef root { nullptr }, pane { nullptr }, button { nullptr };
    EventRef hit { nullptr };
    Sequence log;
    std::deque<Probe> probes;
    std::vector<EventHandlerRef> applicationHandlers;
};

TEST_F(EventTest, ParametersRoundTripAndMismatchesAreRefusedWithoutTouchingTheBuffer)
{
    EXPECT_EQ(GetEventClass(hit), static_cast<UInt32>(kEventClassControl));
    EXPECT_EQ(GetEventKind(hit), static_cast<UInt32>(kEventControlHit));
    const SInt32 number = 4711;
    const char text[] = "0123456789abcdef";
    ASSERT_EQ(SetEventParameter(hit, 'numb', typeSInt32, sizeof number, &number), noErr);
    ASSERT_EQ(SetEventParameter(hit, 'text', typeChar, sizeof text, text), noErr);

    SInt32 read = -1;
    EventParamType type = 0;
    UInt32 size = 0;
    EXPECT_EQ(GetEventParameter(hit, 'numb', typeSInt32, &type, sizeof read, &size, &read), noErr);
    EXPECT_EQ(read, number);
    EXPECT_EQ(type, static_cast<EventParamType>(typeSInt32));
    EXPECT_EQ(size, sizeof number);

    read = -1;
    EXPECT_EQ(GetEventParameter(hit, 'none', typeSInt32, nullptr, sizeof read, nullptr, &read), eventParameterNotFoundErr);
    EXPECT_EQ(GetEventParameter(hit, 'numb', typeUInt32, nullptr, sizeof read, nullptr, &read), errAECoercionFail);
    EXPECT_EQ(read, -1);
    char buffer[sizeof text];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetEventParameter(hit, 'text', typeChar, nullptr, 4, nullptr, buffer), errAEBufferTooSmall);
    EXPECT_EQ(std::string(buffer, 4), "####") << "a refused buffer was written";
    EXPECT_EQ(GetEventParameter(hit, 'text', typeWildCard, &type, sizeof buffer, &size, buffer), noErr);
    EXPECT_STREQ(buffer, text);
    EXPECT_EQ(type, static_cast<EventParamType>(typeChar));
    EXPECT_EQ(size, sizeof text);

    const long events = StandIn::liveToolboxObjectCount("event");
    EXPECT_EQ(RetainEvent(hit), hit);
    ReleaseEvent(hit);
    EXPECT_EQ(StandIn::liveToolboxObjectCount("event"), events) << "one release after a retain must not dispose";
    EXPECT_EQ(GetEventKind(hit), static_cast<UInt32>(kEventControlHit));
}

TEST_F(EventTest, NewestHandlerFirstThenEmbeddersWindowAndApplication)
{
    install(GetControlEventTarget(button), "button older");
    install(GetControlEventTarget(button), "button newer");
    installBystanders();
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), eventNotHandledErr);
    const Sequence expected = { "button newer", "button older", "pane", "root", "window", "application" };
    EXPECT_EQ(log, expected);

    log.clear();
    EXPECT_EQ(SendEventToEventTarget(hit, GetWindowEventTarget(window)), eventNotHandledErr);
    EXPECT_EQ(log, (Sequence { "window", "application" })) << "a window's event does not go down to its controls";
}

TEST_F(EventTest, DispatchStopsAtTheFirstAnswerOtherThanNotHandledAndReturnsIt)
{
    install(GetControlEventTarget(button), "button");
    installBystanders();
    install(GetControlEventTarget(pane), "pane refuses", paramErr);
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), paramErr) << "an error is an answer too";
    EXPECT_EQ(log, (Sequence { "button", "pane refuses" }));

    log.clear();
    install(GetControlEventTarget(button), "button handles", noErr);
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), noErr);
    EXPECT_EQ(log, (Sequence { "button handles" }));
}

TEST_F(EventTest, HandlersOnlySeeTheEventTypesTheyRegisteredFor)
{
    install(GetControlEventTarget(button), "draw only", noErr, { kDraw });
    install(GetControlEventTarget(button), "command or hit", eventNotHandledErr, { kCommand, kHit });
    install(GetWindowEventTarget(window), "window command", noErr, { kCommand });
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), eventNotHandledErr);
    EXPECT_EQ(log, (Sequence { "command or hit" }));

    log.clear();
    EventRef command = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &command), noErr);
    EXPECT_EQ(SendEventToEventTarget(command, GetControlEventTarget(button)), noErr);
    ReleaseEvent(command);
    EXPECT_EQ(log, (Sequence { "command or hit", "window command" }));
}

TEST_F(EventTest, AHostCountsTheHandlersThatTakeOneEventTypeOnItsControl)
{
    EventTargetRef target = GetControlEventTarget(button);
    EXPECT_EQ(StandIn::countEventHandlers(target, kEventClassControl, kEventControlHit), 0);
    install(target, "host's hit");
    install(target, "draw only", noErr, { kDraw });
    Probe& hook = install(target, "plug-in's command or hit", eventNotHandledErr, { kCommand, kHit });
    install(GetControlEventTarget(pane), "embedder's hit");
    EXPECT_EQ(StandIn::countEventHandlers(target, kEventClassControl, kEventControlHit), 2) << "only the button's own, and only for hits";
    EXPECT_EQ(StandIn::countEventHandlers(target, kEventClassControl, kEventControlDraw), 1);
    ASSERT_EQ(RemoveEventHandler(hook.ref), noErr);
    EXPECT_EQ(StandIn::countEventHandlers(target, kEventClassControl, kEventControlHit), 1) << "a removed hook no longer counts";
    DisposeControl(button);
    button = nullptr;
    EXPECT_EQ(StandIn::countEventHandlers(target, kEventClassControl, kEventControlHit), 0) << "a stale target has none";
    EXPECT_EQ(StandIn::countEventHandlers(nullptr, kEventClassControl, kEventControlHit), 0);
}

TEST_F(EventTest, RemovedHandlersAreNotCalledEvenWhenTheyRemoveThemselvesDuringDispatch)
{
    Probe& removed = install(GetControlEventTarget(button), "removed");
    Probe& self = install(GetControlEventTarget(button), "removes itself");
    self.action = [&self](EventHandlerCallRef, EventRef) {
        EXPECT_EQ(RemoveEventHandler(self.ref), noErr);
        return OSStatus(eventNotHandledErr);
    };
    install(GetWindowEventTarget(window), "window");
    EXPECT_EQ(RemoveEventHandler(removed.ref), noErr);
    EXPECT_EQ(RemoveEventHandler(removed.ref), paramErr) << "a second removal";

    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), eventNotHandledErr);
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), eventNotHandledErr);
    EXPECT_EQ(log, (Sequence { "removes itself", "window", "window" }));
}

TEST_F(EventTest, HandlerDisposingItsControlOrItsEmbedderDuringDispatchDoesNotCrash)
{
    installBystanders();
    install(GetControlEventTarget(button), "button older");
    install(GetControlEventTarget(button), "disposes button").action = [this](EventHandlerCallRef, EventRef) {
        DisposeControl(button);
        return OSStatus(eventNotHandledErr);
    };
    const long controls = StandIn::liveToolboxObjectCount("control");
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), eventNotHandledErr);
    EXPECT_EQ(log, (Sequence { "disposes button", "pane", "root", "window", "application" }));
    EXPECT_EQ(StandIn::liveToolboxObjectCount("control"), controls - 1);
    EXPECT_EQ(GetControlEventTarget(button), nullptr);
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), paramErr);

    // Now a control whose handler disposes of the pane it sits in, and so of itself.
    log.clear();
    ASSERT_EQ(CreatePushButtonControl(window, &kSomewhere, CFSTR("Cancel"), &button), noErr);
    ASSERT_EQ(EmbedControl(button, pane), noErr);
    install(GetControlEventTarget(button), "disposes pane").action = [this](EventHandlerCallRef, EventRef) {
        DisposeControl(pane);
        return OSStatus(eventNotHandledErr);
    };
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), eventNotHandledErr);
    EXPECT_EQ(log, (Sequence { "disposes pane", "root", "window", "application" }));
}

TEST_F(EventTest, AHandlerThatSendsItsEventAgainIsStoppedSixtyFourSendsDeep)
{
    int sends = 0;
    install(GetControlEventTarget(button), "sends again").action = [&](EventHandlerCallRef, EventRef event) {
        ++sends;
        return SendEventToEventTarget(event, GetControlEventTarget(button));
    };
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), eventInternalErr);
    EXPECT_EQ(sends, 64);
}

TEST_F(EventTest, CallNextEventHandlerRunsTheRemainingHandlersFromInsideAHandler)
{
    install(GetControlEventTarget(button), "button older");
    install(GetControlEventTarget(pane), "pane");
    install(GetWindowEventTarget(window), "window handles", noErr);
    install(GetApplicationEventTarget(), "application");
    Probe& outer = install(GetControlEventTarget(button), "outer before");
    outer.action = [this](EventHandlerCallRef call, EventRef event) {
        OSStatus next = CallNextEventHandler(call, event);
        log.push_back("outer after, next answered " + std::to_string(next));
        return next;
    };
    EXPECT_EQ(SendEventToEventTarget(hit, GetControlEventTarget(button)), noErr);
    const Sequence expected = { "outer before", "button older", "pane", "window handles", "outer after, next answered 0" };
    EXPECT_EQ(log, expected);
}

TEST_F(EventTest, Draw1ControlSendsDrawWithTheControlOnlyWhenItAndItsEmbeddersAreVisible)
{
    std::vector<ControlRef> drawn;
    install(GetWindowEventTarget(window), "window draw", noErr, { kDraw }).action = [&drawn](EventHandlerCallRef, EventRef event) {
        ControlRef direct = nullptr;
        EventParamType type = 0;
        EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, typeControlRef, &type, sizeof direct, nullptr, &direct), noErr);
        EXPECT_EQ(GetEventClass(event), static_cast<UInt32>(kEventClassControl));
        EXPECT_EQ(GetEventKind(event), static_cast<UInt32>(kEventControlDraw));
        drawn.push_back(direct);
        return OSStatus(noErr);
    };
    Draw1Control(button);
    EXPECT_EQ(drawn, std::vector<ControlRef> { button });

    drawn.clear();
    SetControlVisibility(pane, false, true);
    Draw1Control(button);
    Draw1Control(pane);
    EXPECT_TRUE(drawn.empty()) << "drew inside a hidden embedder: " << drawn.size();
    SetControlVisibility(pane, true, false);
    HideControl(button);
    Draw1Control(button);
    EXPECT_TRUE(drawn.empty()) << "drew a hidden control: " << drawn.size();
    EXPECT_EQ(log, (Sequence { "window draw" }));
}

} // namespace
