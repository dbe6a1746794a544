#include "StatusItem.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

StatusItem::StatusItem(QObject* parent)
    : QObject(parent)
    , m_menu(new QMenu)
    , m_trayIcon(new QSystemTrayIcon(this))
{
    m_menu->setAccessibleName(QStringLiteral("Quillnook"));
    m_toggle = m_menu->addAction(QStringLiteral("Toggle Panel"));
    m_reveal = m_menu->addAction(QStringLiteral("Reveal Notes File"));
    m_menu->addSeparator();
    m_quit = m_menu->addAction(QStringLiteral("Quit"));
    // Ctrl+Q chooses Quit while the menu is open.
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setShortcutContext(Qt::WidgetShortcut);

    connect(m_toggle, &QAction::triggered, this, &StatusItem::toggleRequested);
    connect(m_reveal, &QAction::triggered, this, &StatusItem::revealRequested);
    connect(m_quit, &QAction::triggered, this, &StatusItem::quitRequested);

    m_trayIcon->setIcon(QIcon(QStringLiteral(":/quillnook/quillnook.svg")));
    m_trayIcon->setToolTip(QString());
    m_trayIcon->setContextMenu(m_menu);
    // A left click opens the same menu; the icon itself never toggles the panel.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    m_trayIcon->show();
}

StatusItem::~StatusItem()
{
    delete m_menu;
}
