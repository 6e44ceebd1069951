#pragma once

// Whether the desktop composites windows, so that a window's transparent pixels show what lies
// behind it. Without a compositing manager an X11 window's transparent pixels come out black.
namespace Compositing {

// Asks the window system each time: a compositing manager may start or stop at any moment.
bool available();

} // namespace Compositing
