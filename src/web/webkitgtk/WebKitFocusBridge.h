#pragma once

#include <array>
#include <cstdint>

#include <QObject>
#include <QPointer>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;
class QWidget;

// Hands the keyboard between the Qt panel and one embedded page. The page's
// GTK window has its own X focus, so Qt's focus and the X focus are kept in
// step by hand: a click into the page, Tab into it and out of it again, and
// Qt focus moving on to another widget.
class WebKitFocusBridge : public QObject
{
    Q_OBJECT

public:
    // The page's window needs focusable widgets around the page in its focus
    // chain, for a Tab out of the page to land on.
    WebKitFocusBridge(GtkWidget* window, WebKitWebView* webView, QWidget* container);
    ~WebKitFocusBridge() override;

    // The page takes the keyboard, its focused element keeping its focus.
    void focusPage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Entry
    {
        None,
        First,
        Last,
    };

    void enter(Entry entry);
    void giveXFocusToPage(unsigned time);
    void sendTabWhenReady();
    void leave(bool forward);
    void onFocusChanged(QWidget* old, QWidget* now);

    static int buttonPressed(GtkWidget*, void* event, WebKitFocusBridge* self);
    static int keyPressed(GtkWidget*, void* event, WebKitFocusBridge* self);
    static int windowKey(GtkWidget*, void* event, WebKitFocusBridge* self);
    static int windowFocusIn(GtkWidget*, void* event, WebKitFocusBridge* self);
    static void setFocus(GtkWidget*, GtkWidget* widget, WebKitFocusBridge* self);

    GtkWidget* m_window;
    WebKitWebView* m_webView;
    QPointer<QWidget> m_container;
    // Tab into the page waits for both: the marker placed by the script, and
    // GTK really holding the X focus.
    Entry m_entry = Entry::None;
    bool m_markerPlaced = false;
    bool m_leaving = false;
    // False while Qt's focus is elsewhere, and the X focus with it.
    bool m_pageHasKeys = false;
    std::uint32_t m_panelWindow = 0;
    // The page's last key, so that GTK focus leaving the page can tell a Tab
    // from anything else, and its direction.
    bool m_tabPressed = false;
    bool m_backtabPressed = false;
    // The page's latest key events. WebKit hands a key the page did not use
    // back to GTK only once the page has answered; by then the keyboard may
    // be Qt's again, and that key must not reach the panel a second time.
    struct PageKey
    {
        int type = 0;
        std::uint32_t time = 0;
        unsigned keyval = 0;
        std::uint16_t keycode = 0;
    };
    std::array<PageKey, 16> m_pageKeys {};
    std::size_t m_nextPageKey = 0;
};
