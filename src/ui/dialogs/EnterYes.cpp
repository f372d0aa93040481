#include "EnterYes.h"

TfrmEnterYes::TfrmEnterYes(QWidget* parent) : QDialog(parent)
{
    setModal(true);
}
