#pragma once

#include <QDialog>

// The typed confirmation dialog: proceeds only when "Yes" is typed.
class TfrmEnterYes : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmEnterYes(QWidget* parent = nullptr);
};
