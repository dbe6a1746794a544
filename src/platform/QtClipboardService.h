#pragma once

#include "platform/ClipboardService.h"

// The clipboard as Qt sees it, counting the changes Qt reports. Used where no
// desktop-specific backend watches the clipboard; on such desktops a change by
// another program may reach the count only once Qt has noticed it.
class QtClipboardService : public ClipboardService
{
    Q_OBJECT

public:
    explicit QtClipboardService(QObject* parent = nullptr);

    std::uint64_t changeCount() override { return m_changeCount; }
    QImage image() override;
    void setImage(const QImage& image) override;

private:
    std::uint64_t m_changeCount = 0;
};
