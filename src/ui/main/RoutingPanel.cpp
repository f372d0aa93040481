#include "RoutingPanel.h"

#include "CommandRunner.h"
#include "link/Commands.h"
#include "link/ProcessFlags.h"
#include "ui/dialogs/ShowInOutInfo.h"
#include "widgets/Lcd99.h"

#include <QAction>
#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
const char* const RestNote = "Output from Input";
const int ButtonSize = 36;
} // namespace

TRoutingPanel::TRoutingPanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
    pm = new QMenu(this);
    struct TItem {
        const char* Caption;
        int Count;
        bool Visible;
    };
    const TItem items[] = {{"All Outputs", 4, true}, {nullptr, 0, true},
                           {"1 Output", 1, true},    {"2 Outputs", 2, true},
                           {"3 Outputs", 3, true},   {"4 Outputs", 4, false},
                           {"5 Outputs", 5, false},  {"6 Outputs", 6, false},
                           {"7 Outputs", 7, false},  {"Port to Port", PortToPort, true}};
    for (const TItem& it : items) {
        if (!it.Caption) {
            pm->addSeparator();
            continue;
        }
        QAction* a = pm->addAction(QLatin1String(it.Caption));
        a->setData(it.Count);
        a->setVisible(it.Visible);
        connect(a, &QAction::triggered, this, [this, a] { mnuAllOutputsClick(a->data().toInt()); });
        mnuItems.append(a);
    }
    mnuAllOutputs = mnuItems.first();
    connect(pm, &QMenu::aboutToShow, this, [this] { pmPopup(); });

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    for (int o = 1; o <= MaxPorts; ++o) {
        const size_t oi = size_t(o - 1);
        auto* gb = new QGroupBox(QStringLiteral("Output%1").arg(o));
        gbOutput[oi] = gb;
        FRows[oi] = new QButtonGroup(this);
        FRows[oi]->setExclusive(true);
        auto* grid = new QGridLayout(gb);
        grid->setHorizontalSpacing(4);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(4);
        for (int i = 1; i <= MaxPorts; ++i) {
            auto* b = new QToolButton;
            b->setText(QString::number(i));
            b->setCheckable(true);
            b->setFixedSize(ButtonSize, ButtonSize);
            b->setAccessibleDescription(QStringLiteral("Input%1 to Output%2").arg(i).arg(o));
            b->setContextMenuPolicy(Qt::CustomContextMenu);
            b->setMouseTracking(true);
            b->installEventFilter(this);
            // Only hidden explicitly: showing a widget before it has a parent
            // would open it as a window of its own first.
            if (i > PortCount) b->hide();
            FRows[oi]->addButton(b, i);
            connect(b, &QToolButton::clicked, this, [this, o, i] { sbSetInputClick(o, i); });
            connect(b, &QWidget::customContextMenuRequested, this, [this, b](const QPoint& pos) {
                FHovered = b;
                pm->popup(b->mapToGlobal(pos));
            });
            sbSetInput[oi][size_t(i - 1)] = b;
            buttons->addWidget(b);
        }
        grid->addLayout(buttons, 0, 0, 1, 3, Qt::AlignHCenter);

        auto arrow = [this, o](Qt::ArrowType type, int number, const QString& name) {
            auto* a = new QToolButton;
            a->setArrowType(type);
            a->setFixedSize(ButtonSize, ButtonSize);
            a->setAccessibleName(name);
            a->setMouseTracking(true);
            a->installEventFilter(this);
            connect(a, &QToolButton::clicked, this, [this, number] { sbPreviousClick(number); });
            Q_UNUSED(o)
            return a;
        };
        sbPrevious[oi] =
            arrow(Qt::LeftArrow, 2 * o - 1, QStringLiteral("Output%1 previous input").arg(o));
        sbNext[oi] = arrow(Qt::RightArrow, 2 * o, QStringLiteral("Output%1 next input").arg(o));

        auto* led = new TLCD99;
        led->setFixedSize(81, 89);
        led->SetColor(Qt::black);
        led->SetOnColor(Qt::red);
        led->SetOffColor(Qt::black);
        led->SetSegmentSize(10);
        led->SetGapX(3);
        led->SetGapY(3);
        led->SetDigitSpacing(5);
        led->SetDigitNum(4);
        connect(led, &TLCD99::OnChange, this,
                [led, o](QObject*, const QString&, const QString& value) {
                    led->setAccessibleName(QStringLiteral("Output%1 input %2").arg(o).arg(value));
                });
        led->SetValue(QStringLiteral("4"));
        LED[oi] = led;
        grid->addWidget(sbPrevious[oi], 1, 0, Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(led, 1, 1, Qt::AlignCenter);
        grid->addWidget(sbNext[oi], 1, 2, Qt::AlignLeft | Qt::AlignVCenter);
        if (o > PortCount) gb->hide();
        row->addWidget(gb);
        AddLeaveArea(gb);
    }

    lblNote = new QLabel(QLatin1String(RestNote));
    QFont f = lblNote->font();
    f.setBold(true);
    lblNote->setFont(f);
    AddLeaveArea(lblNote);
    AddLeaveArea(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(row);
    column->addWidget(lblNote);
}

void TRoutingPanel::AddLeaveArea(QWidget* w)
{
    w->setMouseTracking(true);
    w->installEventFilter(this);
}

bool TRoutingPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseMove) return QWidget::eventFilter(watched, event);
    auto* button = qobject_cast<QToolButton*>(watched);
    const bool routing = button && std::find(gbOutput.begin(), gbOutput.end(),
                                             button->parentWidget()) != gbOutput.end();
    const QPoint global = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    if (routing) {
        sbSetInputMouseMove(button, global);
    } else if (!FHovered || !FHovered->rect().contains(FHovered->mapFromGlobal(global))) {
        // A button passes the moves it ignores on to its group: those are
        // no leave.
        gbOutput1MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void TRoutingPanel::SetDisplayDigits(int digits)
{
    for (TLCD99* led : LED)
        led->SetDigitNum(digits);
}

void TRoutingPanel::SetAllOutputsPortCount(int count)
{
    mnuAllOutputs->setData(count);
}

int TRoutingPanel::DisplayedInput(int output) const
{
    return LED[size_t(output - 1)]->Value().trimmed().toInt();
}

void TRoutingPanel::Press(int output, int input)
{
    QButtonGroup* row = FRows[size_t(output - 1)];
    if (input >= 1 && input <= MaxPorts) {
        sbSetInput[size_t(output - 1)][size_t(input - 1)]->setChecked(true);
        return;
    }
    // No button for that number: none of the row is pressed.
    row->setExclusive(false);
    for (QAbstractButton* b : row->buttons())
        b->setChecked(false);
    row->setExclusive(true);
}

void TRoutingPanel::ShowRouting(int output, int input)
{
    TLCD99* led = LED[size_t(output - 1)];
    led->SetValue(input > 0 ? QString::number(input) : QString());
    led->repaint();
}

bool TRoutingPanel::sbSetInputClick(int output, int input)
{
    return RouteOne(output, input, false);
}

bool TRoutingPanel::RouteOne(int output, int input, bool fromChain)
{
    const int previous = DisplayedInput(output);
    if (FChainDepth > 0 && !fromChain) {
        // A chain is running: this click neither routes nor ends the chain.
        Press(output, previous);
        FRunner->ShowStatus(3, QStringLiteral("In processing, command ignored"));
        return false;
    }
    Press(output, input);
    ShowRouting(output, input);
    const TCommandReply r = FRunner->RunPoweredCommand(Catalogue::RouteSet(input, output));
    if (r.Ok) return true;
    Press(output, previous);
    ShowRouting(output, previous);
    FRunner->Flags()->RoutingFailure = true;
    return false;
}

void TRoutingPanel::sbPreviousClick(int number)
{
    const int output = (number + 1) / 2;
    const int current = DisplayedInput(output);
    int input;
    if (number % 2 == 1)
        input = current >= 2 ? current - 1 : PortCount;
    else
        input = current + 1 > PortCount ? 1 : current + 1;
    // Values from outside the matrix's range step back into it.
    if (input > PortCount) input = PortCount;
    RouteOne(output, input, false);
}

bool TRoutingPanel::RunChain(const QList<QPair<int, int>>& routes)
{
    if (FChainDepth > 0) {
        FRunner->ShowStatus(3, QStringLiteral("In processing, command ignored"));
        return false;
    }
    ++FChainDepth;
    TProcessFlags* flags = FRunner->Flags();
    flags->RoutingFailure = false;
    bool ok = true;
    for (const auto& route : routes) {
        RouteOne(route.first, route.second, true);
        if (flags->RoutingFailure) {
            ok = false;
            break;
        }
    }
    --FChainDepth;
    return ok;
}

void TRoutingPanel::mnuAllOutputsClick(int portCount)
{
    if (!FHovered) return;
    int group = 0, input = 0;
    for (int o = 1; o <= MaxPorts && !group; ++o)
        for (int i = 1; i <= MaxPorts; ++i)
            if (sbSetInput[size_t(o - 1)][size_t(i - 1)] == FHovered) {
                group = o;
                input = i;
                break;
            }
    if (!group) return;
    int first = group, last = qMin(group + portCount - 1, PortCount);
    if (portCount == PortCount || portCount == PortToPort) {
        first = 1;
        last = PortCount;
    }
    QList<QPair<int, int>> routes;
    for (int o = first; o <= last; ++o)
        routes.append({o, portCount == PortToPort ? o : input});
    RunChain(routes);
}

void TRoutingPanel::pmPopup()
{
    HideInfo();
}

bool TRoutingPanel::RefreshRouting()
{
    for (int o = 1; o <= PortCount; ++o) {
        const TCommandReply r = FRunner->RunPoweredCommand(Catalogue::RouteQuery(o));
        if (!r.Ok) return false;
        const int input = r.P2Lo();
        // No button carries that number: the read is of no use.
        if (input < 1 || input > MaxPorts) return false;
        ShowRouting(o, input);
        Press(o, input);
    }
    return true;
}

void TRoutingPanel::sbSetInputMouseMove(QToolButton* button, const QPoint& globalPos)
{
    FHovered = button;
    int output = 0, input = 0;
    bool inputButton = false;
    for (int o = 1; o <= MaxPorts; ++o) {
        const size_t oi = size_t(o - 1);
        if (button == sbPrevious[oi] || button == sbNext[oi]) {
            output = o;
            input = DisplayedInput(o);
        }
        for (int i = 1; i <= MaxPorts; ++i)
            if (sbSetInput[oi][size_t(i - 1)] == button) {
                output = o;
                input = i;
                inputButton = true;
            }
    }
    if (!output) return;
    const TPortTags tags = Tags ? Tags() : TPortTags();
    auto tag = [](const std::array<QString, 4>& list, int n) {
        return n >= 1 && n <= 4 ? list[size_t(n - 1)] : QString();
    };
    QString note = QStringLiteral("Output%1").arg(output);
    const QString outTag = tag(tags.Out, output);
    note +=
        outTag.isEmpty() ? QStringLiteral(" from ") : QStringLiteral(" - [%1] from ").arg(outTag);
    note += QStringLiteral("Input%1").arg(input);
    const QString inTag = tag(tags.In, input);
    if (!inTag.isEmpty()) note += QStringLiteral(" - [%1]").arg(inTag);
    lblNote->setText(note);

    const bool anyTag = BuildTagSummary();
    TfrmShowInOutInfo* info = InfoWindow ? InfoWindow() : nullptr;
    if (anyTag && info && DisplayTags && DisplayTags() && inputButton) {
        info->move(globalPos + QPoint(0, 28));
        info->show();
        info->lblInfo->repaint();
    }
}

bool TRoutingPanel::BuildTagSummary()
{
    const TPortTags tags = Tags ? Tags() : TPortTags();
    QStringList lines;
    bool any = false;
    auto add = [&](const char* kind, const std::array<QString, 4>& list) {
        for (int n = 1; n <= 4; ++n) {
            const QString& t = list[size_t(n - 1)];
            any = any || !t.isEmpty();
            lines << (t.isEmpty()
                          ? QStringLiteral("%1%2 - No tag").arg(QLatin1String(kind)).arg(n)
                          : QStringLiteral("%1%2 - [%3]").arg(QLatin1String(kind)).arg(n).arg(t));
        }
    };
    add("Output", tags.Out);
    add("Input", tags.In);
    if (TfrmShowInOutInfo* info = InfoWindow ? InfoWindow() : nullptr) {
        info->SetLines(lines);
    }
    return any;
}

void TRoutingPanel::HideInfo()
{
    TfrmShowInOutInfo* info = InfoWindow ? InfoWindow() : nullptr;
    if (info && info->isVisible()) info->hide();
}

void TRoutingPanel::gbOutput1MouseMove()
{
    lblNote->setText(QLatin1String(RestNote));
    HideInfo();
}
