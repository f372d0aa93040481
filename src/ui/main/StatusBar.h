#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>

// The window's five-panel status bar. Panel widths are fixed; the last panel
// takes what is left of the window's width. Panel 2 is drawn by the owner.
class TStatusBar : public QWidget
{
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    static constexpr int PanelCount = 5;

    QString PanelText(int panel) const; // panel 1..5
    void SetPanelText(int panel, const QString& text);
    QRect PanelRect(int panel) const;
    // Paints panel 2's rectangle; called from the paint event.
    void SetDrawPanel(std::function<void(QPainter&, const QRect&, const QString&)> draw)
    {
        FDrawPanel = std::move(draw);
    }

    QSize sizeHint() const override;

signals:
    void PanelTextChanged(int panel, const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList FTexts;
    std::function<void(QPainter&, const QRect&, const QString&)> FDrawPanel;
};
