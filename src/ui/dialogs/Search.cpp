#include "Search.h"

TfrmSearch::TfrmSearch(QWidget* parent) : QDialog(parent)
{
    setModal(true);
}

void TfrmSearch::WizardNotify(int, qintptr, qintptr) {}
