#pragma once

#include <cstdio>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <unistd.h>

// Catches what the code under test writes to standard output, at the file
// descriptor, so it sees exactly the bytes a terminal would.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        m_file.open();
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }

    ~StdoutCapture() { restore(); }

    // Everything written so far, while capturing goes on.
    QString peek() const
    {
        std::fflush(stdout);
        QFile read(m_file.fileName());
        read.open(QIODevice::ReadOnly);
        return QString::fromUtf8(read.readAll());
    }

    // Everything written so far, as bytes; standard output goes back to the
    // terminal.
    QByteArray text()
    {
        restore();
        QFile read(m_file.fileName());
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }

    QString take() { return QString::fromUtf8(text()); }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};
