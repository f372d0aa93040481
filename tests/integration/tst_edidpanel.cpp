// The "EDID control" tab against the simulator: reading real EDIDs into the
// grid, saving and opening EDID files, downloading, the mode and copy
// commands, and the refusals that must leave the grid and buffers alone.
#include "WindowFixture.h"
#include "link/EdidData.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/EdidPanel.h"
#include "ui/main/PortTagPanel.h"
#include "ui/main/Prompter.h"
#include "ui/main/TabContainer.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace
{
const char* const DipText = "Set \"DIP Switch\" on side of the Matrix to \"1111\" to enter EDID "
                            "Software control mode.";

QList<QByteArray> RealEdids()
{
    QList<QByteArray> edids;
    const QDir dir(QStringLiteral(":/edid"));
    for (const QString& name : dir.entryList({QStringLiteral("*.bin")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly)) edids << f.readAll();
    }
    return edids;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// A window on the simulator over TCP (or the pseudo-terminal), power read.
struct TEdidWindow {
    explicit TEdidWindow(bool serial = false)
    {
        f.Sim.Device().State().Power = true;
        if (serial) {
            Ok = f.StartPty();
            f.WriteComSettings();
        } else {
            Ok = f.StartTcp();
            f.WriteTcpSettings();
        }
        f.Show();
        Ok = Ok && f.Form->DeviceStatus()->QueryPowerStatus();
        f.Form->Container()->setCurrentWidget(f.Form->tsEDIDCtrl);
        e = f.Form->Edid();
    }
    QString Path(const QString& name) const { return f.Dir.filePath(name); }
    QByteArray Grid() const
    {
        QByteArray bytes;
        e->GridBytes(&bytes);
        return bytes;
    }
    QStringList SentSince(int from) const { return f.Log.Names().mid(from); }
    TMatrixState& State() { return f.Sim.Device().State(); }

    TWindowFixture f;
    TEdidPanel* e = nullptr;
    bool Ok = false;
};
} // namespace

class tst_edidpanel : public QObject
{
    Q_OBJECT
private slots:
    void readSaveOpenDownloadRealEdids_data();
    void readSaveOpenDownloadRealEdids();
    void openAcceptsOnlyEdidContent();
    void saveNamesAndFailures();
    void modeAndCopyCommands();
    void dipSwitchStopsEveryChange();
    void refusedReadKeepsGrid();
    void busyTransferRefusesOpenClearDownload();
    void listsFollowTagsAndPersist();
};

void tst_edidpanel::readSaveOpenDownloadRealEdids_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void tst_edidpanel::readSaveOpenDownloadRealEdids()
{
    QFETCH(bool, serial);
    TEdidWindow w(serial);
    QVERIFY(w.Ok);
    const QList<QByteArray> edids = RealEdids();
    QCOMPARE(edids.size(), 6);
    w.e->cbReadEDIDDataOutput->setCurrentIndex(2);
    w.e->cbDownloadEDIDInput->setCurrentIndex(3);
    for (int i = 0; i < edids.size(); ++i) {
        // Read what the display on output 2 has, and save it.
        w.State().OutputEdid[1] = edids[i];
        w.e->btnReadEDID->click();
        QCOMPARE(w.f.Panel(2), QStringLiteral("Done"));
        QCOMPARE(w.Grid(), edids[i]);
        QCOMPARE(
            w.e->CellText(16, 16),
            QStringLiteral("%1").arg(uint8_t(edids[i][255]), 2, 16, QLatin1Char('0')).toUpper());
        const QString name = w.Path(QStringLiteral("edid%1").arg(i));
        w.f.Prompter.FileAnswers = {name};
        w.e->btnSaveEDID->click();
        QCOMPARE(ReadAll(name + QStringLiteral(".bin")), edids[i]);
        QCOMPARE(w.e->edtSaveEDID->text(), name + QStringLiteral(".bin"));

        // Open the previous file and download it to input 3.
        const QByteArray other = edids[(i + 5) % 6];
        const QString otherName = w.Path(QStringLiteral("other%1.bin").arg(i));
        WriteAll(otherName, other);
        w.f.Prompter.FileAnswers = {otherName};
        w.e->btnOpenEDID->click();
        QCOMPARE(w.Grid(), other);
        w.e->btnDownloadEDID->click();
        QCOMPARE(w.f.Panel(2), QStringLiteral("Done"));
        QCOMPARE(w.State().InputEdid[2], other);
    }
    QCOMPARE(w.f.Prompter.Count(TScriptedPrompter::pkError), 0);
    QCOMPARE(w.f.Prompter.Count(TScriptedPrompter::pkInformation), 0);
    QVERIFY(w.f.Form->Flags().Idle);
}

void tst_edidpanel::openAcceptsOnlyEdidContent()
{
    TEdidWindow w;
    QVERIFY(w.Ok);
    const QByteArray edid = RealEdids().value(2);
    // 257 bytes: the first 256 count.
    const QString longer = w.Path(QStringLiteral("long.bin"));
    WriteAll(longer, edid + QByteArray(1, '\x55'));
    w.f.Prompter.FileAnswers = {longer};
    w.e->btnOpenEDID->click();
    QCOMPARE(w.Grid(), edid);
    const QString saved = w.Path(QStringLiteral("saved.bin"));
    w.f.Prompter.FileAnswers = {saved};
    w.e->btnSaveEDID->click();
    QCOMPARE(ReadAll(saved), edid);

    QByteArray badSum = edid;
    badSum[100] = char(badSum[100] + 1);
    QByteArray badHeader = edid;
    badHeader[1] = char(0xFE);
    badHeader[255] = char(badHeader[255] + 1);
    const QList<QByteArray> refused = {edid.left(128), badSum, badHeader, edid + edid,
                                       QByteArray()};
    for (const QByteArray& bytes : refused) {
        const QString bad = w.Path(QStringLiteral("bad.bin"));
        WriteAll(bad, bytes);
        w.f.Prompter.Prompts.clear();
        w.f.Prompter.FileAnswers = {bad};
        w.e->btnOpenEDID->click();
        QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkError),
                 QStringList{QStringLiteral("EDID content error.")});
        QCOMPARE(w.Grid(), edid);
        QVERIFY(w.f.Form->Link()->EdidDownloadBuffer().isEmpty());
    }
    // A file that is not there fails the same way.
    w.f.Prompter.FileAnswers = {w.Path(QStringLiteral("missing.bin"))};
    w.e->btnOpenEDID->click();
    QCOMPARE(w.f.Prompter.Count(TScriptedPrompter::pkError), 2);

    // Download sends what the grid still shows.
    w.e->cbDownloadEDIDInput->setCurrentIndex(6); // User1 Memory
    w.e->btnDownloadEDID->click();
    QCOMPARE(w.State().UserEdid[0], edid);
    w.e->cbDownloadEDIDInput->setCurrentIndex(5); // All Inputs
    w.e->btnDownloadEDID->click();
    for (const QByteArray& in : w.State().InputEdid)
        QCOMPARE(in, edid);
    QList<QPair<int, int>> openings;
    for (const auto& r : w.f.Sim.Device().BlockLog())
        if (!r.Data) openings << qMakePair(int(r.Header.Code), int(r.Header.P1));
    QVERIFY(openings.contains(qMakePair(7, 0xF100)));
    QVERIFY(openings.contains(qMakePair(6, 0xF0FE)));

    // An incomplete grid is not downloaded, and the buffer is emptied.
    w.e->btnClearEDID->click();
    QCOMPARE(w.e->CellText(0, 16), QStringLiteral("F"));
    QCOMPARE(w.e->CellText(16, 0), QStringLiteral("F0"));
    const int frames = w.f.Sim.Device().FramesReceived();
    const auto blocks = w.f.Sim.Device().BlockLog().size();
    w.e->btnDownloadEDID->click();
    QCOMPARE(w.f.Panel(3), QStringLiteral("EDID Content empty, open EDID file first"));
    QCOMPARE(w.f.Sim.Device().FramesReceived(), frames + 1); // the control mode query only
    QCOMPARE(w.f.Sim.Device().BlockLog().size(), blocks);
    QVERIFY(w.f.Form->Link()->EdidDownloadBuffer().isEmpty());
    w.e->btnSaveEDID->click();
    QCOMPARE(w.f.Panel(3), QStringLiteral("EDID Content empty"));
    QCOMPARE(w.f.Prompter.Count(TScriptedPrompter::pkSaveFile), 0); // not even asked
}

