// Whether the Wayland compositor a program would show its windows on offers a seat: a keyboard
// and a pointer, for a person to type and click with. A compositor may have none (weston's
// headless backend, a kiosk that lost its devices).
#pragma once

// True when the compositor at WAYLAND_DISPLAY answers and lists no seat; false when it has one,
// or cannot be reached (Qt then says why itself).
bool waylandCompositorWithoutSeat();
