#pragma once

#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The tray icon and its menu: "Toggle Panel", "Reveal Notes File", a
// separator, "Quit". A click on the icon opens the menu. Where the desktop
// has no tray the icon simply never shows; the shortcut still works.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    explicit StatusItem(QObject* parent = nullptr);
    ~StatusItem() override;

    QMenu* menu() const { return m_menu; }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
    QAction* toggleAction() const { return m_toggle; }
    QAction* revealAction() const { return m_reveal; }
    QAction* quitAction() const { return m_quit; }

signals:
    void toggleRequested();
    void revealRequested();
    void quitRequested();

private:
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QAction* m_toggle = nullptr;
    QAction* m_reveal = nullptr;
    QAction* m_quit = nullptr;
};