void tst_edidpanel::saveNamesAndFailures()
{
    TEdidWindow w;
    QVERIFY(w.Ok);
    const QByteArray edid = RealEdids().value(0);
    const QString source = w.Path(QStringLiteral("source.bin"));
    WriteAll(source, edid);
    w.f.Prompter.FileAnswers = {source};
    w.e->btnOpenEDID->click();

    const QList<QPair<QString, QString>> names = {
        {"edid", "edid.bin"}, {"edid2.BIN", "edid2.BIN"}, {"edid.txt", "edid.txt.bin"}};
    for (const auto& [given, written] : names) {
        w.f.Prompter.FileAnswers = {w.Path(given)};
        w.e->btnSaveEDID->click();
        QCOMPARE(ReadAll(w.Path(written)), edid);
    }
    QVERIFY(!QFile::exists(w.Path(QStringLiteral("edid"))));

    // Overwrite only on Yes.
    const QString target = w.Path(QStringLiteral("edid.bin"));
    WriteAll(target, "old");
    w.f.Prompter.FileAnswers = {target};
    w.f.Prompter.ConfirmAnswers = {false};
    w.e->btnSaveEDID->click();
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkConfirm).last(),
             target + QStringLiteral(" exists, overwrite it?"));
    QCOMPARE(ReadAll(target), QByteArray("old"));
    w.f.Prompter.FileAnswers = {target};
    w.f.Prompter.ConfirmAnswers = {true};
    w.e->btnSaveEDID->click();
    QCOMPARE(ReadAll(target), edid);

    // A write that fails is reported with the name and leaves nothing behind.
    const QString nowhere = w.Path(QStringLiteral("no/such/folder/edid.bin"));
    w.f.Prompter.FileAnswers = {nowhere};
    w.e->btnSaveEDID->click();
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkError),
             QStringList{QStringLiteral("Unable to write to ") + nowhere});
    const QString folder = w.Path(QStringLiteral("taken.bin"));
    QVERIFY(QDir().mkdir(folder)); // a folder where the file should go
    w.f.Prompter.FileAnswers = {folder};
    w.f.Prompter.ConfirmAnswers = {true};
    w.e->btnSaveEDID->click();
    QCOMPARE(w.f.Prompter.Count(TScriptedPrompter::pkError), 2);
    QVERIFY(QFileInfo(folder).isDir());
    const QStringList left = QDir(w.f.Folder()).entryList(QDir::Files);
    for (const QString& name : left)
        QVERIFY2(!name.startsWith(QLatin1String("taken")), qPrintable(name));

    // The real save dialog leaves the overwrite question to the program.
    bool asksItself = true;
    QTimer::singleShot(50, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        asksItself = !dlg->testOption(QFileDialog::DontConfirmOverwrite);
        dlg->reject();
    });
    TMessageBoxPrompter real;
    QVERIFY(real.SaveFile(QStringLiteral("Save to EDID file"), w.f.Folder(), QString()).isEmpty());
    QVERIFY(!asksItself);
}

