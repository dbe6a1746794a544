#pragma once

#include <QAbstractButton>
#include <QUrl>

// Two controls of the settings page that read to a screen reader as what
// they are, not as the plain buttons they are made of.

// A line of link text that opens its address with the desktop's handler:
// a click, Return or Space. A link to assistive technology, named by its text.
class LinkButton : public QAbstractButton
{
    Q_OBJECT

public:
    LinkButton(const QString& text, const QUrl& url, QWidget* parent = nullptr);

    QUrl url() const { return m_url; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QUrl m_url;
};

// The title of a collapsible group with its arrow and symbol: one control
// that shows or hides the group, a button that is expanded or collapsed.
class DisclosureButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit DisclosureButton(const QString& text, QWidget* parent = nullptr);

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void expandedChanged(bool expanded);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_expanded = false;
};
