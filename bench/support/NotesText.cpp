#include "NotesText.h"

#include <array>

#include <QDir>
#include <QFile>

namespace NotesText {

QString sample(qsizetype bytes)
{
    static constexpr std::array words {
        "call",    "Anna",    "about",  "the",      "invoice", "buy",  "milk",    "and",   "bread",
        "meeting", "moved",   "to",     "Thursday", "ideas:",  "a",    "lighter", "panel", "fix",
        "the",     "printer", "before", "Friday",   "notes",   "from", "standup"};
    QString text;
    text.reserve(bytes);
    qsizetype line = 0;
    std::size_t word = 0;
    while (text.size() < bytes) {
        const QLatin1String next(words[word % words.size()]);
        word = word * 7 + 3;
        if (line + next.size() + 1 > 72) {
            text += QLatin1Char('\n');
            line = 0;
        } else if (line > 0) {
            text += QLatin1Char(' ');
            ++line;
        }
        text += next;
        line += next.size();
    }
    text.truncate(bytes);
    return text;
}

bool writeFile(const QString& folder, qsizetype bytes)
{
    QFile file(QDir(folder).filePath(QStringLiteral("Quillnook.txt")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray data = sample(bytes).toUtf8();
    return file.write(data) == data.size() && file.flush();
}

} // namespace NotesText
