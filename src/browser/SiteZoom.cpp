#include "SiteZoom.h"

#include <cmath>

#include <QStandardPaths>

namespace {
QString defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quillnook/zoom.conf");
}
} // namespace

const QList<qreal>& SiteZoom::steps()
{
    static const QList<qreal> all {0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
    return all;
}

qreal SiteZoom::stepped(qreal factor, int direction)
{
    const QList<qreal>& all = steps();
    if (direction > 0) {
        for (qreal step : all) {
            if (step > factor + 0.001)
                return step;
        }
        return all.last();
    }
    if (direction < 0) {
        for (auto it = all.crbegin(); it != all.crend(); ++it) {
            if (*it < factor - 0.001)
                return *it;
        }
        return all.first();
    }
    return 1.0;
}

SiteZoom::SiteZoom(const QString& filePath)
    : m_settings(filePath.isEmpty() ? defaultPath() : filePath, QSettings::IniFormat)
{ }

QString SiteZoom::key(const QUrl& page)
{
    // Hosts are case-free and hold no slash or backslash, which QSettings
    // would take for groups.
    return QStringLiteral("zoom/")
        + QString::fromLatin1(page.host(QUrl::FullyEncoded).toLower().toLatin1().toPercentEncoding());
}

qreal SiteZoom::factor(const QUrl& page) const
{
    if (page.host().isEmpty())
        return 1.0;
    bool ok = false;
    const qreal stored = m_settings.value(key(page)).toDouble(&ok);
    // A hand-edited or damaged value is no zoom at all.
    if (!ok || !std::isfinite(stored) || stored < steps().first() || stored > steps().last())
        return 1.0;
    return stored;
}

bool SiteZoom::setFactor(const QUrl& page, qreal factor)
{
    if (page.host().isEmpty())
        return true;
    if (qFuzzyCompare(factor, 1.0))
        m_settings.remove(key(page));
    else
        m_settings.setValue(key(page), factor);
    m_settings.sync();
    return m_settings.status() == QSettings::NoError;
}
