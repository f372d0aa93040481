#include "ShowInOutInfo.h"

#include <QFontMetrics>
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
    lblInfo->setAccessibleName(QStringLiteral("Port tags"));
    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(5, 5, 5, 5);
    inner->addWidget(lblInfo);
    (new QVBoxLayout(this))->addWidget(panel);
    layout()->setContentsMargins(0, 0, 0, 0);
}

void TfrmShowInOutInfo::SetLines(const QStringList& lines)
{
    setFont(lblInfo->font());
    lblInfo->setText(lines.join(QLatin1Char('\n')));
    const QFontMetrics fm(lblInfo->font());
    int width = 0, height = 0;
    for (const QString& line : lines) {
        width = qMax(width, fm.horizontalAdvance(line));
        height += fm.height();
    }
    setFixedSize(width + 10, height + 10);
}

void TfrmShowInOutInfo::mousePressEvent(QMouseEvent*)
{
    hide();
}
