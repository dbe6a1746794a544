#pragma once

#include <QWidget>

class DisclosureButton;

// The collapsible "Enable screenshots" group of the settings page: a
// disclosure arrow and title, and under them what the running session needs
// for the Browser tool's screenshot shortcut. Collapsed at first.
class ScreenshotGuide : public QWidget
{
    Q_OBJECT

public:
    // The trigger that the Browser tool installs; the page names the same keys.
    static QString screenshotKeys();

    // bodyFont: the page's body text, from which the group's sizes follow.
    explicit ScreenshotGuide(const QFont& bodyFont, QWidget* parent = nullptr);

    bool isExpanded() const;
    DisclosureButton* disclosureButton() const { return m_disclosureButton; }
    // Redraws the title's symbol in the palette's colours.
    void applyColours();

private:
    QWidget* buildGuide();
    QWidget* guideStep(const QString& number, const QString& text);

    QFont m_bodyFont;

    DisclosureButton* m_disclosureButton = nullptr;
    QWidget* m_guide = nullptr;
};
