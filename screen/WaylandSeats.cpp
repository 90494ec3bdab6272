#include "screen/WaylandSeats.h"

#include <cstring>
#include <wayland-client.h>

namespace {

void noteGlobal(void* data, wl_registry*, uint32_t, const char* interface, uint32_t)
{
    if (strcmp(interface, wl_seat_interface.name) == 0)
        *static_cast<bool*>(data) = true;
}

void forgetGlobal(void*, wl_registry*, uint32_t) { }

constexpr wl_registry_listener kListener = { noteGlobal, forgetGlobal };

}

bool waylandCompositorWithoutSeat()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return false;
    bool seat = false;
    wl_registry* registry = wl_display_get_registry(display);
    bool listed = registry && wl_registry_add_listener(registry, &kListener, &seat) == 0 && wl_display_roundtrip(display) >= 0;
    if (registry)
        wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return listed && !seat;
}
