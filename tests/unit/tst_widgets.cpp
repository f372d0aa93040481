// The progress gauge and the seven-segment display, checked on the pixels
// they paint.
#include "widgets/Lcd99.h"
#include "widgets/QMGauge.h"

#include <QImage>
#include <QtTest>

namespace
{
QImage Render(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of `colour` on row y.
int CountOnRow(const QImage& img, int y, QColor colour)
{
    int n = 0;
    for (int x = 0; x < img.width(); ++x)
        n += QColor(img.pixel(x, y)) == colour ? 1 : 0;
    return n;
}

// The colour at the middle of element n of cell i.
QColor ElementColour(const TLCD99& lcd, const QImage& img, int cell, int element)
{
    const QPoint c = lcd.ElementShape(cell, element).boundingRect().center();
    return QColor(img.pixel(c));
}

QList<int> LitElements(const TLCD99& lcd, const QImage& img, int cell)
{
    QList<int> lit;
    for (int e = 1; e <= 7; ++e)
        if (ElementColour(lcd, img, cell, e) == lcd.OnColor()) lit << e;
    return lit;
}

TLCD99* RoutingDisplay(int digits)
{
    auto* lcd = new TLCD99;
    lcd->resize(81, 89);
    lcd->SetOnColor(Qt::red);
    lcd->SetSegmentSize(10);
    lcd->SetGapX(3);
    lcd->SetGapY(3);
    lcd->SetDigitNum(digits);
    return lcd;
}
} // namespace

class tst_widgets : public QObject
{
    Q_OBJECT
private slots:
    void gaugeFillAndText();
    void gaugeRangeRules();
    void gaugeTextChangesColourAtTheFillEdge();
    void lcdGlyphsAndAlignment();
    void lcdValueRules();
};

void tst_widgets::gaugeFillAndText()
{
    TQMGauge g;
    QCOMPARE(g.size(), QSize(300, 24));
    QCOMPARE(g.Caption(), QStringLiteral("Quillmark Component"));
    g.resize(361, 24);
    g.SetCaption(QStringLiteral("Upgrade progress"));
    g.SetShowText(false);
    g.SetProgress(42);
    QImage img = Render(g);
    // Flat frame in the border colour, 359 inner pixels, 150 of them filled.
    QCOMPARE(QColor(img.pixel(0, 12)), QColor(Qt::black));
    QCOMPARE(CountOnRow(img, 12, Qt::black), 150 + 2);
    QCOMPARE(QColor(img.pixel(150, 12)), QColor(Qt::black));
    QCOMPARE(QColor(img.pixel(151, 12)), QColor(Qt::white));

    g.SetProgress(0);
    QCOMPARE(CountOnRow(Render(g), 12, Qt::black), 2);
    g.SetProgress(100);
    QCOMPARE(CountOnRow(Render(g), 12, Qt::black), 361);

    g.SetShowText(true);
    g.SetProgress(42);
    QCOMPARE(g.Text(), QStringLiteral("Upgrade progress 42%"));
    QCOMPARE(g.accessibleName(), QStringLiteral("Upgrade progress"));
    QCOMPARE(g.accessibleDescription(), QStringLiteral("Upgrade progress 42%"));
    g.SetShowPercent(false);
    QCOMPARE(g.Text(), QStringLiteral("Upgrade progress"));
    g.SetShowPercent(true);
    g.SetCaption(QString());
    QCOMPARE(g.Text(), QStringLiteral("42%"));
}

void tst_widgets::gaugeRangeRules()
{
    TQMGauge g;
    QStringList messages;
    g.RangeMessage = [&](const QString& t) { messages << t; };
    g.SetProgress(30);
    g.SetProgress(101);
    g.SetProgress(-1);
    QCOMPARE(g.Progress(), 30);
    g.SetMinValue(-1);
    g.SetMinValue(100);
    g.SetMaxValue(-1);
    g.SetMinValue(20);
    g.SetMaxValue(20);
    g.SetProgress(10);
    QCOMPARE(
        messages,
        (QStringList{"Value is greater than MaxValue.", "Value must be greater than 0.",
                     "Value must be greater than 0.", "Value is greater than or equal to MaxValue.",
                     "Value must be greater than 0.", "Value is less than or equal to MinValue.",
                     "Value is less than MinValue."}));
    QCOMPARE(g.MinValue(), 20);
    QCOMPARE(g.MaxValue(), 100);
    // The range can never become zero, so painting never divides by it.
    QVERIFY(g.MaxValue() > g.MinValue());
    g.resize(1, 1);
    Render(g);
}

void tst_widgets::gaugeTextChangesColourAtTheFillEdge()
{
    TQMGauge g;
    g.resize(361, 24);
    g.SetTxtAlign(ttaLEFT);
    g.SetCaption(QStringLiteral("MMMMMMMMMMMMMMMMMMMM"));
    g.SetShowPercent(false);
    g.SetProgress(5); // the fill ends inside the caption
    const int edge = g.FilledWidth();
    const QImage img = Render(g);
    bool whiteInFill = false, darkBeyond = false;
    for (int y = 2; y < 22; ++y) {
        for (int x = 1; x <= edge; ++x)
            whiteInFill = whiteInFill || QColor(img.pixel(x, y)).lightness() > 200;
        for (int x = edge + 1; x < edge + 40; ++x)
            darkBeyond = darkBeyond || QColor(img.pixel(x, y)).lightness() < 60;
    }
    QVERIFY(whiteInFill);
    QVERIFY(darkBeyond);
}

void tst_widgets::lcdGlyphsAndAlignment()
{
    std::unique_ptr<TLCD99> lcd(RoutingDisplay(1));
    lcd->SetValue(QStringLiteral("3"));
    QCOMPARE(LitElements(*lcd, Render(*lcd), 0), (QList<int>{1, 3, 4, 6, 7}));
    lcd->SetValue(QStringLiteral("8"));
    QCOMPARE(LitElements(*lcd, Render(*lcd), 0), (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    // Only the first cell of "12" fits.
    lcd->SetValue(QStringLiteral("12"));
    QCOMPARE(LitElements(*lcd, Render(*lcd), 0), (QList<int>{3, 6}));

    std::unique_ptr<TLCD99> wide(RoutingDisplay(4));
    wide->resize(300, 89);
    wide->SetValue(QStringLiteral("7"));
    QImage img = Render(*wide);
    for (int cell = 0; cell < 3; ++cell)
        QVERIFY(LitElements(*wide, img, cell).isEmpty());
    QCOMPARE(LitElements(*wide, img, 3), (QList<int>{1, 3, 6}));

    // The point of "1.5" lights in the gap before the 5.
    wide->SetValue(QStringLiteral("1.5"));
    img = Render(*wide);
    QCOMPARE(QColor(img.pixel(wide->PointRect(3).center())), QColor(Qt::red));
    QCOMPARE(QColor(img.pixel(wide->PointRect(2).center())), QColor(Qt::black));
    QCOMPARE(LitElements(*wide, img, 3), (QList<int>{1, 2, 4, 6, 7}));

    // Colon: both dots.
    wide->SetValue(QStringLiteral(":"));
    img = Render(*wide);
    const QRect dots = wide->ElementShape(3, 8).boundingRect();
    QCOMPARE(QColor(img.pixel(dots.center().x(), dots.top() + dots.height() / 8)), QColor(Qt::red));
    QCOMPARE(QColor(img.pixel(dots.center().x(), dots.bottom() - dots.height() / 8)),
             QColor(Qt::red));
}

void tst_widgets::lcdValueRules()
{
    TLCD99 lcd;
    QSignalSpy changes(&lcd, &TLCD99::OnChange);
    lcd.SetValue(QStringLiteral("5."));
    QCOMPARE(lcd.Value(), QStringLiteral("5"));
    lcd.SetValue(QStringLiteral("a"));
    QCOMPARE(lcd.Value(), QStringLiteral("A"));
    QCOMPARE(TLCD99::Glyph(QLatin1Char('a')), TLCD99::Glyph(QLatin1Char('A')));
    lcd.SetValue(QStringLiteral("1#"));
    QCOMPARE(lcd.Value(), QString());
    lcd.SetValue(QStringLiteral("?"));
    // "?" differs from the empty value before it checks its characters.
    QCOMPARE(changes.size(), 4);
    QVERIFY(LitElements(lcd, Render(lcd), 3).isEmpty());
    // No cells or a tiny widget: nothing to draw, nothing to crash on.
    lcd.SetDigitNum(0);
    QCOMPARE(lcd.DigitNum(), 1);
    lcd.resize(3, 3);
    Render(lcd);
}

QTEST_MAIN(tst_widgets)
#include "tst_widgets.moc"
