// Nib references: a parsed interface definition kept as a counted object, and windows built from
// it with the public toolbox calls, so that they are indistinguishable from windows built by hand.
#include <HIToolbox/IBCarbonRuntime.h>

#include <Base/RegularFile.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFHolder.h>
#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringPrivate.h>
#include <HIToolbox/Controls.h>
#include <HIToolbox/HIToolboxPrivate.h>
#include <HIToolbox/InterfaceDefinitionStandIn.h>
#include <HIToolbox/Menus.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

struct OpaqueIBNibRef final : __CFRuntimeBase {
    explicit OpaqueIBNibRef(StandIn::InterfaceDefinition::Description parsed)
        : __CFRuntimeBase(classTypeID())
        , description(std::move(parsed))
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("IBNibRef");
        return typeID;
    }

    const StandIn::InterfaceDefinition::Description description;
};

namespace StandIn::InterfaceDefinition {

namespace {

using OwnedString = StandIn::CFHolder<__CFString>;

struct MenuReleaser {
    void operator()(OpaqueMenuRef* menu) const { ReleaseMenu(menu); }
};
using OwnedMenu = std::unique_ptr<OpaqueMenuRef, MenuReleaser>;

struct WindowDisposer {
    void operator()(OpaqueWindowPtr* window) const { DisposeWindow(window); }
};
using OwnedWindow = std::unique_ptr<OpaqueWindowPtr, WindowDisposer>;

OwnedString makeString(const std::string& text)
{
    return OwnedString(StandIn::createString(text));
}

// The popup's items, with the hidden ones marked; the control keeps its own reference.
OSStatus attachMenu(ControlRef popup, const Control& description)
{
    MenuRef created = nullptr;
    if (OSStatus status = CreateNewMenu(0, 0, &created))
        return status;
    OwnedMenu menu(created);
    for (const auto& item : description.items) {
        if (OSStatus status = AppendMenuItemTextWithCFString(menu.get(), makeString(item).get(), 0, 0, nullptr))
            return status;
    }
    for (int item : description.hiddenItems) {
        if (OSStatus status = ChangeMenuItemAttributes(menu.get(), static_cast<MenuItemIndex>(item), kMenuItemAttrHidden, 0))
            return status;
    }
    MenuRef attached = menu.get();
    if (OSStatus status = SetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof attached, &attached))
        return status;
    // A popup's range follows its menu, so a value set before the menu would be clamped away.
    SetControl32BitValue(popup, description.value);
    return noErr;
}

OSStatus createControl(WindowRef window, const Control& description, ControlRef* outControl)
{
    const Rect* bounds = &description.bounds;
    OwnedString title = makeString(description.title);
    OwnedString text = makeString(description.text);
    switch (description.kind) {
    case kControlKindUserPane:
        return CreateUserPaneControl(window, bounds, 0, outControl);
    case kControlKindStaticText:
        return CreateStaticTextControl(window, bounds, text.get(), nullptr, outControl);
    case kControlKindEditUnicodeText:
        return CreateEditTextControl(window, bounds, text.get(), description.password, false, nullptr, outControl);
    case kControlKindPopupButton: {
        // Menu id -12345: the menu comes through the menu-reference data tag, not from a resource.
        if (OSStatus status = CreatePopupButtonControl(window, bounds, title.get(), -12345, false, 0, 0, 0, outControl))
            return status;
        return attachMenu(*outControl, description);
    }
    case kControlKindRadioButton:
        return CreateRadioButtonControl(window, bounds, title.get(), description.value, true, outControl);
    case kControlKindCheckBox:
        return CreateCheckBoxControl(window, bounds, title.get(), description.value, true, outControl);
    case kControlKindPushButton:
        return CreatePushButtonControl(window, bounds, title.get(), outControl);
    default:
        return paramErr;
    }
}

OSStatus configureControl(WindowRef window, ControlRef control, ControlRef embedder, const Control& description)
{
    if (description.id) {
        if (OSStatus status = SetControlID(control, &*description.id))
            return status;
    }
    if (description.command) {
        if (OSStatus status = SetControlCommandID(control, description.command))
            return status;
    }
    if (embedder) {
        if (OSStatus status = EmbedControl(control, embedder))
            return status;
    }
    if (!description.visible)
        HideControl(control);
    if (!description.enabled) {
        if (OSStatus status = DisableControl(control))
            return status;
    }
    if (description.isDefault) {
        if (OSStatus status = SetWindowDefaultButton(window, control))
            return status;
    }
    if (description.isCancel) {
        if (OSStatus status = SetWindowCancelButton(window, control))
            return status;
    }
    return noErr;
}

OSStatus createWindow(const Window& description, WindowRef* outWindow)
{
    WindowRef created = nullptr;
    if (OSStatus status = CreateNewWindow(description.windowClass, kWindowStandardHandlerAttribute, &description.bounds, &created))
        return status;
    OwnedWindow window(created);
    _HIWindowFromRef(created)->definitionName = description.name;
    if (!description.title.empty()) {
        if (OSStatus status = SetWindowTitleWithCFString(window.get(), makeString(description.title).get()))
            return status;
    }
    std::vector<ControlRef> controls;
    controls.reserve(description.controls.size());
    for (const Control& control : description.controls) {
        ControlRef built = nullptr;
        if (OSStatus status = createControl(window.get(), control, &built))
            return status;
        controls.push_back(built);
        ControlRef embedder = control.parent >= 0 ? controls.at(control.parent) : nullptr;
        if (OSStatus status = configureControl(window.get(), built, embedder, control))
            return status;
    }
    *outWindow = window.release();
    return noErr;
}

void report(const char* path, int line, const std::string& message)
{
    fprintf(stderr, "%s:%d: %s\n", path, line, message.c_str());
}

// An oversized file is refused as malformed, the parser's own verdict on one, without the whole
// of it being held in memory.
OSStatus readFile(const char* path, std::string& contents)
{
    StandIn::FileFailure failure;
    if (StandIn::readRegularFile(path, kMaximumFileSize, contents, &failure))
        return noErr;
    if (failure.status != StandIn::FileStatus::notFound)
        report(path, 0, failure.describe());
    return failure.status == StandIn::FileStatus::tooLarge ? kIBCarbonRuntimeMalformedNibFile : kIBCarbonRuntimeCantFindNibFile;
}

// Calls out of C must not let an exception through; running out of memory is the only one.
template<typename Body>
OSStatus guarded(Body body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

}

OSStatus buildWindow(const Window& window, WindowRef* outWindow)
{
    if (!outWindow)
        return paramErr;
    *outWindow = nullptr;
    return guarded([&] { return createWindow(window, outWindow); });
}

namespace {

void localize(std::string& text, CFBundleRef bundle, CFStringRef table)
{
    if (text.empty())
        return;
    OwnedString key = makeString(text);
    if (!key)
        return;
    OwnedString translated(CFBundleCopyLocalizedString(bundle, key.get(), key.get(), table));
    if (translated)
        text = StandIn::toUTF8(translated.get());
}

void localize(Description& description, CFBundleRef bundle, CFStringRef table)
{
    for (auto& window : description.windows) {
        localize(window.title, bundle, table);
        for (auto& control : window.controls) {
            localize(control.title, bundle, table);
            localize(control.text, bundle, table);
            for (auto& item : control.items)
                localize(item, bundle, table);
        }
    }
}

}

OSStatus createNibReferenceFromFile(const char* path, IBNibRef* outNibRef, CFBundleRef localizingBundle, CFStringRef stringsTable)
{
    if (!outNibRef)
        return paramErr;
    *outNibRef = nullptr;
    if (!path)
        return paramErr;
    return guarded([&] {
        std::string contents;
        if (OSStatus status = readFile(path, contents))
            return status;
        ParseResult parsed = parse(contents);
        if (parsed.error) {
            report(path, parsed.error->line, parsed.error->message);
            return OSStatus(kIBCarbonRuntimeMalformedNibFile);
        }
        if (localizingBundle)
            localize(parsed.description, localizingBundle, stringsTable);
        *outNibRef = new OpaqueIBNibRef(std::move(parsed.description));
        return OSStatus(noErr);
    });
}

}

