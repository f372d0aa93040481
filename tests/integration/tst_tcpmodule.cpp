// The Advanced tab's TCP module groups over a pseudo-terminal: the 32-byte
// query and reset, answered by the simulated module on the matrix line, and
// the typed confirmation.
#include "SimModule.h"
#include "WindowFixture.h"
#include "ui/dialogs/EnterYes.h"
#include "ui/main/TabContainer.h"
#include "ui/main/TcpModulePanel.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace
{
void When(std::function<bool()> ready, std::function<void()> action)
{
    auto* timer = new QTimer;
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, action] {
        if (!ready()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}
} // namespace

class TstTcpModule : public QObject
{
    Q_OBJECT

    std::unique_ptr<TWindowFixture> Fx;
    TSimModule Module;
    QList<int> Codes;

    TTcpModulePanel* Panel() const { return Fx->Form->TcpModule(); }
    void Query() { QTest::mouseClick(Panel()->btnQueryTCPModInfo, Qt::LeftButton); }

private slots:
    void init()
    {
        Fx = std::make_unique<TWindowFixture>();
        QVERIFY(Fx->StartPty());
        Module.Modules() = {TSimModuleInfo()};
        Module.Modules()[0].Ip = {10, 0, 0, 5};
        Module.Modules()[0].Dhcp = true;
        Module.LdcdAnswer = TSimModule::laOk;
        Module.LdcdPackets = 0;
        Fx->Sim.Device().ModulePacket = [this](const QByteArray& b) {
            return Module.HandleLdcd(b);
        };
        Fx->Sim.Device().ModulePacketStart = &TSimModule::IsLdcdStart;
        Fx->WriteComSettings();
        Fx->Show();
        Fx->Form->Container()->setCurrentIndex(4);
        Codes.clear();
        connect(Fx->Form->Link(), &TQMCOMControl::Notify, this,
                [this](int code, qintptr, qintptr, const QString&) { Codes << code; });
    }
    void cleanup() { Fx.reset(); }

    void queryShowsTheModule()
    {
        QVERIFY(Panel()->gbTCPModInfo->isEnabled());
        Query();
        QCOMPARE(Fx->Panel(2), QStringLiteral("Query TCP Module ok"));
        QCOMPARE(Panel()->lblVersion->text(), QStringLiteral("Version: Ver1.5"));
        QCOMPARE(Panel()->lblDHCP->text(), QStringLiteral("DHCP: Auto IP"));
        QCOMPARE(Panel()->lblIPAddr->text(), QStringLiteral("IP Address: 10.0.0.5"));
        QCOMPARE(Module.LdcdPackets, 1);
        QVERIFY(Fx->Form->Flags().Idle);
        QVERIFY(Panel()->btnQueryTCPModInfo->isEnabled());

        // A command in flight refuses the query.
        Fx->Form->Flags().Idle = false;
        Query();
        QCOMPARE(Fx->Panel(3), QStringLiteral("In processing, command ignored"));
        QCOMPARE(Module.LdcdPackets, 1);
        Fx->Form->Flags().Idle = true;
    }

    void badAnswersAreNotTaken()
    {
        // An echo of the request, five times: failed, without 2037.
        Module.LdcdAnswer = TSimModule::laEcho;
        Query();
        QCOMPARE(Fx->Panel(2), QStringLiteral("Query TCP Module failed"));
        QCOMPARE(Panel()->lblVersion->text(), QStringLiteral("Version: "));
        QCOMPARE(Module.LdcdPackets, 5);
        QVERIFY(!Codes.contains(ntSendFailed));
        // Right checksum, another header: failed, still without 2037.
        Module.LdcdAnswer = TSimModule::laHeader;
        Query();
        QCOMPARE(Fx->Panel(2), QStringLiteral("Query TCP Module failed"));
        QVERIFY(!Codes.contains(ntSendFailed));
        // A bad checksum on the last try: 2037.
        Module.LdcdAnswer = TSimModule::laBadSum;
        Query();
        QVERIFY(Codes.contains(ntSendFailed));
        // Silence: the time-out.
        Module.LdcdAnswer = TSimModule::laSilent;
        Query();
        QVERIFY(Codes.contains(ntTimeOut));
        QCOMPARE(Fx->Panel(2), QStringLiteral("Query TCP Module failed"));

        // The adapter pulled during the tries: the link failure, at once.
        Codes.clear();
        QTimer::singleShot(30, [this] { Fx->Sim.ClosePty(); });
        Query();
        QVERIFY(Codes.contains(ntPortError) && !Codes.contains(ntTimeOut));
        QCOMPARE(Fx->Panel(2), QStringLiteral("Query TCP Module failed"));
    }

    void resetNeedsYesTyped()
    {
        TfrmEnterYes* dlg = Fx->Form->Dialogs().EnterYes;
        // "No" sends nothing.
        When([&] { return dlg->isVisible(); },
             [&] { QTest::mouseClick(dlg->btnNo, Qt::LeftButton); });
        QTest::mouseClick(Panel()->btnReset, Qt::LeftButton);
        QCOMPARE(Fx->Panel(2), QStringLiteral("Reset Default cancelled"));
        QCOMPARE(Module.LdcdPackets, 0);

        // "yes" and "Yes " leave the window open; "Yes" confirms.
        bool stayedOpen = false;
        When([&] { return dlg->isVisible(); },
             [&] {
                 QCOMPARE(dlg->edtYes->text(), QString());
                 for (const char* wrong : {"yes", "YES", "Yes "}) {
                     dlg->edtYes->setText(QString::fromLatin1(wrong));
                     QTest::mouseClick(dlg->btnYes, Qt::LeftButton);
                 }
                 stayedOpen = dlg->isVisible();
                 dlg->edtYes->clear();
                 QTest::keyClicks(dlg->edtYes, QStringLiteral("Yes"));
                 QTest::keyClick(dlg->edtYes, Qt::Key_Return);
             });
        QTest::mouseClick(Panel()->btnReset, Qt::LeftButton);
        QVERIFY(stayedOpen);
        // The reset, then the query whose answer fills the labels.
        QCOMPARE(Module.LdcdPackets, 2);
        QCOMPARE(Panel()->lblIPAddr->text(), QStringLiteral("IP Address: 192.168.0.100"));
        QCOMPARE(Panel()->lblDHCP->text(), QStringLiteral("DHCP: Static IP"));
        QCOMPARE(Fx->Panel(2), QStringLiteral("Query TCP Module ok"));

        // The close box refuses, even after an earlier "Yes".
        When([&] { return dlg->isVisible(); }, [&] { dlg->close(); });
        QTest::mouseClick(Panel()->btnReset, Qt::LeftButton);
        QCOMPARE(dlg->result(), int(TfrmEnterYes::mrNo));
        QCOMPARE(Module.LdcdPackets, 2);
    }
};

QTEST_MAIN(TstTcpModule)
#include "tst_tcpmodule.moc"
