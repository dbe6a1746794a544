#include "IniPreferences.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include "base/Notices.h"

IniPreferences::IniPreferences(const QString& filePath)
    : m_settings(filePath, QSettings::IniFormat)
{ }

QString IniPreferences::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quillnook/Quillnook.conf");
}

std::optional<QString> IniPreferences::value(const QString& key) const
{
    if (!m_settings.contains(key))
        return std::nullopt;
    const QVariant stored = m_settings.value(key);
    // An unquoted comma makes QSettings read a list; that is never one of our values.
    if (stored.metaType().id() == QMetaType::QStringList)
        return stored.toStringList().join(QLatin1Char(','));
    return stored.toString();
}

void IniPreferences::setValue(const QString& key, const QString& text)
{
    if (!m_mayRewrite && !keepWhatWouldBeLost()) {
        Notices::report(
            QStringLiteral("Quillnook: %1 holds settings that could not be copied aside; \"%2\" is not saved")
                .arg(filePath(), key));
        return;
    }
    m_settings.setValue(key, text);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError)
        Notices::report(QStringLiteral("Quillnook: could not save \"%1\" to %2").arg(key, filePath()));
}

QByteArray IniPreferences::rewrittenContents() const
{
    // What QSettings writes for the keys it read, found by letting it write
    // them to a scratch file.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return {};
    const QString path = scratch.filePath(QStringLiteral("rewritten.conf"));
    {
        QSettings rewritten(path, QSettings::IniFormat);
        const QStringList keys = m_settings.allKeys();
        for (const QString& key : keys)
            rewritten.setValue(key, m_settings.value(key));
        rewritten.sync();
        if (rewritten.status() != QSettings::NoError)
            return {};
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool IniPreferences::keepWhatWouldBeLost()
{
    QFile file(filePath());
    if (!file.exists()) {
        m_mayRewrite = true;
        return true;
    }
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    file.close();

    if (contents.isEmpty() || (m_settings.status() == QSettings::NoError && contents == rewrittenContents())) {
        m_mayRewrite = true;
        return true;
    }

    QString backup = filePath() + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(backup); ++n)
        backup = filePath() + QStringLiteral(".bak-") + QString::number(n);
    QSaveFile copy(backup);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(contents) != contents.size() || !copy.commit())
        return false;
    m_backupPath = backup;
    m_mayRewrite = true;
    return true;
}
