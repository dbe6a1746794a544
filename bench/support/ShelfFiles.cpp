#include "ShelfFiles.h"

#include <QDir>
#include <QFile>

bool ShelfFiles::make(const QString& folder, int count)
{
    if (!QDir().mkpath(folder))
        return false;
    static const char* const kinds[] = {"pdf", "png", "txt", "docx", "zip", "mp4", "md", "jpg", "pptx", "csv"};
    static const char* const stems[] = {"Report", "photo", "Notes", "slides", "Invoice", "draft", "Über", "scan"};
    for (int i = 0; i < count; ++i) {
        const QString name
            = QStringLiteral("%1 %2.%3").arg(QString::fromUtf8(stems[i % 8])).arg(i).arg(QLatin1String(kinds[i % 10]));
        QFile file(folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(i % 97, 'x')) != i % 97)
            return false;
    }
    return true;
}
