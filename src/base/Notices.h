#pragma once

#include <cstdio>

#include <QByteArray>
#include <QString>

// The one way a line for the user leaves the program, flushed at once so that
// a terminal or the journal has it even when the process ends next. Two kinds:
// - warn(): "⚠️ ", the text and a line break on standard output, for what went
//   wrong with the user's work (a save, a download, a capture);
// - report(): the text as it is and a line break on standard error, for what
//   the program or the desktop could not do (a setting not stored, a desktop
//   service that refused, a command line it cannot follow).
class Notices
{
public:
    enum class Kind
    {
        Warning,
        Report
    };

    // "⚠️ <text>\n". Text with line breaks of its own is written as it is.
    static void warn(const QString& text);
    // The same for text that is already bytes (a file name in the local
    // encoding, say), written unchanged.
    static void warn(const QByteArray& text);

    // "<text>\n" on standard error.
    static void report(const QString& text);
    static void report(const QByteArray& text);

    // Where the lines of a kind go: standard output for warnings, standard
    // error for reports, unless a test says otherwise; null keeps them back.
    // Returns the stream used until now.
    static std::FILE* setStream(std::FILE* stream, Kind kind = Kind::Warning);
    static std::FILE* stream(Kind kind = Kind::Warning);

    // For tests: sends the lines of a kind to `stream` while it lives.
    class Redirect
    {
    public:
        explicit Redirect(std::FILE* stream, Kind kind = Kind::Warning)
            : m_kind(kind)
            , m_previous(setStream(stream, kind))
        { }
        ~Redirect() { setStream(m_previous, m_kind); }
        Redirect(const Redirect&) = delete;
        Redirect& operator=(const Redirect&) = delete;

    private:
        Kind m_kind;
        std::FILE* m_previous;
    };

    Notices() = delete;
};
