#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

// Reading and writing whole files the way the tests check them.

// The file's bytes, or a mark no test writes when it cannot be read.
inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes (or appends) all of bytes, making the folder first; fails the test
// when any of it does not reach the file.
inline void writeBytes(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(mode), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
    QVERIFY2(file.flush(), qPrintable(path));
}
