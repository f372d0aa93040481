#include "QMGauge.h"

#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

TQMGauge::TQMGauge(QWidget* parent)
    : QWidget(parent), FCaption(QStringLiteral("Quillmark Component")), FFrontColor(Qt::black),
      FBackColor(Qt::white), FBorderColor(Qt::black),
      FFrame3DTopColor(palette().color(QPalette::Shadow)), FFrame3DBottomColor(Qt::white)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(300, 24);
    RangeMessage = [this](const QString& text) {
        QMessageBox::critical(this, QStringLiteral("Error"), text, QMessageBox::Ok);
    };
    Changed();
}

TQMGauge::~TQMGauge() = default;

bool TQMGauge::Refuse(const QString& text)
{
    if (RangeMessage) RangeMessage(text);
    return false;
}

void TQMGauge::Changed()
{
    // Screen readers find the bar by its caption and hear what it shows.
    setAccessibleName(FCaption);
    setAccessibleDescription(Text());
    update();
}

void TQMGauge::SetOutLine(TQMOUTLINE v)
{
    FOutLine = v;
    Changed();
}

void TQMGauge::SetTransparent(bool v)
{
    FTransparent = v;
    Changed();
}

void TQMGauge::SetCaption(const QString& v)
{
    if (v == FCaption) return;
    FCaption = v;
    Changed();
}

void TQMGauge::SetTxtAlign(TQMTXTALIGN v)
{
    if (v == FTxtAlign) return;
    FTxtAlign = v;
    Changed();
}

void TQMGauge::SetShowText(bool v)
{
    if (v == FShowText) return;
    FShowText = v;
    Changed();
}

void TQMGauge::SetShowPercent(bool v)
{
    if (v == FShowPercent) return;
    FShowPercent = v;
    Changed();
}

void TQMGauge::SetProgress(int v)
{
    if (v < 0) {
        Refuse(QStringLiteral("Value must be greater than 0."));
        return;
    }
    if (v < FMinValue) {
        Refuse(QStringLiteral("Value is less than MinValue."));
        return;
    }
    if (v > FMaxValue) {
        Refuse(QStringLiteral("Value is greater than MaxValue."));
        return;
    }
    if (v == FProgress) return;
    FProgress = v;
    Changed();
    // The caller is usually busy: show the new value now.
    repaint();
}

void TQMGauge::SetMinValue(int v)
{
    if (v < 0) {
        Refuse(QStringLiteral("Value must be greater than 0."));
        return;
    }
    if (v >= FMaxValue) {
        Refuse(QStringLiteral("Value is greater than or equal to MaxValue."));
        return;
    }
    if (v == FMinValue) return;
    FMinValue = v;
    // Progress stays inside the range.
    if (FProgress < FMinValue) FProgress = FMinValue;
    Changed();
}

void TQMGauge::SetMaxValue(int v)
{
    if (v < 0) {
        Refuse(QStringLiteral("Value must be greater than 0."));
        return;
    }
    if (v <= FMinValue) {
        Refuse(QStringLiteral("Value is less than or equal to MinValue."));
        return;
    }
    if (v == FMaxValue) return;
    FMaxValue = v;
    if (FProgress > FMaxValue) FProgress = FMaxValue;
    Changed();
}

#define QM_COLOR_SETTER(Name)                                                                      \
    void TQMGauge::Set##Name(const QColor& v)                                                      \
    {                                                                                              \
        if (v == F##Name) return;                                                                  \
        F##Name = v;                                                                               \
        Changed();                                                                                 \
    }
QM_COLOR_SETTER(FrontColor)
QM_COLOR_SETTER(BackColor)
QM_COLOR_SETTER(BorderColor)
QM_COLOR_SETTER(Frame3DTopColor)
QM_COLOR_SETTER(Frame3DBottomColor)
#undef QM_COLOR_SETTER

QString TQMGauge::Text() const
{
    if (!FShowText) return QString();
    // The setters keep MinValue < MaxValue, so the range is never zero.
    const qint64 range = qint64(FMaxValue) - FMinValue;
    const qint64 percent = range > 0 ? (qint64(FProgress) - FMinValue) * 100 / range : 0;
    if (!FShowPercent) return FCaption;
    if (FCaption.isEmpty()) return QStringLiteral("%1%").arg(percent);
    return QStringLiteral("%1 %2%").arg(FCaption).arg(percent);
}

QRect TQMGauge::InnerRect() const
{
    return rect().adjusted(1, 1, -1, -1);
}

int TQMGauge::FilledWidth() const
{
    const QRect r = InnerRect();
    const qint64 range = qint64(FMaxValue) - FMinValue;
    if (r.width() <= 0 || range <= 0) return 0;
    return int(qint64(r.width()) * (qint64(FProgress) - FMinValue) / range);
}

void TQMGauge::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0) return;
    QPixmap buffer(size());
    buffer.fill(palette().color(backgroundRole()));
    {
        QPainter p(&buffer);
        p.setFont(font());
        QRect r = rect();
        if (FOutLine == ol3D) {
            p.setPen(FFrame3DTopColor);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(FFrame3DBottomColor);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
            r = InnerRect();
            if (!FTransparent) p.fillRect(r, FBackColor);
        } else {
            if (!FTransparent) p.fillRect(r, FBackColor);
            p.setPen(FBorderColor);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            r = InnerRect();
        }
        const int filled = FilledWidth();
        const QRect bar(r.left(), r.top(), filled, r.height());
        if (filled > 0) p.fillRect(bar, FFrontColor);

        const QString text = Text();
        if (!text.isEmpty() && r.width() > 0) {
            int align = Qt::AlignVCenter | Qt::TextSingleLine;
            align |= FTxtAlign == ttaLEFT    ? Qt::AlignLeft
                     : FTxtAlign == ttaRIGHT ? Qt::AlignRight
                                             : Qt::AlignHCenter;
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(r, align, text);
            if (filled > 0) {
                p.setClipRect(bar);
                p.setPen(FBackColor);
                p.drawText(r, align, text);
            }
        }
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}
