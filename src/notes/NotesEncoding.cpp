#include "NotesEncoding.h"

#include <array>

#include <QStringDecoder>

namespace {
const QByteArray ByteOrderMark("\xef\xbb\xbf");

const char* endBytes(NotesEncoding::LineEnds::Kind kind)
{
    switch (kind) {
    case NotesEncoding::LineEnds::CrLf:
        return "\r\n";
    case NotesEncoding::LineEnds::Cr:
        return "\r";
    case NotesEncoding::LineEnds::Lf:
        break;
    }
    return "\n";
}
} // namespace

void NotesEncoding::LineEnds::setKinds(QByteArray kinds)
{
    // Only a file of mixed ends needs to know each one.
    if (kinds.count(char(typed)) == kinds.size())
        kinds.clear();
    m_kinds = std::move(kinds);
}

void NotesEncoding::LineEnds::replace(const QString& text, qsizetype position, qsizetype removed, const QString& added)
{
    if (m_kinds.isEmpty())
        return;
    const qsizetype removedEnds = QStringView(text).mid(position, removed).count(QLatin1Char('\n'));
    const qsizetype addedEnds = added.count(QLatin1Char('\n'));
    // Typing within a line, the usual case, costs nothing here.
    if (removedEnds == 0 && addedEnds == 0)
        return;
    const qsizetype index = QStringView(text).left(position).count(QLatin1Char('\n'));
    m_kinds.remove(index, removedEnds);
    m_kinds.insert(index, QByteArray(addedEnds, char(typed)));
}

NotesEncoding::Decoded NotesEncoding::decode(const QByteArray& bytes)
{
    Decoded result;
    result.byteOrderMark = bytes.startsWith(ByteOrderMark);
    const QByteArrayView body = QByteArrayView(bytes).sliced(result.byteOrderMark ? ByteOrderMark.size() : 0);
    // The mark is taken off above, so a second one would stay in the text.
    // Stateless: a sequence cut off at the end is an error, not a wait for more.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        return result;
    result.valid = true;
    if (!text.contains(QLatin1Char('\r'))) {
        result.text = std::move(text);
    } else {
        // Every line end becomes "\n"; which one it was is kept aside.
        QByteArray kinds;
        std::array<qsizetype, 3> counts {};
        result.text.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            LineEnds::Kind kind = LineEnds::Lf;
            if (c == QLatin1Char('\r')) {
                const bool pair = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n');
                kind = pair ? LineEnds::CrLf : LineEnds::Cr;
                i += pair ? 1 : 0;
            } else if (c != QLatin1Char('\n')) {
                result.text.append(c);
                continue;
            }
            result.text.append(QLatin1Char('\n'));
            kinds.append(char(kind));
            ++counts[size_t(kind)];
        }
        // The style of most line ends is the one new lines get; CRLF wins a tie with LF.
        if (counts[LineEnds::CrLf] > 0 && counts[LineEnds::CrLf] >= counts[LineEnds::Lf]
            && counts[LineEnds::CrLf] >= counts[LineEnds::Cr])
            result.lineEnds.typed = LineEnds::CrLf;
        else if (counts[LineEnds::Cr] > counts[LineEnds::Lf] && counts[LineEnds::Cr] > counts[LineEnds::CrLf])
            result.lineEnds.typed = LineEnds::Cr;
        result.lineEnds.setKinds(std::move(kinds));
    }
    result.longestLine = longestLine(result.text);
    return result;
}

QByteArray NotesEncoding::encode(const QString& text, const LineEnds& lineEnds, bool byteOrderMark)
{
    QByteArray bytes;
    if (byteOrderMark)
        bytes = ByteOrderMark;
    const QByteArray& kinds = lineEnds.kinds();
    if (kinds.isEmpty()) {
        bytes += text.toUtf8();
        if (lineEnds.typed != LineEnds::Lf)
            bytes.replace("\n", endBytes(lineEnds.typed));
        return bytes;
    }
    bytes.reserve(bytes.size() + text.size() + kinds.size());
    qsizetype start = 0;
    for (qsizetype line = 0;; ++line) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        bytes += QStringView(text).mid(start, (end < 0 ? text.size() : end) - start).toUtf8();
        if (end < 0)
            return bytes;
        // Should the two ever disagree, a line without a kept end gets the typed one.
        bytes += endBytes(line < kinds.size() ? LineEnds::Kind(kinds.at(line)) : lineEnds.typed);
        start = end + 1;
    }
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
