#pragma once

#include <QDialog>

// The TCP configuration dialog of the TCP module.
class TfrmEditLAN : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmEditLAN(QWidget* parent = nullptr);
};
