#include "Lcd99.h"

#include <QPainter>
#include <QPixmap>
#include <cmath>

namespace
{
constexpr unsigned Bits(std::initializer_list<int> lit)
{
    unsigned b = 0;
    for (int n : lit)
        b |= 1u << (n - 1);
    return b;
}

const unsigned DigitGlyphs[10] = {Bits({1, 2, 3, 5, 6, 7}),    Bits({3, 6}),
                                  Bits({1, 3, 4, 5, 7}),       Bits({1, 3, 4, 6, 7}),
                                  Bits({2, 3, 4, 6}),          Bits({1, 2, 4, 6, 7}),
                                  Bits({1, 2, 4, 5, 6, 7}),    Bits({1, 3, 6}),
                                  Bits({1, 2, 3, 4, 5, 6, 7}), Bits({1, 2, 3, 4, 6, 7})};

const unsigned LetterGlyphs[26] = {
    Bits({1, 2, 3, 4, 5, 6}), Bits({2, 4, 5, 6, 7}), Bits({1, 2, 5, 7}),    // A B C
    Bits({3, 4, 5, 6, 7}),    Bits({1, 2, 4, 5, 7}), Bits({1, 2, 4, 5}),    // D E F
    Bits({1, 2, 4, 5, 6, 7}), Bits({2, 4, 5, 6}),    Bits({3, 6}),          // G H I
    Bits({3, 6, 7}),          Bits({2, 3, 4, 5, 6}), Bits({2, 5, 7}),       // J K L
    Bits({4, 5, 6}),          Bits({4, 5, 6}),       Bits({4, 5, 6, 7}),    // M N O
    Bits({1, 2, 3, 4, 5}),    Bits({1, 2, 3, 4, 6}), Bits({4, 5}),          // P Q R
    Bits({1, 2, 4, 6, 7}),    Bits({2, 4, 5}),       Bits({2, 3, 5, 6, 7}), // S T U
    Bits({2, 3, 5, 6, 7}),    Bits({2, 3, 5, 6, 7}), Bits({2, 3, 4, 5, 6}), // V W X
    Bits({2, 3, 4, 6}),       Bits({1, 3, 4, 5, 7})};                       // Y Z

bool Allowed(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || u == ' ' || u == '-' || u == '.' ||
           u == ':';
}

// Quarter and half of a signed thickness, rounded half to even (10/4 -> 2).
int Part(int t, int d)
{
    return int(std::nearbyint(double(t) / d));
}
} // namespace

TLCD99::TLCD99(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    resize(92, 34);
}

unsigned TLCD99::Glyph(QChar c)
{
    const char16_t u = c.toUpper().unicode();
    if (u >= '0' && u <= '9') return DigitGlyphs[u - '0'];
    if (u >= 'A' && u <= 'Z') return LetterGlyphs[u - 'A'];
    if (u == '-') return Bits({4});
    if (u == ':') return Bits({8});
    return 0;
}

void TLCD99::SetValue(const QString& v)
{
    if (v == FValue) return;
    QString value = v.toUpper();
    for (QChar c : value)
        if (!Allowed(c)) {
            value.clear();
            break;
        }
    if (value.endsWith(QLatin1Char('.'))) value.chop(1);
    const QString old = FValue;
    FValue = value;
    emit OnChange(this, old, FValue);
    Changed();
}

void TLCD99::Changed()
{
    update();
}

void TLCD99::SetDigitNum(int v)
{
    v = qMax(1, v);
    if (v == FDigitNum) return;
    FDigitNum = v;
    Changed();
}

