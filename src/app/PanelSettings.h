#pragma once

#include <QObject>

class PreferencesStore;

// The panel's opacity, kept under "panelOpacity". Not clamped: the settings
// slider offers 0.3–1.0, but a value already stored is used as it is.
class PanelSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)

public:
    static constexpr double DefaultOpacity = 1.0;

    explicit PanelSettings(PreferencesStore& defaults, QObject* parent = nullptr);

    double opacity() const { return m_opacity; }
    // Every write is stored, also one that changes nothing.
    void setOpacity(double opacity);

signals:
    void opacityChanged(double opacity);

private:
    PreferencesStore& m_defaults;
    double m_opacity = DefaultOpacity;
};
