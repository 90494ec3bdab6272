// rdp-input: a remote desktop client of the tests' own for weston's RDP backend, which is how a
// test's keys and clicks reach a Wayland compositor that has no screen: the compositor takes
// them from the client as a seat's keyboard and pointer, and hands them to the window under the
// pointer or with the keyboard focus, as it would a person's.
//
//     rdp-input HOST PORT WIDTH HEIGHT
//
// connects, says "connected" once the compositor has made the client's seat, and then does what
// each line of its standard input says:
//
//     click X Y      moves the pointer to X,Y on the screen and clicks the left button there
//     type TEXT      presses and releases the key of each character (letters, with Shift for a
//                    capital, digits, space, '-' and '.') on a US keyboard
//     picture FILE   writes what the compositor last sent of the screen as a PNG file
//
// answering the Nth line with "done N". A line it cannot carry out, or a lost connection, ends
// it with the reason on standard error; the end of its standard input ends it with status 0.
#include <freerdp/freerdp.h>
#include <freerdp/gdi/gdi.h>
#include <freerdp/graphics.h>
#include <freerdp/input.h>
#include <winpr/input.h>
#include <winpr/synch.h>
#include <winpr/wlog.h>

#include <QImage>

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// The keyboard type of the scan codes sent: the IBM enhanced keyboard, as every RDP client sends.
constexpr DWORD kEnhancedKeyboard = 4;

struct Key {
    DWORD virtualKey;
    bool shifted;
};

std::optional<Key> keyOf(char character)
{
    if (character >= 'a' && character <= 'z')
        return Key { static_cast<DWORD>(VK_KEY_A + (character - 'a')), false };
    if (character >= 'A' && character <= 'Z')
        return Key { static_cast<DWORD>(VK_KEY_A + (character - 'A')), true };
    if (character >= '0' && character <= '9')
        return Key { static_cast<DWORD>(VK_KEY_0 + (character - '0')), false };
    switch (character) {
    case ' ': return Key { VK_SPACE, false };
    case '-': return Key { VK_OEM_MINUS, false };
    case '.': return Key { VK_OEM_PERIOD, false };
    default: return std::nullopt;
    }
}

void press(rdpInput* input, DWORD virtualKey, bool down)
{
    freerdp_input_send_keyboard_event_ex(input, down, GetVirtualScanCodeFromVirtualKeyCode(virtualKey, kEnhancedKeyboard));
}

bool type(rdpInput* input, const std::string& text, std::string* error)
{
    for (char character : text) {
        if (!keyOf(character)) {
            *error = std::string("no key types '") + character + "'";
            return false;
        }
    }
    for (char character : text) {
        Key key = *keyOf(character);
        if (key.shifted)
            press(input, VK_LSHIFT, true);
        press(input, key.virtualKey, true);
        press(input, key.virtualKey, false);
        if (key.shifted)
            press(input, VK_LSHIFT, false);
    }
    return true;
}

bool click(rdpInput* input, const std::string& arguments, std::string* error)
{
    std::istringstream numbers(arguments);
    int x = -1;
    int y = -1;
    if (!(numbers >> x >> y) || x < 0 || y < 0 || x > UINT16_MAX || y > UINT16_MAX) {
        *error = "click needs a point X Y on the screen";
        return false;
    }
    auto at = [&](UINT16 flags) { freerdp_input_send_mouse_event(input, flags, static_cast<UINT16>(x), static_cast<UINT16>(y)); };
    at(PTR_FLAGS_MOVE);
    at(PTR_FLAGS_DOWN | PTR_FLAGS_BUTTON1);
    at(PTR_FLAGS_BUTTON1);
    return true;
}

bool picture(rdpContext* context, const std::string& path, std::string* error)
{
    rdpGdi* gdi = context->gdi;
    QImage screen(gdi->primary_buffer, gdi->width, gdi->height, static_cast<qsizetype>(gdi->stride), QImage::Format_RGB32);
    if (!screen.save(QString::fromStdString(path), "PNG")) {
        *error = path + ": cannot be written";
        return false;
    }
    return true;
}

bool perform(rdpContext* context, const std::string& line, std::string* error)
{
    size_t space = line.find(' ');
    std::string action = line.substr(0, space);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (action == "click")
        return click(context->input, rest, error);
    if (action == "type")
        return type(context->input, rest, error);
    if (action == "key" && rest == "return") {
        press(context->input, VK_RETURN, true);
        press(context->input, VK_RETURN, false);
        return true;
    }
    if (action == "picture")
        return picture(context, rest, error);
    *error = "unknown action \"" + action + "\"";
    return false;
}

