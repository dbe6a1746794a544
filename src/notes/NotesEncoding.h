#pragma once

#include <QByteArray>
#include <QString>

// How the notes file's bytes become the editor's text and back. The editor
// sees every line end as "\n" and no byte-order mark; the file keeps each
// line's own end (LF, CRLF or a lone CR) and the mark it had. Every other
// character is kept as it is, so untouched lines go back byte for byte.
class NotesEncoding
{
public:
    // How each "\n" of the text ends its line in the file.
    class LineEnds
    {
    public:
        enum Kind : char
        {
            Lf,
            CrLf,
            Cr
        };

        // The file's most common end, given to lines the user breaks.
        Kind typed = Lf;

        // One kind per "\n" of the text; empty while every end is `typed`.
        const QByteArray& kinds() const { return m_kinds; }
        void setKinds(QByteArray kinds);
        // Follows an edit of text, called before the edit is made.
        void replace(const QString& text, qsizetype position, qsizetype removed, const QString& added);

    private:
        QByteArray m_kinds;
    };

    struct Decoded
    {
        bool valid = false;
        QString text;
        LineEnds lineEnds;
        bool byteOrderMark = false;
        qsizetype longestLine = 0;
    };

    static Decoded decode(const QByteArray& bytes);
    static QByteArray encode(const QString& text, const LineEnds& lineEnds, bool byteOrderMark);
    static qsizetype longestLine(const QString& text);
};
