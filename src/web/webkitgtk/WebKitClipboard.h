#pragma once

#include <QByteArray>
#include <QString>

// What a paste into a page offers. When a page of ours copied last, GTK
// holds the clipboard in this very thread: it is read through GTK, which
// answers itself, since Qt would wait (seconds, per format) for an answer
// that only this thread can give. Any other owner is read through Qt.
namespace WebKitClipboard {
struct Content
{
    // The clipboard's image as PNG; empty when it holds none.
    QByteArray png;
    // Its text, read only beside an image (a text paste is the engine's own).
    QString text;
};

Content read();
} // namespace WebKitClipboard