BOOL keepPicture(freerdp* instance)
{
    if (!gdi_init(instance, PIXEL_FORMAT_BGRX32))
        return FALSE;
    // The compositor sends the pointer's shape; there is no screen here to draw it on.
    rdpPointer pointer = {};
    pointer.size = sizeof pointer;
    pointer.New = [](rdpContext*, rdpPointer*) -> BOOL { return TRUE; };
    pointer.Free = [](rdpContext*, rdpPointer*) {};
    pointer.Set = [](rdpContext*, const rdpPointer*) -> BOOL { return TRUE; };
    pointer.SetNull = [](rdpContext*) -> BOOL { return TRUE; };
    pointer.SetDefault = [](rdpContext*) -> BOOL { return TRUE; };
    pointer.SetPosition = [](rdpContext*, UINT32, UINT32) -> BOOL { return TRUE; };
    graphics_register_pointer(instance->context->graphics, &pointer);
    // Each update is drawn into the picture at once; nothing needs telling which parts changed.
    instance->update->BeginPaint = [](rdpContext* context) -> BOOL {
        context->gdi->primary->hdc->hwnd->invalid->null = TRUE;
        context->gdi->primary->hdc->hwnd->ninvalid = 0;
        return TRUE;
    };
    instance->update->EndPaint = [](rdpContext*) -> BOOL { return TRUE; };
    return TRUE;
}

// The test's own compositor, with a certificate made for the test: accepted for this session.
DWORD acceptCertificate(freerdp*, const char*, UINT16, const char*, const char*, const char*, const char*, DWORD)
{
    return 2;
}

int fail(const std::string& why)
{
    fprintf(stderr, "rdp-input: %s\n", why.c_str());
    return 1;
}

}

int main(int argc, char** argv)
{
    if (argc != 5)
        return fail("usage: rdp-input HOST PORT WIDTH HEIGHT");
    WLog_SetLogLevel(WLog_GetRoot(), WLOG_ERROR);
    freerdp* instance = freerdp_new();
    instance->PostConnect = keepPicture;
    instance->VerifyCertificateEx = acceptCertificate;
    if (!freerdp_context_new(instance))
        return fail("cannot make the client");
    rdpSettings* settings = instance->settings;
    freerdp_settings_set_string(settings, FreeRDP_ServerHostname, argv[1]);
    freerdp_settings_set_uint32(settings, FreeRDP_ServerPort, static_cast<UINT32>(atoi(argv[2])));
    freerdp_settings_set_uint32(settings, FreeRDP_DesktopWidth, static_cast<UINT32>(atoi(argv[3])));
    freerdp_settings_set_uint32(settings, FreeRDP_DesktopHeight, static_cast<UINT32>(atoi(argv[4])));
    freerdp_settings_set_uint32(settings, FreeRDP_ColorDepth, 32);
    freerdp_settings_set_uint32(settings, FreeRDP_KeyboardLayout, 0x409);
    // weston takes no user name and no password; it draws through surface commands.
    freerdp_settings_set_bool(settings, FreeRDP_NlaSecurity, FALSE);
    freerdp_settings_set_bool(settings, FreeRDP_SurfaceCommandsEnabled, TRUE);
    if (!freerdp_connect(instance))
        return fail(std::string("cannot connect to ") + argv[1] + " port " + argv[2] + ": " + freerdp_get_last_error_string(freerdp_get_last_error(instance->context)));
    printf("connected\n");
    fflush(stdout);

    HANDLE input = CreateFileDescriptorEvent(nullptr, FALSE, FALSE, STDIN_FILENO, WINPR_FD_READ);
    std::string pending;
    int answered = 0;
    for (;;) {
        HANDLE handles[MAXIMUM_WAIT_OBJECTS];
        handles[0] = input;
        DWORD count = freerdp_get_event_handles(instance->context, handles + 1, MAXIMUM_WAIT_OBJECTS - 1);
        if (count == 0 || WaitForMultipleObjects(count + 1, handles, FALSE, INFINITE) == WAIT_FAILED)
            return fail("cannot wait for the connection");
        if (!freerdp_check_event_handles(instance->context))
            return fail("the compositor closed the connection");
        if (WaitForSingleObject(input, 0) != WAIT_OBJECT_0)
            continue;
        char buffer[4096];
        ssize_t length = read(STDIN_FILENO, buffer, sizeof buffer);
        if (length == 0)
            break;
        if (length < 0)
            continue;
        pending.append(buffer, static_cast<size_t>(length));
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            std::string error;
            if (!perform(instance->context, line, &error))
                return fail("line " + std::to_string(answered + 1) + ": " + error);
            printf("done %d\n", ++answered);
            fflush(stdout);
        }
    }
    freerdp_disconnect(instance);
    CloseHandle(input);
    freerdp_context_free(instance);
    freerdp_free(instance);
    return 0;
}
