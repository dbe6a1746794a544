#include "DocumentsLocation.h"

#include <QDir>
#include <QStandardPaths>

QString DocumentsLocation::path()
{
    const QStringList found = QStandardPaths::standardLocations(QStandardPaths::DocumentsLocation);
    if (!found.isEmpty() && !found.constFirst().isEmpty())
        return found.constFirst();
    return QDir::tempPath();
}
