#pragma once

#include <QFile>
#include <QTemporaryDir>

#include "app/PanelSettings.h"
#include "hotkey/HotkeyManager.h"
#include "platform/IniPreferences.h"
#include "support/RecordingHotkeyService.h"

// The models the settings page is handed, over preferences in a fresh file.
struct SettingsFixture
{
    explicit SettingsFixture(const QString& initialContents = {})
        : preferences(writePreferences(initialContents))
        , hotkeyManager(service, preferences)
        , panelSettings(preferences)
    { }

    QString preferencesPath() const { return directory.filePath(QStringLiteral("Quillnook.conf")); }

    QTemporaryDir directory;
    IniPreferences preferences;
    RecordingHotkeyService service;
    HotkeyManager hotkeyManager;
    PanelSettings panelSettings;

private:
    QString writePreferences(const QString& contents)
    {
        const auto path = preferencesPath();
        if (!contents.isEmpty()) {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(contents.toUtf8());
        }
        return path;
    }
};
