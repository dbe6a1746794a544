#pragma once

#include <QPointer>
#include <QWidget>

#include "browser/BrowserTab.h"

class QLineEdit;
class QPushButton;

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

private:
    void submit();
    void showUrlString(const QString& text);

    QPointer<BrowserTab> m_tab;
    QLineEdit* m_field = nullptr;
    QPushButton* m_go = nullptr;
    QMetaObject::Connection m_tabConnection;
};
