#pragma once

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>

// Every process's parent, by process id, and the processes whose name (cut
// to 15 characters, as the kernel keeps it) is `name`, when one is given.
inline QHash<int, int> processParents(const QByteArray& name = {}, QList<int>* named = nullptr)
{
    QHash<int, int> parents;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const int pid = entry.toInt(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        parents.insert(pid, line.mid(close + 2).split(' ').value(1).toInt());
        if (named && line.mid(open + 1, close - open - 1) == name)
            named->append(pid);
    }
    return parents;
}

// Processes below this one whose name (cut to 15 characters, as the kernel
// keeps it) is `name`, oldest first.
inline QList<int> descendantsNamed(const QByteArray& name)
{
    QList<int> named;
    const QHash<int, int> parents = processParents(name, &named);
    QList<int> found;
    const int self = int(QCoreApplication::applicationPid());
    for (int pid : std::as_const(named)) {
        for (int up = parents.value(pid); up > 1; up = parents.value(up)) {
            if (up == self) {
                found.append(pid);
                break;
            }
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}
