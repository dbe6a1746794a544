#include "DownloadNotice.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/SymbolButton.h"

DownloadNotice::DownloadNotice(QWidget* parent)
    : QWidget(parent)
{
    m_label = new QLabel(this);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_reveal = new QPushButton(QStringLiteral("Show in Folder"), this);
    m_reveal->setAutoDefault(false);
    m_close = new SymbolButton(SymbolButton::Symbol::Close, QStringLiteral("Close Notice"), 7, 0, this);
    m_close->setFocusPolicy(Qt::TabFocus);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 6, 6);
    row->addWidget(m_label, 1);
    row->addWidget(m_reveal);
    row->addWidget(m_close);

    connect(m_reveal, &QAbstractButton::clicked, this, [this] { emit revealRequested(m_path); });
    connect(m_close, &QAbstractButton::clicked, this, &QWidget::hide);
    hide();
}

void DownloadNotice::showSaved(const QString& path)
{
    m_path = path;
    m_reveal->show();
    showLine(QStringLiteral("Saved “%1”").arg(QFileInfo(m_path).fileName()));
    m_label->setToolTip(m_path);
}

void DownloadNotice::showProgress(const QString& fileName, qint64 received, qint64 total)
{
    m_path.clear();
    m_reveal->hide();
    const QString amount = total > 0 ? QStringLiteral("%1 %").arg(std::min<qint64>(100, received * 100 / total))
                                     : locale().formattedDataSize(received);
    showLine(QStringLiteral("Downloading “%1”… %2").arg(fileName, amount));
    m_label->setToolTip({});
}

void DownloadNotice::showFailed(const QString& fileName, const QString& reason)
{
    m_path.clear();
    m_reveal->hide();
    const QString what = fileName.isEmpty() ? QStringLiteral("the file") : QStringLiteral("“%1”").arg(fileName);
    showLine(QStringLiteral("Could not download %1: %2").arg(what, reason.simplified()));
    m_label->setToolTip({});
}

void DownloadNotice::showLine(const QString& text)
{
    m_text = text;
    showText();
    show();
}

void DownloadNotice::showText()
{
    const int room = qMax(40, m_label->width());
    m_label->setText(m_label->fontMetrics().elidedText(m_text, Qt::ElideMiddle, room));
    m_label->setAccessibleName(m_text);
}

void DownloadNotice::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_text.isEmpty())
        showText();
}
