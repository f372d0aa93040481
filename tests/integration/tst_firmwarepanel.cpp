// The "FW upgrade" tab against the simulator: the open dialog, "&Upgrade"
// with its memo lines, gauge and status texts, the stop rules, and the hidden
// merge group.
#include "WindowFixture.h"
#include "link/FirmwareFile.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/EdidPanel.h"
#include "ui/main/FirmwarePanel.h"
#include "ui/main/TabContainer.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QtTest>

namespace
{
QByteArray RandomBytes(int n, quint32 seed)
{
    QRandomGenerator g(seed);
    QByteArray b(n, '\0');
    for (char& c : b)
        c = char(g.bounded(256));
    return b;
}

struct TFwWindow {
    TFwWindow()
    {
        f.Sim.Device().State().Power = true;
        f.Sim.Device().State().RebootSilenceMs = 20;
        Ok = f.StartTcp();
        f.WriteTcpSettings();
        f.Show();
        Ok = Ok && f.Form->DeviceStatus()->QueryPowerStatus();
        f.Form->Container()->setCurrentWidget(f.Form->tsFWUpgrade);
        p = f.Form->Firmware();
    }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = f.Dir.filePath(name);
        QFile out(path);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) out.write(bytes);
        return path;
    }
    // Chooses the file with the open button and clicks "&Upgrade".
    void Upgrade(const QString& path)
    {
        f.Prompter.FileAnswers = {path};
        p->btnOpenFWFile->click();
        p->btnUpgrade->click();
    }
    TMatrixState& State() { return f.Sim.Device().State(); }

    TWindowFixture f;
    TFirmwarePanel* p = nullptr;
    bool Ok = false;
};
} // namespace

class tst_firmwarepanel : public QObject
{
    Q_OBJECT
private slots:
    void twoPartsThenReboot();
    void brokenFilesSendNothing();
    void partCodeThree();
    void declinedLastPartPreventsReboot();
    void closingDuringPartAborts();
    void mergeGroup();
};

void tst_firmwarepanel::twoPartsThenReboot()
{
    TFwWindow w;
    QVERIFY(w.Ok);
    const QByteArray a = RandomBytes(600, 1);
    const QByteArray b = RandomBytes(300, 2);
    const QString file =
        w.Write(QStringLiteral("two.fw"),
                TFirmwareFile::BuildPart(2, 1, 1, 0, a) + TFirmwareFile::BuildPart(2, 2, 3, 7, b));
    // The gauge as the operator sees it, and what else happens meanwhile.
    QStringList gauge;
    QStringList hints;
    bool upgradeEnabled = true;
    QObject::connect(w.p, &TFirmwarePanel::GaugeSet, w.p, [&](const QString& caption, int v) {
        gauge << QStringLiteral("%1 %2").arg(caption).arg(v);
        if (v == 42) {
            upgradeEnabled = w.p->btnUpgrade->isEnabled();
            w.f.Form->Edid()->cbReadEDIDDataOutput->setCurrentIndex(1);
            w.f.Form->Edid()->btnReadEDID->click();
            hints << w.f.Panel(3);
        }
    });
    w.Upgrade(file);
    QCOMPARE(w.p->edtFWFile->text(), file);
    QCOMPARE(w.p->LastFirmwareFolder, QFileInfo(file).absolutePath() + QLatin1Char('/'));
    const QStringList memo = w.p->MessageLines();
    QCOMPARE(memo.mid(0, 4),
             (QStringList{"Upgrading Part_2.1.1.0 ...", "Part_2.1.1.0 upgrading complete",
                          "Upgrading Part_2.2.3.7 ...", "Part_2.2.3.7 upgrading complete"}));
    QCOMPARE(memo.last(), QStringLiteral("Firmware upgrade successfully!"));
    QCOMPARE(w.f.Panel(2), QStringLiteral("Firmware upgrade successfully"));
    QCOMPARE(w.State().FirmwareParts.value(0x0201), a);
    QCOMPARE(w.State().FirmwareParts.value(0x0202), b);
    QCOMPARE(w.State().Reboots, 1);
    QCOMPARE(gauge,
             (QStringList{"Upgrade progress 0", "Upgrading Part_2.1 42", "Upgrading Part_2.1 85",
                          "Upgrading Part_2.1 100", "Upgrade progress 0", "Upgrading Part_2.2 85",
                          "Upgrading Part_2.2 100"}));
    QVERIFY(!upgradeEnabled);
    QCOMPARE(hints, QStringList{QStringLiteral("In processing, command ignored")});
    QVERIFY(w.p->btnUpgrade->isEnabled());
    QVERIFY(w.f.Form->Flags().Idle);
    // A screen reader finds the gauge by its caption.
    QWidget* named = nullptr;
    for (QWidget* c : w.p->gbFWUpgrade->findChildren<QWidget*>())
        if (c->accessibleName() == QLatin1String("Upgrading Part_2.2")) named = c;
    QVERIFY(named);
}

