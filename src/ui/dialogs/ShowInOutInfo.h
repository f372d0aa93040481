#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;

// The hover information window: borderless, on top, one bold label.
class TfrmShowInOutInfo : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmShowInOutInfo(QWidget* parent = nullptr);
    // One line per port; the window takes the size of its text plus 10 pixels.
    void SetLines(const QStringList& lines);
    QLabel* lblInfo;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
