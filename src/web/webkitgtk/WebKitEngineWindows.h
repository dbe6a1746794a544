#pragma once

#include <QList>
#include <QPointer>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitPrintOperation WebKitPrintOperation;
class QWidget;

// Windows the engine opens of its own accord for a page (the print dialog, a
// colour chooser): each is made a transient of the panel that shows the
// page, so it stays above that always-on-top panel, and it hides while the
// panel is hidden. One per page view.
class WebKitEngineWindows
{
public:
    // `pageWindow` is the GTK toplevel that holds the page; the engine makes
    // its windows transient for it. `container` is the page's Qt widget.
    WebKitEngineWindows(GtkWidget* pageWindow, QWidget* container);
    ~WebKitEngineWindows();
    WebKitEngineWindows(const WebKitEngineWindows&) = delete;
    WebKitEngineWindows& operator=(const WebKitEngineWindows&) = delete;

    // Asks how to print the page in a dialog that, unlike the engine's own,
    // runs no loop of its own inside the engine's signal: the program and
    // the page's tab stay free while it is open, and closing the tab closes
    // it. Prints when the user says so.
    void print(WebKitPrintOperation* operation);

    // The panel went away or came back.
    void setPanelShown(bool shown);

    // The engine windows of this page now open.
    QList<GtkWidget*> windows() const { return m_windows; }

private:
    static int realized(void* hint, unsigned paramCount, const void* params, void* data);
    static void gone(GtkWidget* window, WebKitEngineWindows* self);
    void adopt(GtkWidget* window);

    GtkWidget* m_pageWindow;
    QPointer<QWidget> m_container;
    QList<GtkWidget*> m_windows;
    QList<GtkWidget*> m_hiddenWithPanel;
    // The print dialog now open, and the operation it is for.
    GtkWidget* m_printDialog = nullptr;
    WebKitPrintOperation* m_printing = nullptr;
};