void tst_firmwarepanel::brokenFilesSendNothing()
{
    TFwWindow w;
    QVERIFY(w.Ok);
    const int frames = w.f.Sim.Device().FramesReceived();
    QByteArray bytes = TFirmwareFile::BuildPart(2, 1, 1, 0, RandomBytes(100, 3));
    bytes[140] = char(bytes[140] ^ 0x10);
    w.Upgrade(w.Write(QStringLiteral("bad.fw"), bytes));
    QStringList memo = w.p->MessageLines();
    QCOMPARE(memo.size(), 2);
    QCOMPARE(memo[0], QStringLiteral("Bad FW file!"));
    QVERIFY(memo[1].startsWith(QStringLiteral("Part 1")));
    QCOMPARE(w.f.Sim.Device().FramesReceived(), frames);
    QVERIFY(w.p->btnUpgrade->isEnabled());
    QVERIFY(w.f.Form->Flags().Idle);

    // A file that cannot be read is said so; everything comes back.
    w.p->Button1Click();
    w.Upgrade(w.f.Dir.path());
    memo = w.p->MessageLines();
    QCOMPARE(memo.size(), 1);
    QVERIFY(memo[0].startsWith(QStringLiteral("Cannot read the firmware file: ")));
    QCOMPARE(w.f.Sim.Device().FramesReceived(), frames);
    QVERIFY(w.p->btnUpgrade->isEnabled());
    QVERIFY(w.f.Form->Flags().Idle);

    // A missing file, and an empty path.
    w.p->Button1Click();
    const QString missing = w.f.Dir.filePath(QStringLiteral("none.fw"));
    w.Upgrade(missing);
    QCOMPARE(w.p->MessageLines(), QStringList{QStringLiteral("Firmware file: ") + missing +
                                              QStringLiteral(" does not exist")});
    w.p->edtFWFile->clear();
    w.p->btnUpgrade->click();
    QCOMPARE(w.p->MessageLines().size(), 1);
}

void tst_firmwarepanel::partCodeThree()
{
    TFwWindow w;
    QVERIFY(w.Ok);
    const QByteArray slave = TFirmwareFile::BuildPart(2, 1, 1, 0, RandomBytes(100, 5));
    const QByteArray other = TFirmwareFile::BuildPart(3, 1, 1, 0, RandomBytes(100, 6));
    w.Upgrade(w.Write(QStringLiteral("after.fw"), slave + other));
    QVERIFY(w.p->MessageLines().contains(QStringLiteral("Part_3.1.1.0 upgrading complete")));
    QCOMPARE(w.p->MessageLines().last(), QStringLiteral("Firmware upgrade successfully!"));
    QCOMPARE(w.State().Reboots, 1);

    w.p->Button1Click();
    w.Upgrade(w.Write(QStringLiteral("first.fw"), other + slave));
    QCOMPARE(w.p->MessageLines(),
             (QStringList{"Upgrading Part_3.1.1.0 ...", "Upgrading Part_3.1.1.0 failed"}));
    QCOMPARE(w.State().Reboots, 1);
}

void tst_firmwarepanel::declinedLastPartPreventsReboot()
{
    TFwWindow w;
    QVERIFY(w.Ok);
    w.State().DeclineSameOrOlder = true;
    w.State().FirmwareVersions[0x0202] = 0x0500;
    const QString file = w.Write(QStringLiteral("declined.fw"),
                                 TFirmwareFile::BuildPart(2, 1, 1, 0, RandomBytes(300, 7)) +
                                     TFirmwareFile::BuildPart(2, 2, 1, 0, RandomBytes(300, 8)));
    w.Upgrade(file);
    const QStringList memo = w.p->MessageLines();
    QVERIFY(memo.contains(QStringLiteral("Part_2.1.1.0 upgrading complete")));
    QCOMPARE(memo.last(), QStringLiteral("Write to Part_2.2.1.0 failed"));
    QCOMPARE(w.f.Panel(2), QStringLiteral("Write Part_2.2.1.0 failed"));
    QVERIFY(!w.f.Form->Flags().Blink); // left on red
    QCOMPARE(w.State().Reboots, 0);
    QVERIFY(w.p->btnUpgrade->isEnabled());
}