void tst_edidpanel::modeAndCopyCommands()
{
    TEdidWindow w;
    QVERIFY(w.Ok);
    TEdidPanel* e = w.e;
    QCOMPARE(e->cbEDIDMode->count(), 19);
    QCOMPARE(e->cbEDIDMode->itemText(18), QStringLiteral("Default EDID"));

    // Prompt items send nothing.
    int from = w.f.Log.Count();
    e->cbSetEDIDModeInput->setCurrentIndex(3);
    e->btnSetEDIDMode->click();
    QCOMPARE(w.f.Panel(3), QStringLiteral("Select list item first"));
    QCOMPARE(w.f.Log.Count(), from);

    struct TCase {
        int Mode, Input;
        QStringList Frames;
        uint16_t P1, P2;
    };
    const QList<TCase> cases = {
        {17, 3, {"3,11", "3,8", "3,2"}, 0xF200, 3}, // User2, input 3
        {16, 5, {"3,11", "3,8", "3,1"}, 0xF100, 0}, // User1, all inputs
        {6, 1, {"3,11", "3,8", "3,2"}, 0xF006, 1},  // 1080p, HD Audio 7.1
        {18, 5, {"3,11", "3,8", "3,9"}, 0xFE, 0},   // Default EDID, all inputs
        {18, 2, {"3,11", "3,8", "3,10"}, 2, 0},     // Default EDID, input 2
    };
    for (const TCase& c : cases) {
        from = w.f.Log.Count();
        e->cbEDIDMode->setCurrentIndex(c.Mode);
        e->cbSetEDIDModeInput->setCurrentIndex(c.Input);
        e->btnSetEDIDMode->click();
        QCOMPARE(w.SentSince(from), c.Frames);
        const TCommandPacket last = w.f.Log.Commands().last();
        QCOMPARE(last.P1, c.P1);
        QCOMPARE(last.P2, c.P2);
        QCOMPARE(w.f.Log.Commands()[from + 1].P1, uint16_t(0xF0));
        QCOMPARE(w.f.Panel(2), QStringLiteral("Done"));
    }
    QCOMPARE(w.State().InputEdidMode, (std::array<int, 4>{18, 18, 18, 18}));

    // Copy from output 2 to input 4, then to all inputs.
    from = w.f.Log.Count();
    e->cbCopyEDIDOutput->setCurrentIndex(2);
    e->cbCopyEDIDInput->setCurrentIndex(4);
    e->btnCopyEDID->click();
    QCOMPARE(w.SentSince(from), (QStringList{"3,11", "1,5", "3,8", "3,4"}));
    QCOMPARE(w.State().InputEdid[3], w.State().OutputEdid[1]);
    e->cbCopyEDIDInput->setCurrentIndex(5);
    from = w.f.Log.Count();
    e->btnCopyEDID->click();
    QCOMPARE(w.SentSince(from), (QStringList{"3,11", "1,5", "3,8", "3,3"}));
    QCOMPARE(w.f.Log.Commands().last().P1, uint16_t(2));

    // Output 4 has no display: the two-line box, nothing changed.
    e->cbCopyEDIDOutput->setCurrentIndex(4);
    from = w.f.Log.Count();
    e->btnCopyEDID->click();
    QCOMPARE(w.SentSince(from), (QStringList{"3,11", "1,5"}));
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkInformation),
             QStringList{QStringLiteral("EDID can not be read because output not connected.\r\n"
                                        "Output4")});

    // The choice is the one at the click, whatever the lists show meanwhile.
    QVERIFY(w.f.Sim.Faults().Add(QStringLiteral("delay:40/count=7")));
    auto clearSoon = [e] {
        QTimer::singleShot(20, [e] {
            for (QComboBox* cb :
                 {e->cbEDIDMode, e->cbSetEDIDModeInput, e->cbCopyEDIDOutput, e->cbCopyEDIDInput})
                cb->setCurrentIndex(0);
        });
    };
    e->cbEDIDMode->setCurrentIndex(17);
    e->cbSetEDIDModeInput->setCurrentIndex(3);
    clearSoon();
    e->btnSetEDIDMode->click();
    QCOMPARE(w.f.Log.Commands().last().P1, uint16_t(0xF200));
    QCOMPARE(w.f.Log.Commands().last().P2, uint16_t(3));
    e->cbCopyEDIDOutput->setCurrentIndex(2);
    e->cbCopyEDIDInput->setCurrentIndex(4);
    clearSoon();
    e->btnCopyEDID->click();
    QCOMPARE(w.f.Log.Names().last(), QStringLiteral("3,4"));
    QCOMPARE(w.f.Log.Commands().last().P1, uint16_t(2));
    QCOMPARE(w.f.Log.Commands().last().P2, uint16_t(4));
}

