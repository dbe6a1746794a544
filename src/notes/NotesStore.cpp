#include "NotesStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

NotesStore::NotesStore(const QString& folder, QObject* parent)
    : QObject(parent)
    , m_filePath(QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(QStringLiteral("Quillnook.txt")))
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setTimerType(Qt::PreciseTimer);
    m_saveTimer.setInterval(SaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &NotesStore::save);
    load();
}

void NotesStore::setText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        emit textChanged(m_text);
    }
    scheduleSave();
}

void NotesStore::load()
{
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_fileUnreadable = true;
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_fileUnreadable = true;
        return;
    }
    // A leading byte-order mark stays part of the text, so the file is written
    // back exactly as it was read.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError()) {
        m_fileUnreadable = true;
        return;
    }
    m_text = std::move(decoded);
}

void NotesStore::scheduleSave()
{
    // Restarting the single-shot timer drops the pending save: a burst of
    // edits writes once, half a second after it ends, with the newest text.
    m_saveTimer.start();
}

bool NotesStore::keepUnreadableFile()
{
    if (!QFileInfo::exists(m_filePath)) {
        m_fileUnreadable = false;
        return true;
    }
    QString target = m_filePath + QStringLiteral(".unreadable");
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = m_filePath + QStringLiteral(".unreadable-") + QString::number(n);
    // A rename keeps the bytes exactly and needs no room on the disk.
    if (!QFile::rename(m_filePath, target))
        return false;
    m_keptCopy = target;
    m_fileUnreadable = false;
    return true;
}

bool NotesStore::save()
{
    bool ok = QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    if (ok && m_fileUnreadable)
        ok = keepUnreadableFile();
    if (ok) {
        QSaveFile file(m_filePath);
        ok = file.open(QIODevice::WriteOnly);
        if (ok) {
            const QByteArray bytes = m_text.toUtf8();
            ok = file.write(bytes) == bytes.size() && file.commit();
            if (!ok)
                file.cancelWriting();
        }
    }
    emit saved(ok);
    return ok;
}