void tst_firmwarepanel::closingDuringPartAborts()
{
    TFwWindow w;
    QVERIFY(w.Ok);
    const QString file = w.Write(QStringLiteral("long.fw"),
                                 TFirmwareFile::BuildPart(2, 1, 1, 0, RandomBytes(2000, 9)) +
                                     TFirmwareFile::BuildPart(2, 2, 1, 0, RandomBytes(300, 10)));
    w.f.Prompter.ConfirmAnswers = {true};
    bool closed = false;
    QObject::connect(w.p, &TFirmwarePanel::GaugeSet, w.p, [&](const QString&, int v) {
        if (v > 0 && !closed) closed = w.f.Form->close();
    });
    w.Upgrade(file);
    QVERIFY(closed);
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkConfirm),
             QStringList{QStringLiteral("Processing not complete, continue to close controller?")});
    QVERIFY(w.f.Form->Flags().Abort);
    const QStringList memo = w.p->MessageLines();
    QCOMPARE(memo, (QStringList{"Upgrading Part_2.1.1.0 ...", "Upgrading Part_2.1.1.0 failed"}));
    QVERIFY(!w.State().FirmwareParts.contains(0x0202));
    QCOMPARE(w.State().Reboots, 0);
    QVERIFY(w.f.Form->Flags().Idle);
}

void tst_firmwarepanel::mergeGroup()
{
    TFwWindow w;
    TFirmwarePanel* panel = w.p;
    TFirmwareMergeGroup* p = panel->gbMergeFW;
    QVERIFY(!p->isVisible());
    QVERIFY(!p->isEnabled());

    // Version edits take digits only.
    p->setEnabled(true);
    p->show();
    QTest::keyClicks(p->leSlave1FWVer1, QStringLiteral("a1b"));
    QCOMPARE(p->leSlave1FWVer1->text(), QStringLiteral("1"));
    QTest::keyClicks(p->leSlave1FWVer2, QStringLiteral("0030"));
    QCOMPARE(p->leSlave1FWVer2->text(), QStringLiteral("003"));

    const QByteArray image = RandomBytes(500, 11);
    const QString imagePath = w.Write(QStringLiteral("slave1.bin"), image);
    w.f.Prompter.FileAnswers = {imagePath};
    p->btnOpenSlaveMCUFW[0]->click();
    QCOMPARE(p->edtSlaveMCU1FW->text(), imagePath);
    QVERIFY(panel->LastFirmwareFolder.isEmpty()); // the merge's dialogs do not set it
    p->edtSlaveMCU1FW->setText(QStringLiteral("  ") + imagePath + QStringLiteral("\t"));

    // A folder without a trailing separator: the file goes into it.
    const QString out = w.f.Dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(out));
    panel->LastFirmwareFolder = out;
    p->btnMergeClick();
    const QString written = QDir(out).filePath(QStringLiteral("Korvelan_MS1.3.fw"));
    QCOMPARE(panel->MessageLines(),
             (QStringList{QStringLiteral("Slave MCU1 firmware: ") + imagePath +
                              QStringLiteral(" loaded"),
                          QStringLiteral("Slave MCU1 firmware merged, ver1.3"),
                          QStringLiteral("Firmware merged complete, save to file: ") + written}));
    QCOMPARE(p->edtSlaveMCU1FW->text(), imagePath);
    QCOMPARE(p->leSlave1FWVer2->text(), QStringLiteral("3"));
    const TFirmwareFile file = TFirmwareFile::Load(written);
    QVERIFY(file.Ok());
    QCOMPARE(file.Parts.size(), 1);
    QCOMPARE(file.Parts[0].Name(), QStringLiteral("Part_2.1.1.3"));
    QCOMPARE(file.Parts[0].Data, image);

    // Again: the overwrite question; No keeps the file.
    panel->Button1Click();
    w.f.Prompter.ConfirmAnswers = {false};
    p->btnMergeClick();
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkConfirm),
             QStringList{QStringLiteral("Firmware file: ") + written +
                         QStringLiteral(" exists, overwrite it?")});
    QCOMPARE(panel->MessageLines().last(), QStringLiteral("Save canceled"));

    // Nothing to merge: no file, no message.
    panel->Button1Click();
    p->edtSlaveMCU1FW->clear();
    p->btnMergeClick();
    QVERIFY(panel->MessageLines().isEmpty());
}

QTEST_MAIN(tst_firmwarepanel)
#include "tst_firmwarepanel.moc"