void tst_edidpanel::dipSwitchStopsEveryChange()
{
    TEdidWindow w;
    QVERIFY(w.Ok);
    TEdidPanel* e = w.e;
    const QByteArray edid = RealEdids().value(1);
    const QString file = w.Path(QStringLiteral("e.bin"));
    WriteAll(file, edid);
    w.f.Prompter.FileAnswers = {file};
    e->btnOpenEDID->click();
    w.State().EdidDipSwitch = true;
    const auto before = w.State().InputEdid;
    e->cbEDIDMode->setCurrentIndex(17);
    e->cbSetEDIDModeInput->setCurrentIndex(1);
    e->cbCopyEDIDOutput->setCurrentIndex(1);
    e->cbCopyEDIDInput->setCurrentIndex(1);
    e->cbDownloadEDIDInput->setCurrentIndex(1);
    const int from = w.f.Log.Count();
    e->btnSetEDIDMode->click();
    e->btnCopyEDID->click();
    e->btnDownloadEDID->click();
    QCOMPARE(w.SentSince(from), (QStringList{"3,11", "3,11", "3,11"}));
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkInformation),
             (QStringList{DipText, DipText, DipText}));
    QCOMPARE(w.State().InputEdid, before);
    QCOMPARE(w.State().InputEdidMode[0], 18);
}

