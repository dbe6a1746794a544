#pragma once

#include <set>

#include <QFile>
#include <QTemporaryDir>

#include "hotkey/HotkeyManager.h"
#include "platform/IniPreferences.h"
#include "settings/PanelSettings.h"
#include "support/RecordingHotkeyService.h"

// The models the settings page is handed, over preferences in a fresh file.
struct SettingsFixture
{
    // taken: combinations (key code, registration mask) another program holds.
    explicit SettingsFixture(const QString& initialContents = {},
                             const std::set<std::pair<std::uint16_t, std::uint32_t>>& taken = {})
        : preferences(writePreferences(initialContents))
        , hotkeyManager((service.taken = taken, service), preferences)
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
