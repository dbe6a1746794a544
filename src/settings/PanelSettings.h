#pragma once

#include <QObject>

class PreferencesStore;

// The panel's opacity, kept under "panelOpacity". A stored value outside the
// slider's 0.3–1.0 counts as unreadable and gives the default: at 0 the panel
// would be an invisible window that still takes the typing.
class PanelSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)

public:
    static constexpr double DefaultOpacity = 1.0;
    static constexpr double MinimumOpacity = 0.3;
    static constexpr double MaximumOpacity = 1.0;

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