void tst_edidpanel::refusedReadKeepsGrid()
{
    TEdidWindow w;
    QVERIFY(w.Ok);
    TEdidPanel* e = w.e;
    const QByteArray edid = RealEdids().value(3);
    const QString file = w.Path(QStringLiteral("e.bin"));
    WriteAll(file, edid);
    w.f.Prompter.FileAnswers = {file};
    e->btnOpenEDID->click();

    e->btnReadEDID->click(); // no output chosen
    QCOMPARE(w.f.Panel(3), QStringLiteral("Select list item first"));
    QCOMPARE(w.Grid(), edid);

    e->cbReadEDIDDataOutput->setCurrentIndex(4); // no display
    e->btnReadEDID->click();
    QCOMPARE(w.f.Prompter.Count(TScriptedPrompter::pkInformation), 1);
    QCOMPARE(w.Grid(), edid);

    e->cbReadEDIDDataOutput->setCurrentIndex(1);
    w.f.Runner()->SetPowerFlag(0);
    e->btnReadEDID->click();
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkInformation).last(),
             QStringLiteral("System is power off, please turn it on first."));
    QCOMPARE(w.Grid(), edid);
    w.f.Runner()->SetPowerFlag(1);

    // A display whose EDID fails the test: the read empties the grid and says so.
    QByteArray broken = w.State().OutputEdid[0];
    broken[10] = char(broken[10] + 1);
    w.State().OutputEdid[0] = broken;
    e->btnReadEDID->click();
    QCOMPARE(w.f.Prompter.Texts(TScriptedPrompter::pkInformation).last(),
             QStringLiteral("EDID content error. Please try to read again."));
    QByteArray none;
    QVERIFY(!e->GridBytes(&none));
    QCOMPARE(e->CellText(0, 1), QStringLiteral("0"));
    QVERIFY(w.f.Form->Flags().Idle);
}

void tst_edidpanel::busyTransferRefusesOpenClearDownload()
{
    TEdidWindow w;
    QVERIFY(w.Ok);
    TEdidPanel* e = w.e;
    const QList<QByteArray> edids = RealEdids();
    const QString first = w.Path(QStringLiteral("first.bin"));
    const QString second = w.Path(QStringLiteral("second.bin"));
    WriteAll(first, edids[4]);
    WriteAll(second, edids[5]);
    w.f.Prompter.FileAnswers = {first};
    e->btnOpenEDID->click();
    e->cbDownloadEDIDInput->setCurrentIndex(2);
    e->cbReadEDIDDataOutput->setCurrentIndex(1);
    e->cbCopyEDIDOutput->setCurrentIndex(1);
    e->cbCopyEDIDInput->setCurrentIndex(1);

    // While the download's data is on its way, everything that would replace
    // it or start another transfer is refused.
    w.f.Prompter.FileAnswers = {second};
    int tried = 0;
    QStringList hints;
    QObject::connect(&w.f.Sim, &TMatrixSim::FrameHandled, &w.f.Sim, [&] {
        if (tried || w.f.Form->Flags().Idle || w.f.Sim.Device().BlockLog().isEmpty()) return;
        ++tried;
        for (QPushButton* b : {e->btnOpenEDID, e->btnClearEDID, e->btnDownloadEDID, e->btnReadEDID,
                               e->btnCopyEDID}) {
            w.f.Form->StatusBar()->SetPanelText(3, QString());
            QTest::mouseClick(b, Qt::LeftButton);
            hints << w.f.Panel(3);
        }
    });
    e->btnDownloadEDID->click();
    QCOMPARE(tried, 1);
    QCOMPARE(hints, QStringList(5, QStringLiteral("In processing, command ignored")));
    QCOMPARE(w.f.Prompter.Count(TScriptedPrompter::pkOpenFile), 1);
    QCOMPARE(w.f.Panel(2), QStringLiteral("Done"));
    QCOMPARE(w.State().InputEdid[1], edids[4]);
    QCOMPARE(w.Grid(), edids[4]);
    QVERIFY(w.f.Form->Flags().Idle);
}

