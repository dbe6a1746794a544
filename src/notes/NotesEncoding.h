#pragma once

#include <QByteArray>
#include <QString>

// How the notes file's bytes become the editor's text and back. The editor
// sees plain "\n" line ends and no byte-order mark; the file keeps whichever
// line-end style and mark it had.
class NotesEncoding
{
public:
    struct Decoded
    {
        bool valid = false;
        QString text;
        bool crlf = false;
        bool byteOrderMark = false;
        qsizetype longestLine = 0;
    };

    static Decoded decode(const QByteArray& bytes);
    static QByteArray encode(const QString& text, bool crlf, bool byteOrderMark);
    static qsizetype longestLine(const QString& text);
};
