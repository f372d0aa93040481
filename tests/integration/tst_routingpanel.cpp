// The "Setting" and "Port Tag" tabs against the simulator: routing buttons,
// arrows, the context menu chains, the hover note, pre-settings and tags.
#include "WindowFixture.h"
#include "ui/dialogs/PreSettingEdit.h"
#include "ui/dialogs/ShowInOutInfo.h"
#include "ui/main/PortTagPanel.h"
#include "ui/main/RoutingPanel.h"
#include "ui/main/SettingPanel.h"
#include "ui/main/TabContainer.h"
#include "widgets/Lcd99.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace
{
// A powered matrix on loopback TCP with the window shown and connected.
struct TPoweredWindow : TWindowFixture {
    TPoweredWindow()
    {
        if (!StartTcp()) return;
        Sim.Device().State().Power = true;
        WriteTcpSettings();
        Show();
        Runner()->SetPowerFlag(1);
    }
    TRoutingPanel* Routing() const { return Form->Setting()->Routing(); }
    QToolButton* Button(int o, int i) const
    {
        return Routing()->sbSetInput[size_t(o - 1)][size_t(i - 1)];
    }
    QString Shown(int o) const { return Routing()->LED[size_t(o - 1)]->Value(); }
    // (p1, p2) of every routing command the matrix received.
    QList<QPair<int, int>> Routes() const
    {
        QList<QPair<int, int>> r;
        for (const TCommandPacket& c : Log.Commands())
            if (c.Group == 2 && c.Code == 3) r.append({c.P1, c.P2});
        return r;
    }
    void Hover(QWidget* w)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), w->mapToGlobal(QPointF(3, 3)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    }
    void Menu(const QString& caption)
    {
        for (QAction* a : Routing()->mnuItems)
            if (a->text() == caption) a->trigger();
    }
    // Fails the `n`-th command (0-based) from now on: all its tries stay silent.
    void FailCommand(int n)
    {
        QVERIFY(Sim.Faults().Add(
            QStringLiteral("silence/after=%1/count=%2").arg(n).arg(Form->Link()->Timing().Tries)));
    }
};

QList<QPair<int, int>> Pairs(std::initializer_list<QPair<int, int>> l)
{
    return QList<QPair<int, int>>(l);
}
} // namespace

class tst_routingpanel : public QObject
{
    Q_OBJECT
private slots:
    void buttonsAndArrows();
    void contextMenuChains();
    void chainFailureRestoresOnlyTheFailingOutput();
    void secondChainAndClicksDuringAChainAreRefused();
    void refreshReadsAndRejectsInputsWithoutButtons();
    void hoverNoteAndTagWindow();
    void preSettingEditAndSet();
    void preSettingWithAStrayInputIsRefused();
    void tagEditsRoundTripAndPoolDeleteRules();
};

void tst_routingpanel::buttonsAndArrows()
{
    TPoweredWindow f;
    QCOMPARE(f.Routing()->LED[0]->DigitNum(), 1);
    QVERIFY(!f.Routing()->gbOutput[4]->isVisible());
    QVERIFY(!f.Button(1, 5)->isVisible());

    f.Button(3, 2)->click();
    QCOMPARE(f.Routes(), Pairs({{2, 3}}));
    QCOMPARE(f.Shown(3), QStringLiteral("2"));
    QVERIFY(f.Button(3, 2)->isChecked());
    QCOMPARE(f.Sim.Device().State().Route[2], 2);
    QCOMPARE(f.Panel(2), QStringLiteral("Done"));
    QCOMPARE(f.Routing()->LED[2]->accessibleName(), QStringLiteral("Output3 input 2"));

    // Previous from 1 wraps to 4, next from 4 wraps to 1.
    f.Button(1, 1)->click();
    f.Routing()->sbPrevious[0]->click();
    QCOMPARE(f.Shown(1), QStringLiteral("4"));
    f.Routing()->sbNext[0]->click();
    QCOMPARE(f.Shown(1), QStringLiteral("1"));
    f.Routing()->sbNext[0]->click();
    QCOMPARE(f.Routes(), Pairs({{2, 3}, {1, 1}, {4, 1}, {1, 1}, {2, 1}}));

    // A refused route (matrix off) restores the previous input.
    f.Runner()->SetPowerFlag(0);
    f.Button(1, 3)->click();
    QCOMPARE(f.Shown(1), QStringLiteral("2"));
    QVERIFY(f.Button(1, 2)->isChecked());
    QVERIFY(f.Runner()->Flags()->RoutingFailure);
    QCOMPARE(f.Routes().size(), 5);
}

