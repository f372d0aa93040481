// matrix-screenshots DIR: the TCP module windows as the user sees them, saved
// as DIR/<name>.png by Qt's own window grab. The search needs a network of
// its own: the simulated modules live in one network namespace, the
// controller in another (run as root; scripts/screenshots does).
#include "NetnsPair.h"
#include "SimModule.h"
#include "WindowFixture.h"
#include "ui/dialogs/EditLAN.h"
#include "ui/dialogs/Search.h"
#include "ui/main/ConnectionPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace
{
void When(std::function<bool()> ready, std::function<void()> action)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, ready, action] {
        if (!ready()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start();
}

bool Save(QWidget* w, const QString& dir, const QString& name)
{
    QApplication::processEvents();
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: matrix-screenshots DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    TNetnsPair net;
    QString why;
    if (!net.Setup(&why) || !net.Enter(net.NsA)) {
        std::fprintf(stderr, "matrix-screenshots: %s\n", qPrintable(why));
        return 1;
    }
    TSimModule sim;
    TSimModuleInfo hall;
    hall.Ip = {10, 77, 0, 2};
    hall.Gateway = {10, 77, 0, 1};
    hall.Tag = "Conference Hall";
    TSimModuleInfo stage = hall;
    stage.Mac[5] = 0x51;
    stage.Ip = {10, 77, 0, 99};
    stage.Tag = "Stage";
    sim.Modules() = {hall, stage};
    if (!sim.Start(QHostAddress::AnyIPv4, &why) || !net.Enter(net.NsB)) {
        std::fprintf(stderr, "matrix-screenshots: %s\n", qPrintable(why));
        return 1;
    }

    TWindowFixture fx;
    fx.WriteFile("[Control mode]\r\nMode=1\r\n");
    TTiming t; // the product's timings, with short pings to the silent module
    t.SearchPasses = 1;
    t.PingTimeOutMs = 300;
    t.PingAttemptMs = 400;
    t.PingAttempts = 1;
    TForm1* form = fx.Show(t);
    int failures = 0;
    TfrmSearch* wizard = form->Dialogs().Search;
    When([&] { return wizard->isVisible() && wizard->Step() == 1; },
         [&] {
             failures += !Save(wizard, dir, QStringLiteral("search-wizard"));
             QTest::mouseClick(wizard->btnYes, Qt::LeftButton);
         });
    QTest::mouseClick(form->Connection()->btnSearch, Qt::LeftButton);
    TfrmEditLAN* dlg = form->Dialogs().EditLAN;
    When([&] { return dlg->isVisible(); },
         [&] {
             failures += !Save(dlg, dir, QStringLiteral("tcp-configuration"));
             dlg->done(2);
         });
    form->Connection()->cbLANDevice->setCurrentIndex(0);
    QTest::mouseClick(form->Connection()->btnConfig, Qt::LeftButton);
    failures += !Save(form, dir, QStringLiteral("search-result"));
    return failures ? 1 : 0;
}
