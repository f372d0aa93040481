#include "StatusBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace
{
const int PanelWidths[TStatusBar::PanelCount] = {185, 235, 300, 135, 50};
const int PanelGap = 2;
} // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent)
{
    for (int i = 0; i < PanelCount; ++i)
        FTexts << QString();
    setFixedHeight(sizeHint().height());
}

QSize TStatusBar::sizeHint() const
{
    return QSize(905, fontMetrics().height() + 8);
}

QString TStatusBar::PanelText(int panel) const
{
    return panel >= 1 && panel <= PanelCount ? FTexts[panel - 1] : QString();
}

void TStatusBar::SetPanelText(int panel, const QString& text)
{
    if (panel < 1 || panel > PanelCount || FTexts[panel - 1] == text) return;
    FTexts[panel - 1] = text;
    update(PanelRect(panel));
    emit PanelTextChanged(panel, text);
}

QRect TStatusBar::PanelRect(int panel) const
{
    int left = 0;
    for (int i = 1; i < panel; ++i)
        left += PanelWidths[i - 1];
    int width = PanelWidths[panel - 1];
    if (panel == PanelCount) width = qMax(width, this->width() - left);
    return QRect(left, 1, width - PanelGap, height() - 2);
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    for (int panel = 1; panel <= PanelCount; ++panel) {
        const QRect r = PanelRect(panel);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        const QRect inner = r.adjusted(1, 1, -1, -1);
        if (panel == 2 && FDrawPanel) {
            p.save();
            p.setClipRect(inner);
            FDrawPanel(p, inner, FTexts[1]);
            p.restore();
            continue;
        }
        p.setPen(palette().color(QPalette::WindowText));
        const int align = panel == 4 ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignVCenter);
        p.drawText(inner.adjusted(3, 0, -3, 0), align, FTexts[panel - 1]);
    }
}