#define LCD_SETTER(Type, Name)                                                                     \
    void TLCD99::Set##Name(Type v)                                                                 \
    {                                                                                              \
        if (v == F##Name) return;                                                                  \
        F##Name = v;                                                                               \
        Changed();                                                                                 \
    }
LCD_SETTER(const QColor&, Color)
LCD_SETTER(const QColor&, OnColor)
LCD_SETTER(const QColor&, OffColor)
LCD_SETTER(bool, DoubleBuffer)
#undef LCD_SETTER

// Sizes below zero would draw outside the cells.
#define LCD_SIZE_SETTER(Name)                                                                      \
    void TLCD99::Set##Name(int v)                                                                  \
    {                                                                                              \
        v = qMax(0, v);                                                                            \
        if (v == F##Name) return;                                                                  \
        F##Name = v;                                                                               \
        Changed();                                                                                 \
    }
LCD_SIZE_SETTER(SegmentSize)
LCD_SIZE_SETTER(GapX)
LCD_SIZE_SETTER(GapY)
LCD_SIZE_SETTER(DigitSpacing)
#undef LCD_SIZE_SETTER

QList<TLCD99::TCell> TLCD99::Cells() const
{
    QList<TCell> cells;
    bool point = false;
    for (QChar c : FValue) {
        if (c == QLatin1Char('.')) {
            point = true;
            continue;
        }
        cells.append(TCell{c, point});
        point = false;
    }
    while (cells.size() < FDigitNum)
        cells.prepend(TCell());
    return cells.mid(0, FDigitNum);
}

QPolygon TLCD99::ElementShape(int cell, int element) const
{
    const int s = FDigitSpacing + 1;
    const int n = FDigitNum;
    const int cw = (width() - s - n * s - 1) / n;
    const int ch = height() - 1;
    if (cw <= 0 || ch <= 0) return QPolygon();
    const int x0 = cell * (s + cw) + s;
    const int ss = FSegmentSize;
    const int l = cw - 2 * FGapX;
    const int v = ch / 2 - 2 * FGapY;

    auto horizontal = [&](int x, int y, int t) {
        return QPolygon({QPoint(x, y + Part(t, 4)), QPoint(x + Part(ss, 2), y),
                         QPoint(x + l - Part(ss, 2), y), QPoint(x + l, y + Part(t, 4)),
                         QPoint(x + l - ss, y + t), QPoint(x + ss, y + t)});
    };
    auto middle = [&](int x, int y, int t) {
        return QPolygon({QPoint(x, y + Part(t, 2)), QPoint(x + ss, y), QPoint(x + l - ss, y),
                         QPoint(x + l, y + Part(t, 2)), QPoint(x + l - ss, y + t),
                         QPoint(x + ss, y + t)});
    };
    auto vertical = [&](int x, int y, int t) {
        return QPolygon({QPoint(x + Part(t, 4), y), QPoint(x, y + Part(ss, 2)),
                         QPoint(x, y + v - Part(ss, 2)), QPoint(x + Part(t, 4), y + v),
                         QPoint(x + t, y + v - ss), QPoint(x + t, y + ss)});
    };
    switch (element) {
    case 1:
        return horizontal(x0 + FGapX, 0, ss);
    case 2:
        return vertical(x0, FGapY, ss);
    case 3:
        return vertical(x0 + cw, FGapY, -ss);
    case 4:
        return middle(x0 + FGapX, ch / 2 - ss / 2, ss);
    case 5:
        return vertical(x0, ch / 2 + FGapY, ss);
    case 6:
        return vertical(x0 + cw, ch / 2 + FGapY, -ss);
    case 7:
        return horizontal(x0 + FGapX, ch, -ss);
    case 8: {
        // Bounds of the two colon dots.
        const int w = l / 3, h = v / 3;
        const int x = x0 + (cw - w) / 2;
        return QPolygon(QRect(x, ch / 2 - 2 * h, w, 4 * h));
    }
    default:
        return QPolygon();
    }
}

QRect TLCD99::PointRect(int cell) const
{
    const int s = FDigitSpacing + 1;
    const int n = FDigitNum;
    const int cw = (width() - s - n * s - 1) / n;
    const int ch = height() - 1;
    const int e = qMin(FSegmentSize, s - 2);
    if (e <= 0 || cw <= 0) return QRect();
    const int centre = cell * (s + cw) + s / 2;
    return QRect(centre - e / 2, ch - e + 1, e, e);
}

void TLCD99::Draw(QPainter& p)
{
    p.fillRect(rect(), FColor);
    const QList<TCell> cells = Cells();
    for (int i = 0; i < cells.size(); ++i) {
        const QRect r = PointRect(i);
        if (!r.isEmpty()) p.fillRect(r, cells[i].Point ? FOnColor : FOffColor);
    }
    const int s = FDigitSpacing + 1;
    const int cw = (width() - s - FDigitNum * s - 1) / FDigitNum;
    const int ch = height() - 1;
    const int l = cw - 2 * FGapX;
    const int v = ch / 2 - 2 * FGapY;
    for (int i = 0; i < cells.size(); ++i) {
        const unsigned lit = Glyph(cells[i].Char);
        for (int element : {1, 2, 3, 8, 4, 5, 6, 7}) {
            const QColor c = (lit >> (element - 1)) & 1u ? FOnColor : FOffColor;
            p.setPen(c);
            p.setBrush(c);
            if (element == 8) {
                if (cw <= 0) continue;
                const int w = l / 3, h = v / 3;
                const int x = i * (s + cw) + s + (cw - w) / 2;
                p.drawEllipse(QRect(x, ch / 2 - 2 * h, w, h));
                p.drawEllipse(QRect(x, ch / 2 + h, w, h));
                continue;
            }
            const QPolygon shape = ElementShape(i, element);
            if (!shape.isEmpty()) p.drawPolygon(shape);
        }
    }
}

void TLCD99::paintEvent(QPaintEvent*)
{
    // A repaint that starts while another one runs has nothing to add.
    if (FPainting || width() <= 0 || height() <= 0) return;
    FPainting = true;
    if (FDoubleBuffer) {
        QPixmap buffer(size());
        {
            QPainter p(&buffer);
            Draw(p);
        }
        QPainter(this).drawPixmap(0, 0, buffer);
    } else {
        QPainter p(this);
        Draw(p);
    }
    FPainting = false;
}
