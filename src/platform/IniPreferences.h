#pragma once

#include <QSettings>

#include "PreferencesStore.h"

// Preferences kept in an INI file, keys at the top level. Every write is
// flushed at once so a crash right after a change loses nothing.
class IniPreferences : public PreferencesStore
{
public:
    explicit IniPreferences(const QString& filePath);

    // $XDG_CONFIG_HOME/Quillnook/Quillnook.conf
    static QString defaultFilePath();

    std::optional<QString> value(const QString& key) const override;
    void setValue(const QString& key, const QString& text) override;

    QString filePath() const { return m_settings.fileName(); }

private:
    mutable QSettings m_settings;
};
