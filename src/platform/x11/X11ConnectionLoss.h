#pragma once

// The toolkits in this process end it when the X connection breaks: Qt
// through exit(), GTK (under the web engine) through _exit(), which skips
// every exit handler. Xlib asks one process-wide handler first; this puts
// ours in front of whichever toolkit's handler is there now.
namespace X11ConnectionLoss {
// Runs beforeEnd on a broken connection, then the handler it replaced.
// Call again after a toolkit has put in its own.
void callFirst(void (*beforeEnd)());
} // namespace X11ConnectionLoss
