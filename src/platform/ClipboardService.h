#pragma once

#include <cstdint>

#include <QImage>
#include <QObject>

// The desktop's clipboard, with a change count that grows on every change of
// its contents, ours and other programs' alike. A read of the count reflects
// every change that happened before it.
class ClipboardService : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual std::uint64_t changeCount() = 0;
    // The clipboard's image; null when it holds none.
    virtual QImage image() = 0;
    virtual void setImage(const QImage& image) = 0;
    // The image with its PNG encoding already made, so no reader has to wait
    // for one.
    virtual void setImage(const QImage& image, const QByteArray& png)
    {
        Q_UNUSED(png);
        setImage(image);
    }
};