void tst_routingpanel::contextMenuChains()
{
    TPoweredWindow f;
    f.Hover(f.Button(3, 2));
    f.Menu(QStringLiteral("All Outputs"));
    QCOMPARE(f.Routes(), Pairs({{2, 1}, {2, 2}, {2, 3}, {2, 4}}));
    for (int o = 1; o <= 4; ++o)
        QCOMPARE(f.Shown(o), QStringLiteral("2"));

    f.Log.Commands(); // nothing else was sent
    const int before = int(f.Routes().size());
    f.Hover(f.Button(4, 3));
    f.Menu(QStringLiteral("2 Outputs"));
    QCOMPARE(f.Routes().mid(before), Pairs({{3, 4}}));

    f.Hover(f.Button(2, 1));
    f.Menu(QStringLiteral("3 Outputs"));
    QCOMPARE(f.Routes().mid(before + 1), Pairs({{1, 2}, {1, 3}, {1, 4}}));

    f.Hover(f.Button(2, 3));
    f.Menu(QStringLiteral("Port to Port"));
    QCOMPARE(f.Routes().mid(before + 4), Pairs({{1, 1}, {2, 2}, {3, 3}, {4, 4}}));
    QCOMPARE(f.Sim.Device().State().Route, (std::array<int, 4>{1, 2, 3, 4}));
}

void tst_routingpanel::chainFailureRestoresOnlyTheFailingOutput()
{
    TPoweredWindow f;
    QVERIFY(f.Form->Setting()->RefreshRouting()); // 1, 2, 3, 4
    // The matrix never answers a routing of output 3.
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("silence/cmd=2.3/p2=3")));
    f.Hover(f.Button(1, 2));
    f.Menu(QStringLiteral("All Outputs"));
    QCOMPARE(f.Shown(1), QStringLiteral("2"));
    QCOMPARE(f.Shown(2), QStringLiteral("2"));
    QCOMPARE(f.Shown(3), QStringLiteral("3"));
    QVERIFY(f.Button(3, 3)->isChecked());
    QCOMPARE(f.Shown(4), QStringLiteral("4"));
    QCOMPARE(f.Routes().last(), qMakePair(2, 3));
    QCOMPARE(f.Sim.Device().State().Route[0], 2);
    QCOMPARE(f.Sim.Device().State().Route[3], 4);
    QCOMPARE(f.Panel(2), QStringLiteral("Time out!"));
}

void tst_routingpanel::secondChainAndClicksDuringAChainAreRefused()
{
    TPoweredWindow f;
    QVERIFY(f.Sim.Faults().Add(QStringLiteral("delay:15")));
    f.Hover(f.Button(1, 2));
    bool clicked = false, menu = false;
    QTimer::singleShot(5, [&] {
        f.Button(1, 3)->click();
        clicked = true;
    });
    QTimer::singleShot(25, [&] {
        f.Hover(f.Button(2, 4));
        f.Menu(QStringLiteral("Port to Port"));
        menu = true;
    });
    f.Menu(QStringLiteral("All Outputs"));
    QVERIFY(clicked && menu);
    // The running chain went on to the end, untouched.
    QCOMPARE(f.Routes(), Pairs({{2, 1}, {2, 2}, {2, 3}, {2, 4}}));
    for (int o = 1; o <= 4; ++o)
        QCOMPARE(f.Shown(o), QStringLiteral("2"));
    QVERIFY(f.Button(1, 2)->isChecked());
    QVERIFY(!f.Runner()->Flags()->RoutingFailure);
}

void tst_routingpanel::refreshReadsAndRejectsInputsWithoutButtons()
{
    TPoweredWindow f;
    f.Sim.Device().State().Route = {3, 1, 4, 2};
    QVERIFY(f.Form->Setting()->RefreshRouting());
    QCOMPARE(f.Log.Names().mid(0, 4), (QStringList{"2,1", "2,1", "2,1", "2,1"}));
    QCOMPARE(f.Shown(1) + f.Shown(2) + f.Shown(3) + f.Shown(4), QStringLiteral("3142"));
    QVERIFY(f.Button(3, 4)->isChecked());

    // Input 0 and input 9 have no button: a failed read, the display stays.
    for (int bad : {0, 9}) {
        f.Sim.Device().State().Route = {1, bad, 1, 1};
        const int before = f.Log.Count();
        QVERIFY(!f.Form->Setting()->RefreshRouting());
        QCOMPARE(f.Log.Count() - before, 2);
        QCOMPARE(f.Shown(1), QStringLiteral("1"));
        QCOMPARE(f.Shown(2), QStringLiteral("1"));
        QVERIFY(f.Button(2, 1)->isChecked());
    }
}

