#include "NotesEncoding.h"

#include <QStringDecoder>

namespace {
const QByteArray ByteOrderMark("\xef\xbb\xbf");
} // namespace

NotesEncoding::Decoded NotesEncoding::decode(const QByteArray& bytes)
{
    Decoded result;
    result.byteOrderMark = bytes.startsWith(ByteOrderMark);
    const QByteArrayView body = QByteArrayView(bytes).sliced(result.byteOrderMark ? ByteOrderMark.size() : 0);
    // The mark is taken off above, so a second one would stay in the text.
    // Stateless: a sequence cut off at the end is an error, not a wait for more.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    result.text = decoder.decode(body);
    if (decoder.hasError()) {
        result.text.clear();
        return result;
    }
    result.valid = true;
    // The style of most line ends wins; a file of mixed ends is written in it
    // once edited.
    const qsizetype crlfEnds = body.contains('\r') ? body.count("\r\n") : 0;
    if (crlfEnds > 0 && crlfEnds * 2 >= body.count('\n')) {
        result.crlf = true;
        result.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
    result.longestLine = longestLine(result.text);
    return result;
}

QByteArray NotesEncoding::encode(const QString& text, bool crlf, bool byteOrderMark)
{
    QByteArray bytes = text.toUtf8();
    if (crlf)
        bytes.replace("\n", "\r\n");
    if (byteOrderMark)
        bytes.prepend(ByteOrderMark);
    return bytes;
}

qsizetype NotesEncoding::longestLine(const QString& text)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype length = (end < 0 ? text.size() : end) - start;
        longest = qMax(longest, length);
        if (end < 0)
            return longest;
        start = end + 1;
    }
}
