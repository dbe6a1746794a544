#pragma once

#include <cstdint>
#include <optional>

#include <QString>

// The user's key-value preferences. Values travel as text, as they sit in the
// file; the typed readers below decide what counts as a usable value.
class PreferencesStore
{
public:
    virtual ~PreferencesStore() = default;

    // The stored text under key, or nothing when the key is absent.
    virtual std::optional<QString> value(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QString& text) = 0;

    // A finite number, or nothing when absent or not a number.
    std::optional<double> readDouble(const QString& key) const;
    // A whole number in [min, max], or nothing when absent, not a whole
    // number, or out of range. "7" and "7.0" are both 7; "7.5" is nothing.
    std::optional<std::int64_t> readInteger(const QString& key, std::int64_t min, std::int64_t max) const;

    void writeDouble(const QString& key, double value);
    void writeInteger(const QString& key, std::int64_t value);
};