OSStatus CreateNibReferenceWithCFBundle(CFBundleRef inBundle, CFStringRef inNibName, IBNibRef* outNibRef)
{
    if (!outNibRef)
        return paramErr;
    *outNibRef = nullptr;
    if (!inBundle || !inNibName)
        return paramErr;
    StandIn::CFHolder<__CFURL> url(CFBundleCopyResourceURL(inBundle, inNibName, CFSTR("nib"), nullptr));
    char path[PATH_MAX];
    if (!url || !CFURLGetFileSystemRepresentation(url.get(), true, reinterpret_cast<UInt8*>(path), sizeof path))
        return kIBCarbonRuntimeCantFindNibFile;
    return StandIn::InterfaceDefinition::createNibReferenceFromFile(path, outNibRef, inBundle, inNibName);
}

OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef* outWindow)
{
    if (!outWindow)
        return paramErr;
    *outWindow = nullptr;
    auto* nib = _CFCast<OpaqueIBNibRef>(inNibRef);
    if (!nib || !inName || CFGetTypeID(inName) != CFStringGetTypeID())
        return paramErr;
    return StandIn::InterfaceDefinition::guarded([&] {
        const StandIn::InterfaceDefinition::Window* window = nib->description.window(StandIn::toUTF8(inName));
        if (!window)
            return OSStatus(kIBCarbonRuntimeCantFindObject);
        return StandIn::InterfaceDefinition::buildWindow(*window, outWindow);
    });
}

void DisposeNibReference(IBNibRef inNibToDispose)
{
    if (_CFCast<OpaqueIBNibRef>(inNibToDispose))
        CFRelease(inNibToDispose);
}
