#pragma once

#include <QSize>
#include <QTabWidget>
#include <functional>

// The tab container with a veto on user tab changes (clicks, keys, wheel).
// Changes made by the program itself are not asked about.
class TTabContainer : public QTabWidget
{
    Q_OBJECT
public:
    explicit TTabContainer(QWidget* parent = nullptr);

    // Returns whether the user may leave the current tab.
    void SetChanging(std::function<bool()> allow) { FAllow = std::move(allow); }
    bool ChangeAllowed() const { return !FAllow || FAllow(); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<bool()> FAllow;
    QSize FLaidOutSize;
    QSize FLaidOutTabBar;
};

// A page of the container. The window has a fixed size, so the size of a
// page behind another one is never needed; working it out would measure
// every text on every hidden tab at start-up.
class TTabPage : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return isHidden() ? QSize() : QWidget::sizeHint(); }
    QSize minimumSizeHint() const override
    {
        return isHidden() ? QSize() : QWidget::minimumSizeHint();
    }
};
