#include "IniPreferences.h"

#include <QStandardPaths>
#include <QStringList>

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
    m_settings.setValue(key, text);
    m_settings.sync();
}
