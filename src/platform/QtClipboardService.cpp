#include "QtClipboardService.h"

#include <QClipboard>
#include <QGuiApplication>

QtClipboardService::QtClipboardService(QObject* parent)
    : ClipboardService(parent)
{
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            ++m_changeCount;
    });
}

QImage QtClipboardService::image()
{
    return QGuiApplication::clipboard()->image();
}

void QtClipboardService::setImage(const QImage& image)
{
    QGuiApplication::clipboard()->setImage(image);
}
