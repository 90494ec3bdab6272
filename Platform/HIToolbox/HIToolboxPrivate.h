// Inside the stand-in: the objects behind windows, controls, menus, events and handlers.
// Every reference the platform hands out is checked against the set of live objects before
// use, so a stale or foreign reference is refused instead of followed.
#pragma once

#include <Graphics/QuickDrawPrivate.h>
#include <HIToolbox/CarbonEvents.h>

#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

// Objects of type T register themselves here while they live.
template<typename T>
class LiveSet {
public:
    void add(T* object) { m_objects.insert(object); }
    void remove(T* object) { m_objects.erase(object); }
    bool contains(const void* object) const { return m_objects.count(static_cast<T*>(const_cast<void*>(object))); }
    long count() const { return static_cast<long>(m_objects.size()); }

private:
    std::unordered_set<T*> m_objects;
};

struct HIWindow;
struct HIControl;
struct HIEventTarget;

struct HIHandlerRegistration {
    HIEventTarget* target;
    EventHandlerUPP handler;
    std::vector<EventTypeSpec> types;
    void* userData;

    bool handles(UInt32 eventClass, UInt32 kind) const;
};

struct HIEventTarget {
    enum class Kind {
        Application,
        Window,
        Control,
    };

    HIEventTarget(Kind targetKind, HIWindow* targetWindow, HIControl* targetControl);
    ~HIEventTarget();

    HIEventTarget(const HIEventTarget&) = delete;
    HIEventTarget& operator=(const HIEventTarget&) = delete;

    // The target an event goes to when no handler here took it.
    HIEventTarget* next() const;

    Kind kind;
    HIWindow* window;
    HIControl* control;
    // Oldest first; dispatch walks it from the back.
    std::vector<std::unique_ptr<HIHandlerRegistration>> handlers;
};

struct HIControl {
    HIControl(OSType controlKind, HIWindow* owner, const Rect& initialBounds);
    ~HIControl();

    HIControl(const HIControl&) = delete;
    HIControl& operator=(const HIControl&) = delete;

    bool effectivelyVisible() const;
    bool effectivelyEnabled() const;
    bool isEditField() const { return kind == kControlKindEditText || kind == kControlKindEditUnicodeText; }
    // Replaces the text, with the caret after it.
    void setText(std::string newText);
    void setValue(SInt32 newValue);
    void setWindow(HIWindow* owner);
    void offset(int dh, int dv);
    // The control's own slot in its parent's list of children.
    std::unique_ptr<HIControl>& slotInParent();

    OSType kind;
    HIWindow* window;
    HIControl* parent { nullptr };
    std::vector<std::unique_ptr<HIControl>> children;
    ControlID id {};
    Rect bounds;
    bool visible { true };
    bool enabled { true };
    SInt32 value { 0 };
    SInt32 minimum { 0 };
    SInt32 maximum { 0 };
    // Edit fields keep their clear text here, password fields included, as UTF-8; the
    // selection is a byte range on character boundaries.
    std::string text;
    size_t selectionStart { 0 };
    size_t selectionEnd { 0 };
    ControlKeyFilterUPP keyFilter { nullptr };
    ControlFontStyleRec fontStyle {};
    CFStringRef title { nullptr };
    MenuRef menu { nullptr };
    bool password { false };
    UInt32 commandID { 0 };
    std::map<std::pair<UInt32, UInt32>, std::vector<UInt8>> properties;
    HIEventTarget target;
};

struct HIWindow {
    HIWindow(WindowClass windowClass, const Rect& contentBounds);
    ~HIWindow();

    HIWindow(const HIWindow&) = delete;
    HIWindow& operator=(const HIWindow&) = delete;

    WindowClass windowClass;
    Rect bounds;
    // The interface definition's name for the window, when it was made from one.
    std::string definitionName;
    CFStringRef title { nullptr };
    bool visible { false };
    HIControl* defaultButton { nullptr };
    HIControl* cancelButton { nullptr };
    HIControl* focus { nullptr };
    QDPort port;
    HIEventTarget target;
    std::unique_ptr<HIControl> root;
};

struct HIMenuItem {
    CFStringRef text;
    MenuItemAttributes attributes;
    MenuCommand command;
};

struct HIMenu {
    explicit HIMenu(MenuID menuID);
    ~HIMenu();

    HIMenu(const HIMenu&) = delete;
    HIMenu& operator=(const HIMenu&) = delete;

    MenuID id;
    long retainCount { 1 };
    std::vector<HIMenuItem> items;
};

LiveSet<HIWindow>& _HILiveWindows();
LiveSet<HIControl>& _HILiveControls();
LiveSet<HIMenu>& _HILiveMenus();
LiveSet<HIHandlerRegistration>& _HILiveHandlers();
LiveSet<HIEventTarget>& _HILiveTargets();
long _HILiveEventCount();
long _HILiveAlertCount();

HIWindow* _HIWindowFromRef(WindowRef window);
// The window of the innermost application-modal loop, or null.
HIWindow* _HIFrontModalWindow();
HIControl* _HIControlFromRef(ControlRef control);
HIMenu* _HIMenuFromRef(MenuRef menu);

inline WindowRef _HIRefFromWindow(HIWindow* window) { return reinterpret_cast<WindowRef>(window); }
inline ControlRef _HIRefFromControl(HIControl* control) { return reinterpret_cast<ControlRef>(control); }
inline MenuRef _HIRefFromMenu(HIMenu* menu) { return reinterpret_cast<MenuRef>(menu); }
