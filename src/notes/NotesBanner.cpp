#include "NotesBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

NotesBanner::NotesBanner(QWidget* parent)
    : QFrame(parent)
{
    setAutoFillBackground(true);
    setFrameShape(QFrame::StyledPanel);
    m_label = new QLabel(this);
    m_label->setWordWrap(true);
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_label->setTextFormat(Qt::PlainText);
    m_open = new QPushButton(QStringLiteral("Open in Text Editor"), this);
    m_open->setAccessibleName(m_open->text());
    m_undo = new QPushButton(QStringLiteral("Undo"), this);
    m_undo->setAccessibleName(m_undo->text());
    m_dismiss = new QToolButton(this);
    m_dismiss->setText(QStringLiteral("✕"));
    m_dismiss->setAccessibleName(QStringLiteral("Dismiss"));
    m_dismiss->setToolTip(QStringLiteral("Dismiss"));
    m_dismiss->setAutoRaise(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_undo, 0, Qt::AlignVCenter);
    layout->addWidget(m_open, 0, Qt::AlignVCenter);
    layout->addWidget(m_dismiss, 0, Qt::AlignTop);
    connect(m_open, &QPushButton::clicked, this, &NotesBanner::openRequested);
    connect(m_dismiss, &QToolButton::clicked, this, &NotesBanner::dismissRequested);
    connect(m_undo, &QPushButton::clicked, this, &NotesBanner::undoRequested);
    QFrame::hide();
}

void NotesBanner::showNotice(const QString& text, bool urgent, bool offerEditor, bool dismissible, bool offerUndo)
{
    m_label->setText(text);
    m_label->setAccessibleName(text);
    setAccessibleName(text);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, urgent ? QColor(0xf8, 0xd7, 0xd3) : QColor(0xfb, 0xee, 0xc6));
    colours.setColor(QPalette::WindowText, QColor(0x3a, 0x2a, 0x10));
    setPalette(colours);
    m_open->setVisible(offerEditor);
    m_undo->setVisible(offerUndo);
    m_dismiss->setVisible(dismissible);
    QFrame::show();
}

void NotesBanner::clearNotice()
{
    m_label->clear();
    m_label->setAccessibleName(QString());
    setAccessibleName(QString());
    QFrame::hide();
}

QString NotesBanner::text() const
{
    return isHidden() ? QString() : m_label->text();
}
