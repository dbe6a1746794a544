#pragma once

#include <cstdio>

#include <QByteArray>
#include <QString>

// The one way a line for the user leaves the program: "⚠️ ", the text and a
// line break on standard output, flushed at once so that a terminal or the
// journal has it even when the process ends next.
class Notices
{
public:
    // "⚠️ <text>\n". Text with line breaks of its own is written as it is.
    static void warn(const QString& text);
    // The same for text that is already bytes (a file name in the local
    // encoding, say), written unchanged.
    static void warn(const QByteArray& text);

    // Where the lines go: standard output unless a test says otherwise;
    // null keeps them back. Returns the stream used until now.
    static std::FILE* setStream(std::FILE* stream);
    static std::FILE* stream();

    // For tests: sends the lines to `stream` while it lives.
    class Redirect
    {
    public:
        explicit Redirect(std::FILE* stream)
            : m_previous(setStream(stream))
        { }
        ~Redirect() { setStream(m_previous); }
        Redirect(const Redirect&) = delete;
        Redirect& operator=(const Redirect&) = delete;

    private:
        std::FILE* m_previous;
    };

    Notices() = delete;
};
