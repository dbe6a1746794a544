#pragma once

#include <memory>

#include "platform/ClipboardService.h"

// The clipboard on X11: contents through Qt, the change count from XFixes
// notifications about the CLIPBOARD selection's owner, so a copy in any X
// client counts. The notifications arrive on a connection of our own, which
// a read of the count can sync with the server without running Qt's event
// loop.
class X11ClipboardService : public ClipboardService
{
    Q_OBJECT

public:
    // Nothing without an X server or without XFixes on it.
    static std::unique_ptr<X11ClipboardService> create();
    ~X11ClipboardService() override;

    std::uint64_t changeCount() override;
    QImage image() override;
    void setImage(const QImage& image) override;
    void setImage(const QImage& image, const QByteArray& png) override;

private:
    class Private;
    explicit X11ClipboardService(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};
