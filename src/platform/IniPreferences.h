#pragma once

#include <QSettings>

#include "PreferencesStore.h"

// Preferences kept in an INI file, keys at the top level. Every write is
// flushed at once so a crash right after a change loses nothing.
//
// Writing rewrites the whole file in QSettings' own form, which would drop
// comments and anything it cannot read. So before the first write to a file
// that holds more than that form would keep, the file is copied aside to
// "<name>.bak" (or "<name>.bak-2", "-3", …); if that copy fails, nothing is
// written and the change lasts for this run only.
class IniPreferences : public PreferencesStore
{
public:
    explicit IniPreferences(const QString& filePath);

    // $XDG_CONFIG_HOME/Quillnook/Quillnook.conf
    static QString defaultFilePath();

    std::optional<QString> value(const QString& key) const override;
    void setValue(const QString& key, const QString& text) override;

    QString filePath() const { return m_settings.fileName(); }
    // Where the file was copied before the first write; empty when it needed
    // no copy (or none was made yet).
    QString backupPath() const { return m_backupPath; }

private:
    // True when the file may be rewritten: it holds nothing the rewrite would
    // lose, or it was copied aside.
    bool keepWhatWouldBeLost();
    QByteArray rewrittenContents() const;

    mutable QSettings m_settings;
    bool m_mayRewrite = false;
    QString m_backupPath;
};
