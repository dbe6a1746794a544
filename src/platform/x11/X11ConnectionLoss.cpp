#include "X11ConnectionLoss.h"

#include <X11/Xlib.h>

namespace {
void (*s_beforeEnd)() = nullptr;
XIOErrorHandler s_previous = nullptr;

int connectionBroke(Display* display)
{
    if (auto beforeEnd = s_beforeEnd) {
        s_beforeEnd = nullptr;
        beforeEnd();
    }
    // Whatever the toolkit would have done: it ends the process.
    return s_previous ? s_previous(display) : 0;
}
} // namespace

void X11ConnectionLoss::callFirst(void (*beforeEnd)())
{
    s_beforeEnd = beforeEnd;
    XIOErrorHandler previous = XSetIOErrorHandler(&connectionBroke);
    if (previous != &connectionBroke)
        s_previous = previous;
}
