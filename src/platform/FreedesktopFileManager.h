#pragma once

#include <QDBusConnection>
#include <QObject>

#include "platform/FileManager.h"

// Through the session bus's org.freedesktop.FileManager1 ShowItems, which
// every common desktop's file manager offers; without a bus or an answer,
// the folder opens in the default program for folders.
class FreedesktopFileManager : public QObject, public FileManager
{
    Q_OBJECT

public:
    explicit FreedesktopFileManager(const QDBusConnection& bus, QObject* parent = nullptr);

    void showItem(const QString& filePath) override;

private:
    QDBusConnection m_bus;
};
