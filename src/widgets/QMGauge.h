#pragma once

#include <QColor>
#include <QWidget>
#include <functional>

enum TQMOUTLINE { ol3D = 0, olFLAT = 1 };
enum TQMTXTALIGN { ttaLEFT = 0, ttaCENTER = 1, ttaRIGHT = 2 };

// A horizontal progress bar filled from the left, with a caption and
// percentage drawn over it; text over the filled part takes the background
// colour. Painted off-screen first, so it never flickers.
class TQMGauge : public QWidget
{
    Q_OBJECT
public:
    explicit TQMGauge(QWidget* parent = nullptr);
    ~TQMGauge() override;

    TQMOUTLINE OutLine() const { return FOutLine; }
    void SetOutLine(TQMOUTLINE v);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool v);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& v);
    TQMTXTALIGN TxtAlign() const { return FTxtAlign; }
    void SetTxtAlign(TQMTXTALIGN v);
    bool ShowText() const { return FShowText; }
    void SetShowText(bool v);
    bool ShowPercent() const { return FShowPercent; }
    void SetShowPercent(bool v);
    int Progress() const { return FProgress; }
    // Refused values keep the old one and show the range message.
    void SetProgress(int v);
    QColor FrontColor() const { return FFrontColor; }
    void SetFrontColor(const QColor& v);
    QColor BackColor() const { return FBackColor; }
    void SetBackColor(const QColor& v);
    QColor BorderColor() const { return FBorderColor; }
    void SetBorderColor(const QColor& v);
    QColor Frame3DTopColor() const { return FFrame3DTopColor; }
    void SetFrame3DTopColor(const QColor& v);
    QColor Frame3DBottomColor() const { return FFrame3DBottomColor; }
    void SetFrame3DBottomColor(const QColor& v);
    int MinValue() const { return FMinValue; }
    void SetMinValue(int v);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int v);

    // The text drawn over the bar ("Upgrade progress 42%"); empty when
    // ShowText is off.
    QString Text() const;
    // Filled width inside the frame for the current size and progress.
    int FilledWidth() const;

    // Shows a range refusal; by default a modal "Error" box. Tests and
    // windows without a screen replace it.
    std::function<void(const QString&)> RangeMessage;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool Refuse(const QString& text);
    void Changed();
    QRect InnerRect() const;

    TQMOUTLINE FOutLine = olFLAT;
    bool FTransparent = false;
    QString FCaption;
    TQMTXTALIGN FTxtAlign = ttaCENTER;
    bool FShowText = true;
    bool FShowPercent = true;
    int FProgress = 0;
    QColor FFrontColor;
    QColor FBackColor;
    QColor FBorderColor;
    QColor FFrame3DTopColor;
    QColor FFrame3DBottomColor;
    int FMinValue = 0;
    int FMaxValue = 100;
};
