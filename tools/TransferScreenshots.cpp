// matrix-screenshots-transfers --port PORT --out DIR: drives the controller's windows
// against a running matrix-sim on 127.0.0.1:PORT and saves pictures of them,
// taken with Qt's own window grab, as DIR/<tab>.png.
#include "link/FirmwareMerge.h"
#include "link/QMCOMControl.h"
#include "ui/main/AppWindows.h"
#include "ui/main/CommandRunner.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/EdidPanel.h"
#include "ui/main/FirmwarePanel.h"
#include "ui/main/Prompter.h"
#include "ui/main/TabContainer.h"
#include "ui/main/TrafficWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

namespace
{
// File dialogs answered from a list; boxes reported on stderr.
class TListPrompter : public TPrompter
{
public:
    QStringList Files;
    void Information(const QString& text) override { Say(text); }
    void Error(const QString& text) override { Say(text); }
    bool Confirm(const QString& text) override
    {
        Say(text);
        return true;
    }
    QString OpenFile(const QString&, const QString&, const QString&) override { return Next(); }
    QString SaveFile(const QString&, const QString&, const QString&) override { return Next(); }

private:
    QString Next() { return Files.isEmpty() ? QString() : Files.takeFirst(); }
    static void Say(const QString& text)
    {
        std::fprintf(stderr, "screenshots: box: %s\n", qPrintable(text));
    }
};

bool Save(QWidget* window, const QString& path)
{
    const bool ok = window->grab().save(path);
    std::fprintf(ok ? stdout : stderr, "screenshots: %s %s\n", ok ? "wrote" : "cannot write",
                 qPrintable(path));
    return ok;
}

QString WriteImage(const QDir& dir, const QString& name, int size, quint32 seed)
{
    QRandomGenerator g(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(g.bounded(256));
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    return path;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser p;
    p.addOption({QStringLiteral("port"), QStringLiteral("TCP port of matrix-sim."),
                 QStringLiteral("PORT"), QStringLiteral("8000")});
    p.addOption({QStringLiteral("out"), QStringLiteral("Folder of the pictures."),
                 QStringLiteral("DIR"), QStringLiteral("docs")});
    p.addHelpOption();
    p.process(app);
    const QDir out(p.value(QStringLiteral("out")));
    if (!out.exists() && !QDir().mkpath(out.path())) return 1;

    QTemporaryDir folder;
    const QDir work(folder.path());
    const QByteArray entry = "[Simulator] - [Static IP] - [127.0.0.1] - [0.0.0.0] - "
                             "[255.0.0.0] - [00-1A-2B-3C-4D-5E] - [Same Subnet]";
    QFile settings(work.filePath(QStringLiteral("Settings.ini")));
    if (!settings.open(QIODevice::WriteOnly)) return 1;
    settings.write("[Control mode]\r\nMode=1\r\n[TCP control device]\r\nName=" + entry +
                   "\r\n[TCP control device list]\r\nDevice No.1=" + entry +
                   "\r\n[Tag of Input - TCP:00-1A-2B-3C-4D-5E]\r\nIn1=Blu-ray\r\n"
                   "[Tag of Output - TCP:00-1A-2B-3C-4D-5E]\r\nOut1=Projector\r\n");
    settings.close();

    TListPrompter prompter;
    TForm1Options options;
    options.SettingsFolder = work.path();
    options.Prompter = &prompter;
    std::unique_ptr<TForm1> form = CreateApplicationWindows(options);
    form->Link()->SetDevicePort(quint16(p.value(QStringLiteral("port")).toUInt()));
    form->show();
    if (!form->DeviceStatus()->QueryPowerStatus()) {
        std::fprintf(stderr, "screenshots: no matrix on port %s\n",
                     qPrintable(p.value(QStringLiteral("port"))));
        return 1;
    }
    bool ok = true;

    // EDID control: the display on output 1 read into the grid.
    TEdidPanel* edid = form->Edid();
    form->Container()->setCurrentWidget(form->tsEDIDCtrl);
    edid->cbEDIDMode->setCurrentIndex(12);
    edid->cbSetEDIDModeInput->setCurrentIndex(1);
    edid->cbCopyEDIDOutput->setCurrentIndex(1);
    edid->cbCopyEDIDInput->setCurrentIndex(5);
    edid->cbReadEDIDDataOutput->setCurrentIndex(1);
    edid->cbDownloadEDIDInput->setCurrentIndex(2);
    edid->btnReadEDID->click();
    prompter.Files = {work.filePath(QStringLiteral("projector.bin"))};
    edid->btnSaveEDID->click();
    ok = Save(form.get(), out.filePath(QStringLiteral("edid-control.png"))) && ok;

    // Traffic: the frames and notifications of a power query and the routing
    // refresh, at the end of the view.
    TTrafficWindow* traffic = form->Traffic();
    traffic->ShowWindow();
    traffic->resize(1100, 460);
    form->DeviceStatus()->QueryPowerStatus();
    for (int o = 1; o <= 4; ++o)
        form->Runner()->RunPoweredCommand(Catalogue::RouteQuery(o));
    QApplication::processEvents();
    ok = Save(traffic, out.filePath(QStringLiteral("traffic.png"))) && ok;
    traffic->hide();

    // FW upgrade: a picture in the middle of the third part.
    TFirmwareMerge merge;
    merge.LastFolder = work.path();
    merge.Inputs[1] = {WriteImage(work, QStringLiteral("slave1.bin"), 3000, 1), "1", "3"};
    merge.Inputs[2] = {WriteImage(work, QStringLiteral("ir.bin"), 2000, 2), "1", "0"};
    merge.Inputs[3] = {WriteImage(work, QStringLiteral("panel.bin"), 6000, 3), "4", "2"};
    const QString file = merge.Run();
    TFirmwarePanel* fw = form->Firmware();
    form->Container()->setCurrentWidget(form->tsFWUpgrade);
    prompter.Files = {file};
    fw->btnOpenFWFile->click();
    bool taken = false;
    QObject::connect(fw, &TFirmwarePanel::GaugeSet, fw, [&](const QString& caption, int v) {
        if (taken || v < 50 || !caption.endsWith(QLatin1String("2.3"))) return;
        taken = true;
        ok = Save(form.get(), out.filePath(QStringLiteral("fw-upgrade.png"))) && ok;
        form->Flags().Abort = true; // the picture is all we came for
    });
    fw->btnUpgrade->click();
    if (!taken) {
        std::fprintf(stderr, "screenshots: the upgrade did not get to its third part\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
