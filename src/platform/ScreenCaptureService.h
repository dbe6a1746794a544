#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QString>

// Captures the whole desktop onto the clipboard, the way a command-line
// screenshot tool does: started now, ending later. Whether it succeeded is
// never reported here; the clipboard's change count tells.
class ScreenCaptureService : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts a capture. When it cannot start, returns the reason and `ended`
    // is never called; otherwise `ended` runs exactly once, later, on the main
    // thread.
    virtual std::optional<QString> startCapture(std::function<void()> ended) = 0;
};
