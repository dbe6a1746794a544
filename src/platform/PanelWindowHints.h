#pragma once

class QWindow;

// Window-manager hints that Qt's window flags do not cover: the panel shows
// on every workspace and stays out of the taskbar and the pager.
class PanelWindowHints
{
public:
    virtual ~PanelWindowHints() = default;
    // Called right before the window is mapped and again once it is on screen.
    virtual void apply(QWindow* window) = 0;
};

class NullPanelWindowHints : public PanelWindowHints
{
public:
    void apply(QWindow*) override { }
};
