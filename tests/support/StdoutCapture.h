#pragma once

#include <cstdio>

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>

#include <fcntl.h>
#include <unistd.h>

// Collects what the code under test writes to standard output while it lives.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }

    // Everything written so far; stdout is back where it was afterwards.
    QByteArray text()
    {
        restore();
        QFile read(m_file.fileName());
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    }

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
