#include "ShowInOutInfo.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

TfrmShowInOutInfo::TfrmShowInOutInfo(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Panel);
    lblInfo = new QLabel(panel);
    QFont f = lblInfo->font();
    f.setBold(true);
    lblInfo->setFont(f);
    (new QVBoxLayout(panel))->addWidget(lblInfo);
    (new QVBoxLayout(this))->addWidget(panel);
    layout()->setContentsMargins(0, 0, 0, 0);
}
