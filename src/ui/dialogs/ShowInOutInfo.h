#pragma once

#include <QWidget>

class QLabel;

// The hover information window: borderless, on top, one bold label.
class TfrmShowInOutInfo : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmShowInOutInfo(QWidget* parent = nullptr);
    QLabel* lblInfo;
};
