#pragma once

#include <QSettings>
#include <QString>
#include <QUrl>

// The zoom the user chose for each site (by host), kept across runs in a
// small file beside the settings. A site at 100% has no entry.
class SiteZoom
{
public:
    // The zoom steps, smallest first; 1.0 is the page's own size.
    static const QList<qreal>& steps();
    // The step after `factor` in `direction` (+1 larger, -1 smaller), or
    // 1.0 for a direction of 0.
    static qreal stepped(qreal factor, int direction);

    // Empty: the default file, Quillnook/zoom.conf in the user's config folder.
    explicit SiteZoom(const QString& filePath = {});

    QString filePath() const { return m_settings.fileName(); }
    qreal factor(const QUrl& page) const;
    // False when the file could not be written; the zoom still applies for this run.
    bool setFactor(const QUrl& page, qreal factor);

private:
    static QString key(const QUrl& page);

    QSettings m_settings;
};