void tst_routingpanel::hoverNoteAndTagWindow()
{
    TPoweredWindow f;
    // Buttons are hovered on the shown tab, where they have their places.
    f.Form->Container()->setCurrentWidget(f.Form->tsSetting);
    TfrmShowInOutInfo* info = f.Form->Dialogs().ShowInOutInfo;
    f.Form->cbDisplayTag->setChecked(true);
    f.Hover(f.Button(2, 3));
    QCOMPARE(f.Routing()->lblNote->text(), QStringLiteral("Output2 from Input3"));
    QVERIFY(!info->isVisible());

    f.Form->PortTags()->leOutputTag[1]->setText(QStringLiteral("Projector"));
    f.Form->PortTags()->leInputTag[2]->setText(QStringLiteral("Blu-ray"));
    f.Hover(f.Button(2, 3));
    QCOMPARE(f.Routing()->lblNote->text(),
             QStringLiteral("Output2 - [Projector] from Input3 - [Blu-ray]"));
    QVERIFY(info->isVisible());
    QCOMPARE(info->lblInfo->text().split(QLatin1Char('\n')),
             (QStringList{"Output1 - No tag", "Output2 - [Projector]", "Output3 - No tag",
                          "Output4 - No tag", "Input1 - No tag", "Input2 - No tag",
                          "Input3 - [Blu-ray]", "Input4 - No tag"}));

    // Leaving the buttons resets the note and hides the window.
    f.Hover(f.Routing()->gbOutput[0]);
    QCOMPARE(f.Routing()->lblNote->text(), QStringLiteral("Output from Input"));
    QVERIFY(!info->isVisible());

    // An arrow names the output and its shown input, without the window.
    f.Hover(f.Routing()->sbNext[3]);
    QCOMPARE(f.Routing()->lblNote->text(), QStringLiteral("Output4 from Input4"));
    QVERIFY(!info->isVisible());
    // No window when the check box is off.
    f.Form->cbDisplayTag->setChecked(false);
    f.Hover(f.Button(1, 1));
    QVERIFY(!info->isVisible());
}

void tst_routingpanel::preSettingEditAndSet()
{
    TPoweredWindow f;
    TSettingPanel* s = f.Form->Setting();
    s->SelectPreSetting(-1);
    s->btnSet->click();
    s->btnPreEdit->click();
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation),
             (QStringList{"Please select item.", "Please select item."}));
    QCOMPARE(f.Log.Count(), 0);

    // "Port to Port" in "All Outputs from" gives 1, 2, 3, 4.
    f.Form->PortTags()->leInputTag[1]->setText(QStringLiteral("Apple TV"));
    s->SelectPreSetting(1);
    QStringList offered;
    f.Prompter.OnDialog = [&](QDialog* d) {
        auto* dlg = static_cast<TfrmPreSettingEdit*>(d);
        QCOMPARE(dlg->size(), QSize(570, 301));
        for (int i = 0; i < dlg->cbOutput[0]->count(); ++i)
            offered << dlg->cbOutput[0]->itemText(i);
        dlg->cbOutput[0]->setCurrentIndex(3);
        dlg->cbFromDeviceOfAllOutput->setCurrentIndex(5);
        dlg->cbFromDeviceOfAllOutputChange(5);
        dlg->edtSettingName->setText(QStringLiteral("Straight"));
        dlg->btnOK->click();
    };
    s->btnPreEditClick();
    QCOMPARE(offered, (QStringList{"In1", "In2 - [Apple TV]", "In3", "In4"}));
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkDialog).last(),
             QStringLiteral("Edit Output setting"));
    QCOMPARE(s->PreSettings()[1].Name, QStringLiteral("Straight"));
    QCOMPARE(s->PreSettings()[1].Values, (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(s->lvPreSetting->item(1, 0)->text(), QStringLiteral("Straight"));

    // All inputs 2, then "&Set" stops at the first failure (output 3).
    f.Prompter.OnDialog = [](QDialog* d) {
        auto* dlg = static_cast<TfrmPreSettingEdit*>(d);
        dlg->cbFromDeviceOfAllOutput->setCurrentIndex(2);
        dlg->cbFromDeviceOfAllOutputChange(2);
        dlg->btnOK->click();
    };
    s->btnPreEditClick();
    QCOMPARE(s->PreSettings()[1].Values, (QStringList{"2", "2", "2", "2"}));
    s->btnSet->click();
    QCOMPARE(f.Routes(), Pairs({{2, 1}, {2, 2}, {2, 3}, {2, 4}}));
    f.Button(1, 1)->click();
    f.Button(2, 1)->click();
    f.Button(3, 1)->click();
    f.Button(4, 1)->click();
    f.FailCommand(2);
    s->btnSet->click();
    const QList<QPair<int, int>> set = f.Routes().mid(8);
    QCOMPARE(set.mid(0, 3), Pairs({{2, 1}, {2, 2}, {2, 3}}));
    QVERIFY(!set.contains(qMakePair(2, 4)));
    QCOMPARE(f.Sim.Device().State().Route[0], 2);
    QCOMPARE(f.Sim.Device().State().Route[3], 1);
    QCOMPARE(f.Shown(3), QStringLiteral("1"));

    // A cancelled dialog changes nothing.
    f.Prompter.OnDialog = [](QDialog* d) {
        auto* dlg = static_cast<TfrmPreSettingEdit*>(d);
        dlg->edtSettingName->setText(QStringLiteral("Lost"));
        dlg->btnCancel->click();
    };
    s->btnPreEditClick();
    QCOMPARE(s->PreSettings()[1].Name, QStringLiteral("Straight"));
}

void tst_routingpanel::preSettingWithAStrayInputIsRefused()
{
    TPoweredWindow f;
    f.Form->close();
    f.Form.reset();
    const QByteArray text = f.ReadFile();
    QVERIFY(text.contains("value3=1,2,3,4"));
    f.WriteFile(QByteArray(text).replace("value3=1,2,3,4", "value3=2,9,1,1"));
    f.Show();
    f.Runner()->SetPowerFlag(1);
    TSettingPanel* s = f.Form->Setting();
    QCOMPARE(s->lvPreSetting->item(2, 2)->text(), QStringLiteral("9"));
    s->SelectPreSetting(2);
    const int before = f.Log.Count();
    s->btnSet->click();
    QCOMPARE(f.Log.Count(), before);
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation).last(),
             QStringLiteral("Pre-setting 3 (Setting3): the input \"9\" for Output2 is not an "
                            "input of the matrix (1 to 4)."));
}

