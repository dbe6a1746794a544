#pragma once

#include "platform/PanelWindowHints.h"

// _NET_WM_DESKTOP 0xFFFFFFFF with _NET_WM_STATE_STICKY, _SKIP_TASKBAR,
// _SKIP_PAGER and _ABOVE: written as properties before the window is mapped,
// sent to the window manager as requests once it is. Once it is, Qt's record
// of the window's position is also checked against the server's.
class X11PanelWindowHints : public PanelWindowHints
{
public:
    void apply(QWindow* window) override;
};
