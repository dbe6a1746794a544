#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QLineEdit;
class SymbolButton;
class WebView;

// Find in page: one line under the address bar with the text to find, the
// match count ("3 of 12") and a close button. Return goes to the next
// match, Shift+Return to the previous; Escape closes the bar and gives the
// keyboard back to the page.
class BrowserFindBar : public QWidget
{
    Q_OBJECT

public:
    explicit BrowserFindBar(QWidget* parent = nullptr);

    // Shows the bar for this page, its text chosen, ready for typing.
    void open(WebView* page);
    // Ends the search and hides the bar; the page gets the keyboard.
    void close();
    WebView* page() const { return m_page; }

    QLineEdit* field() const { return m_field; }
    QLabel* countLabel() const { return m_count; }
    SymbolButton* closeButton() const { return m_close; }

    // "3 of 12", "No matches" or nothing.
    static QString countText(int current, int total, bool searching);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search(bool backwards);
    void showResult(int current, int total);
    void detach();

    QPointer<WebView> m_page;
    QLineEdit* m_field = nullptr;
    QLabel* m_count = nullptr;
    SymbolButton* m_close = nullptr;
    QMetaObject::Connection m_resultConnection;
};