void tst_routingpanel::tagEditsRoundTripAndPoolDeleteRules()
{
    TPoweredWindow f;
    TPortTagPanel* tags = f.Form->PortTags();
    f.Form->Dialogs().PreSettingEdit->SetInputNames({QStringLiteral("Player")});
    f.Prompter.OnDialog = [](QDialog* d) {
        auto* dlg = static_cast<TfrmPreSettingEdit*>(d);
        QCOMPARE(dlg->size(), QSize(635, 245));
        QVERIFY(!dlg->gbOutputTags->isVisibleTo(dlg));
        dlg->cbInputTag[1]->setEditText(QStringLiteral("Camera"));
        dlg->cbInputTag[2]->setEditText(QStringLiteral("Player"));
        dlg->cbInputTag[3]->setEditText(QStringLiteral("Player"));
        dlg->btnOK->click();
    };
    tags->btnEditInputPortTag->click();
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkDialog).last(),
             QStringLiteral("Edit Input port tags"));
    QCOMPARE(tags->leInputTag[1]->text(), QStringLiteral("Camera"));
    TfrmPreSettingEdit* dlg = f.Form->Dialogs().PreSettingEdit;
    QCOMPARE(dlg->InputNames(), (QStringList{"Camera", "Player"}));
    QCOMPARE(dlg->cbInputTag[0]->count(), 2);
    // Written at once under the simulator's MAC.
    QVERIFY(f.ReadFile().contains("Camera"));

    // "Player" is shown by rows 3 and 4: refused. "Camera" only by row 2.
    f.Prompter.ConfirmAnswers = {true};
    dlg->btnDeleteInputTag[2]->click();
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkInformation).last(),
             QStringLiteral("Input port tag in use, can't be deleted."));
    dlg->btnDeleteInputTag[1]->click();
    QCOMPARE(f.Prompter.Texts(TScriptedPrompter::pkConfirm),
             QStringList{"Sure to delete Input port tag: [Camera] ?"});
    QCOMPARE(dlg->InputNames(), QStringList{"Player"});
    QCOMPARE(dlg->cbInputTag[1]->currentText(), QString());

    // Pools and tags come back after a restart.
    f.Form->close();
    f.Form.reset();
    f.Show();
    QCOMPARE(f.Form->PortTags()->leInputTag[1]->text(), QStringLiteral("Camera"));
    QCOMPARE(f.Form->PortTags()->leInputTag[3]->text(), QStringLiteral("Player"));
    QCOMPARE(f.Form->Dialogs().PreSettingEdit->InputNames(), QStringList{"Player"});

    // Emptied tags are stored empty, and an empty section leaves the file.
    QVERIFY(f.ReadFile().contains("[Tag of Input - TCP:"));
    f.Prompter.OnDialog = [](QDialog* d) {
        auto* dlg = static_cast<TfrmPreSettingEdit*>(d);
        for (QComboBox* cb : dlg->cbInputTag)
            cb->setEditText(QString());
        dlg->btnOK->click();
    };
    f.Form->PortTags()->btnEditInputPortTag->click();
    QCOMPARE(f.Form->PortTags()->leInputTag[3]->text(), QString());
    QVERIFY(!f.ReadFile().contains("[Tag of Input - TCP:"));
}

QTEST_MAIN(tst_routingpanel)
#include "tst_routingpanel.moc"
