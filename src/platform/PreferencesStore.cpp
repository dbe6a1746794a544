#include "PreferencesStore.h"

#include <cmath>

#include <QLocale>

std::optional<double> PreferencesStore::readDouble(const QString& key) const
{
    const auto text = value(key);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const double number = text->trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

std::optional<std::int64_t> PreferencesStore::readInteger(const QString& key, std::int64_t min, std::int64_t max) const
{
    const auto text = value(key);
    if (!text)
        return std::nullopt;
    const QString trimmed = text->trimmed();
    bool ok = false;
    std::int64_t number = trimmed.toLongLong(&ok, 10);
    if (!ok) {
        // A number written with a decimal point still counts when it has no fraction.
        const double real = trimmed.toDouble(&ok);
        if (!ok || !std::isfinite(real) || std::trunc(real) != real || std::fabs(real) > 9.0e15)
            return std::nullopt;
        number = static_cast<std::int64_t>(real);
    }
    if (number < min || number > max)
        return std::nullopt;
    return number;
}

void PreferencesStore::writeDouble(const QString& key, double value)
{
    setValue(key, QString::number(value, 'g', QLocale::FloatingPointShortest));
}

void PreferencesStore::writeInteger(const QString& key, std::int64_t value)
{
    setValue(key, QString::number(value));
}
