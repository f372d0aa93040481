// matrix-sim: the simulated matrix on a TCP port and/or a pseudo-terminal.
#include "SimModule.h"
#include "SimServers.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <unistd.h>

static int SignalPipe[2] = {-1, -1};

static void OnSignal(int)
{
    char c = 1;
    (void)!::write(SignalPipe[1], &c, 1);
}

static void SaveState(const TMatrixSim& sim, const QString& path)
{
    if (path.isEmpty()) return;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QJsonDocument(const_cast<TMatrixSim&>(sim).Device().State().ToJson()).toJson());
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrix-sim"));
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Simulated 4x4 HDMI matrix for the controller, its tests and demos.\n\n") +
        TFaultPlan::Help());
    p.addHelpOption();
    p.addOption({QStringLiteral("tcp"), QStringLiteral("Listen on ADDR:PORT."),
                 QStringLiteral("ADDR:PORT")});
    p.addOption({QStringLiteral("pty"),
                 QStringLiteral("Open a pseudo-terminal, symlinked at LINK."),
                 QStringLiteral("LINK")});
    p.addOption({QStringLiteral("baud"), QStringLiteral("Pace the line at N baud, 10 bits a byte."),
                 QStringLiteral("N")});
    p.addOption({QStringLiteral("fault"), QStringLiteral("Inject a fault (see above); repeatable."),
                 QStringLiteral("PLAN")});
    p.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the random faults."),
                 QStringLiteral("N")});
    p.addOption(
        {QStringLiteral("log"), QStringLiteral("Write a JSON frame log."), QStringLiteral("FILE")});
    p.addOption({QStringLiteral("state"), QStringLiteral("Load and keep the device state in FILE."),
                 QStringLiteral("FILE")});
    p.addOption({QStringLiteral("edid-dir"), QStringLiteral("Folder of display EDIDs (.bin)."),
                 QStringLiteral("DIR")});
    p.addOption({QStringLiteral("power-on"), QStringLiteral("Start with the matrix powered on.")});
    p.addOption({QStringLiteral("module"),
                 QStringLiteral("Answer the TCP module search (UDP 30600) and configuration "
                                "(UDP 30601) on ADDR (0.0.0.0 receives broadcasts)."),
                 QStringLiteral("ADDR")});
    p.addOption({QStringLiteral("modules"),
                 QStringLiteral("Number of simulated modules (MACs 00-1A-2B-3C-4D-50 on, "
                                "addresses 192.168.0.100 on)."),
                 QStringLiteral("N")});
    p.addOption({QStringLiteral("module-fault"),
                 QStringLiteral("Shape the module's answers; repeatable: together=0|1, repeat=N, "
                                "junk=N, silent-search, config=accept|conflict|refuse|silent, "
                                "config-echo, config-other, ldcd=ok|echo|badsum|header|silent."),
                 QStringLiteral("PLAN")});
    p.process(app);

    auto fail = [](const QString& why) {
        std::fprintf(stderr, "matrix-sim: %s\n", qPrintable(why));
        return 2;
    };
    if (!p.isSet(QStringLiteral("tcp")) && !p.isSet(QStringLiteral("pty")) &&
        !p.isSet(QStringLiteral("module")))
        return fail(
            QStringLiteral("give --tcp ADDR:PORT, --pty LINK and/or --module ADDR (see --help)"));

    TMatrixSim sim;
    QString edidDir = p.isSet(QStringLiteral("edid-dir")) ? p.value(QStringLiteral("edid-dir"))
                                                          : QStringLiteral(":/edid");
    sim.Device().LoadEdids(edidDir);
    const QString statePath = p.value(QStringLiteral("state"));
    if (!statePath.isEmpty() && QFile::exists(statePath)) {
        QFile f(statePath);
        if (!f.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(statePath));
        QJsonParseError err;
        QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
        if (!doc.isObject())
            return fail(QStringLiteral("%1: %2").arg(statePath, err.errorString()));
        sim.Device().State().FromJson(doc.object());
    }
    if (p.isSet(QStringLiteral("power-on"))) sim.Device().State().Power = true;
    if (p.isSet(QStringLiteral("seed")))
        sim.Faults().SetSeed(p.value(QStringLiteral("seed")).toUInt());
    for (const QString& plan : p.values(QStringLiteral("fault"))) {
        QString error;
        if (!sim.Faults().Add(plan, &error)) return fail(error);
    }
    if (p.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        int baud = p.value(QStringLiteral("baud")).toInt(&ok);
        if (!ok || baud <= 0) return fail(QStringLiteral("bad --baud"));
        sim.SetBaud(baud);
    }
    if (p.isSet(QStringLiteral("log")) && !sim.SetLogFile(p.value(QStringLiteral("log"))))
        return fail(QStringLiteral("cannot write %1").arg(p.value(QStringLiteral("log"))));
    if (p.isSet(QStringLiteral("tcp"))) {
        const QString address = p.value(QStringLiteral("tcp"));
        const int colon = int(address.lastIndexOf(QLatin1Char(':')));
        bool ok = false;
        const int port = address.mid(colon + 1).toInt(&ok);
        QHostAddress addr(colon > 0 ? address.left(colon) : QStringLiteral("127.0.0.1"));
        if (colon < 0 || !ok || port < 0 || port > 65535 || addr.isNull())
            return fail(QStringLiteral("bad --tcp %1 (want ADDR:PORT)").arg(address));
        QString error;
        if (!sim.ListenTcp(addr, quint16(port), &error))
            return fail(QStringLiteral("cannot listen on %1: %2").arg(address, error));
    }
    if (p.isSet(QStringLiteral("pty"))) {
        QString error;
        if (!sim.OpenPty(p.value(QStringLiteral("pty")), &error)) return fail(error);
    }

    TSimModule module;
    if (p.isSet(QStringLiteral("modules"))) {
        bool ok = false;
        const int n = p.value(QStringLiteral("modules")).toInt(&ok);
        if (!ok || n < 1 || n > 100) return fail(QStringLiteral("bad --modules (want 1..100)"));
        for (int i = 1; i < n; ++i) {
            TSimModuleInfo m = module.Modules().first();
            m.Mac[5] = uint8_t(m.Mac[5] + i);
            m.Ip[3] = uint8_t(m.Ip[3] + i);
            m.Tag = "TCP Module " + QByteArray::number(i + 1);
            module.Modules() << m;
        }
    }
    for (const QString& plan : p.values(QStringLiteral("module-fault"))) {
        QString error;
        if (!module.SetFault(plan, &error)) return fail(error);
    }
    // The module answers its 32-byte packets on the matrix lines as well.
    sim.Device().ModulePacket = [&module](const QByteArray& b) { return module.HandleLdcd(b); };
    sim.Device().ModulePacketStart = &TSimModule::IsLdcdStart;
    if (p.isSet(QStringLiteral("module"))) {
        QHostAddress addr(p.value(QStringLiteral("module")));
        QString error;
        if (addr.isNull()) return fail(QStringLiteral("bad --module address"));
        if (!module.Start(addr, &error)) return fail(error);
    }

    if (::pipe(SignalPipe) != 0) return fail(QStringLiteral("pipe failed"));
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    QSocketNotifier quitNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    QObject::connect(&saveTimer, &QTimer::timeout, [&] { SaveState(sim, statePath); });
    QObject::connect(&sim, &TMatrixSim::FrameHandled, [&] {
        if (!statePath.isEmpty() && !saveTimer.isActive()) saveTimer.start(200);
    });

    std::printf("ready\n");
    if (p.isSet(QStringLiteral("tcp")))
        std::fprintf(stderr, "matrix-sim: tcp %s:%u\n",
                     qPrintable(p.value(QStringLiteral("tcp")).section(QLatin1Char(':'), 0, -2)),
                     unsigned(sim.TcpPort()));
    if (p.isSet(QStringLiteral("pty")))
        std::fprintf(stderr, "matrix-sim: pty %s -> %s\n", qPrintable(sim.PtyLink()),
                     qPrintable(sim.SlavePath()));
    std::fflush(stdout);
    const int rc = app.exec();
    SaveState(sim, statePath);
    return rc;
}
