#include "EditLAN.h"

TfrmEditLAN::TfrmEditLAN(QWidget* parent) : QDialog(parent)
{
    setModal(true);
}