void tst_edidpanel::listsFollowTagsAndPersist()
{
    QString savedPath;
    {
        TEdidWindow w;
        QVERIFY(w.Ok);
        TEdidPanel* e = w.e;
        e->cbSetEDIDModeInput->setCurrentIndex(3);
        e->cbCopyEDIDOutput->setCurrentIndex(2);
        w.f.Form->PortTags()->leInputTag[2]->setText(QStringLiteral("Blu-ray"));
        w.f.Form->PortTags()->leOutputTag[1]->setText(QStringLiteral("Projector"));
        w.f.Form->Container()->setCurrentWidget(w.f.Form->tsPortTag);
        w.f.Form->Container()->setCurrentWidget(w.f.Form->tsEDIDCtrl);
        QCOMPARE(e->cbSetEDIDModeInput->currentText(), QStringLiteral("In3 - [Blu-ray]"));
        QCOMPARE(e->cbCopyEDIDOutput->currentText(), QStringLiteral("Out2 - [Projector]"));
        QCOMPARE(e->cbDownloadEDIDInput->itemText(7), QStringLiteral("User2 Memory"));
        QCOMPARE(e->cbCopyEDIDInput->itemText(5), QStringLiteral("All Inputs"));
        QCOMPARE(e->cbReadEDIDDataOutput->count(), 5);
        e->cbEDIDMode->setCurrentIndex(12);
        e->cbDownloadEDIDInput->setCurrentIndex(7);
        const QString file = w.Path(QStringLiteral("e.bin"));
        WriteAll(file, RealEdids().value(0));
        w.f.Prompter.FileAnswers = {file};
        e->btnOpenEDID->click();
        QVERIFY(w.f.Form->SaveSettings());
        const QByteArray ini = w.f.ReadFile();
        for (const char* line :
             {"EDID mode=4K2K, HD Audio 7.1", "In of EDID mode=In3 - [Blu-ray]",
              "Out of Copy EDID=Out2 - [Projector]", "In of Copy EDID=Select Input",
              "Out of Read EDID=Select Output", "In of Download EDID=User2 Memory"})
            QVERIFY2(ini.contains(line), line);
        QVERIFY(ini.contains("Open EDID file=" + file.toUtf8()));
        // The next start restores the choices, not the paths.
        w.f.Form.reset();
        w.f.Show();
        e = w.f.Form->Edid();
        QCOMPARE(e->cbEDIDMode->currentIndex(), 12);
        QCOMPARE(e->cbSetEDIDModeInput->currentIndex(), 3);
        QCOMPARE(e->cbCopyEDIDOutput->currentIndex(), 2);
        QCOMPARE(e->cbDownloadEDIDInput->currentIndex(), 7);
        QCOMPARE(e->cbCopyEDIDInput->currentIndex(), 0);
        QVERIFY(e->edtOpenEDID->text().isEmpty());
        // The small buttons are named for screen readers.
        QCOMPARE(e->btnSaveEDID->accessibleName(), QStringLiteral("Save to EDID file"));
        QCOMPARE(e->btnOpenEDID->accessibleName(), QStringLiteral("Open EDID file"));
    }
}

QTEST_MAIN(tst_edidpanel)
#include "tst_edidpanel.moc"
