#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// A short text drawn as seven-segment characters, right-aligned in DigitNum
// cells: digits, blank, "-", ":", letters A..Z and decimal points.
class TLCD99 : public QWidget
{
    Q_OBJECT
public:
    explicit TLCD99(QWidget* parent = nullptr);

    QString Value() const { return FValue; }
    // Upper-cased; any character outside the glyph set empties the value; a
    // final "." is dropped.
    void SetValue(const QString& v);
    int DigitNum() const { return FDigitNum; }
    // At least one cell: fewer would leave nothing to draw into.
    void SetDigitNum(int v);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& v);
    QColor OnColor() const { return FOnColor; }
    void SetOnColor(const QColor& v);
    QColor OffColor() const { return FOffColor; }
    void SetOffColor(const QColor& v);
    int SegmentSize() const { return FSegmentSize; }
    void SetSegmentSize(int v);
    int GapX() const { return FGapX; }
    void SetGapX(int v);
    int GapY() const { return FGapY; }
    void SetGapY(int v);
    int DigitSpacing() const { return FDigitSpacing; }
    void SetDigitSpacing(int v);
    bool DoubleBuffer() const { return FDoubleBuffer; }
    void SetDoubleBuffer(bool v);

    // Lit elements of a character as a bit set, bit n-1 for element n
    // (1 top, 2 upper left, 3 upper right, 4 middle, 5 lower left,
    // 6 lower right, 7 bottom, 8 colon).
    static unsigned Glyph(QChar c);
    // Element n of cell i as drawn (hexagon or ellipse bounds), for the
    // current size; empty for an element the cell cannot hold.
    QPolygon ElementShape(int cell, int element) const;
    QRect PointRect(int cell) const;

signals:
    void OnChange(QObject* sender, const QString& oldValue, const QString& newValue);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct TCell {
        QChar Char = QLatin1Char(' ');
        bool Point = false;
    };
    QList<TCell> Cells() const;
    void Draw(QPainter& p);
    void Changed();

    QString FValue;
    int FDigitNum = 4;
    QColor FColor = Qt::black;
    QColor FOnColor = QColor(50, 205, 50);
    QColor FOffColor = Qt::black;
    int FSegmentSize = 2;
    int FGapX = 2;
    int FGapY = 2;
    int FDigitSpacing = 5;
    bool FDoubleBuffer = true;
    bool FPainting = false;
};
