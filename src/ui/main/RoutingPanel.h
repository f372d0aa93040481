#pragma once

#include "settings/SettingsFile.h"

#include <QPair>
#include <QWidget>
#include <array>
#include <functional>

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QToolButton;
class TCommandRunner;
class TLCD99;
class TfrmShowInOutInfo;

// The switching surface of the "Setting" tab: per output a row of latching
// input buttons, two arrows and a seven-segment display of the routed input;
// a context menu repeats a choice over several outputs.
class TRoutingPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int MaxPorts = 8; // laid out for eight, ports 5..8 hidden
    static constexpr int PortToPort = 100;

    explicit TRoutingPanel(TCommandRunner* runner, QWidget* parent = nullptr);

    // Route one: the button of output o, input i (1-based). Shows the new
    // input at once and puts the previous one back when the matrix refuses.
    bool sbSetInputClick(int output, int input);
    // Arrow `number` (2o - 1 previous, 2o next).
    void sbPreviousClick(int number);
    // A context menu item with its port count, for the hovered input button.
    void mnuAllOutputsClick(int portCount);
    void pmPopup();
    // Routes the (output, input) pairs in order, stopping at the first
    // failure; refused while another chain runs. False when refused or failed.
    bool RunChain(const QList<QPair<int, int>>& routes);
    bool ChainRunning() const { return FChainDepth > 0; }
    bool RefreshRouting();

    void SetDisplayDigits(int digits);
    void SetAllOutputsPortCount(int count);
    // Input shown on output o's display; 0 when it shows no number.
    int DisplayedInput(int output) const;

    // Hover: the note and the tag window.
    void sbSetInputMouseMove(QToolButton* button, const QPoint& globalPos);
    void gbOutput1MouseMove();
    bool BuildTagSummary();
    // Mouse movement over `w` resets the note (the leave rule).
    void AddLeaveArea(QWidget* w);
    QToolButton* HoveredButton() const { return FHovered; }

    // What the surface reads from the rest of the window.
    std::function<TPortTags()> Tags;
    std::function<bool()> DisplayTags;
    std::function<TfrmShowInOutInfo*()> InfoWindow;

    std::array<QGroupBox*, MaxPorts> gbOutput{};
    std::array<std::array<QToolButton*, MaxPorts>, MaxPorts> sbSetInput{}; // [o-1][i-1]
    std::array<QToolButton*, MaxPorts> sbPrevious{};
    std::array<QToolButton*, MaxPorts> sbNext{};
    std::array<TLCD99*, MaxPorts> LED{};
    QLabel* lblNote;
    QMenu* pm;
    QList<QAction*> mnuItems; // in menu order, separator excluded
    QAction* mnuAllOutputs;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool RouteOne(int output, int input, bool fromChain);
    void Press(int output, int input);
    void ShowRouting(int output, int input);
    void HideInfo();

    TCommandRunner* FRunner;
    std::array<QButtonGroup*, MaxPorts> FRows{};
    QToolButton* FHovered = nullptr;
    int FChainDepth = 0;
};
