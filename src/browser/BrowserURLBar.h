#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "browser/BrowserTab.h"

class QLabel;
class QLineEdit;
class QPushButton;
class SymbolButton;

// The address bar of one tab: a field bound both ways to the tab's
// urlString, and "Go". Return in the field does the same as "Go".
class BrowserURLBar : public QWidget
{
    Q_OBJECT

public:
    explicit BrowserURLBar(QWidget* parent = nullptr);

    // The bar follows the given tab from now on; null leaves it unbound.
    void setTab(BrowserTab* tab);
    BrowserTab* tab() const { return m_tab; }

    QLineEdit* field() const { return m_field; }
    QPushButton* goButton() const { return m_go; }
    // At the left of the row; disabled when the page has nowhere to go.
    SymbolButton* backButton() const { return m_back; }
    SymbolButton* forwardButton() const { return m_forward; }
    // The page's zoom as a percentage, shown for a moment after a change.
    QLabel* zoomLabel() const { return m_zoom; }
    // `saved` false: the zoom could not be kept for the site, and it says so.
    void flashZoom(qreal factor, bool saved = true);

private:
    void submit();
    void showUrlString(const QString& text);
    void updateHistory();

    QPointer<BrowserTab> m_tab;
    QLineEdit* m_field = nullptr;
    QPushButton* m_go = nullptr;
    SymbolButton* m_back = nullptr;
    SymbolButton* m_forward = nullptr;
    QLabel* m_zoom = nullptr;
    QTimer* m_zoomTimer = nullptr;
    QMetaObject::Connection m_tabConnection;
    QMetaObject::Connection m_historyConnection;
};
