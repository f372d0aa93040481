#pragma once

// Two network namespaces joined by a veth pair, made by the test itself:
//   side A (the simulated module): 10.77.0.2/24
//   side B (the controller):       10.77.0.1/24
// Enter() switches the calling thread, so sockets created afterwards live in
// that namespace; sockets keep the namespace they were created in. Needs root
// and `ip`; Setup() says why when it cannot be done. Header-only.

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

class TNetnsPair
{
public:
    static constexpr const char* AddressA = "10.77.0.2";
    static constexpr const char* AddressB = "10.77.0.1";

    TNetnsPair()
    {
        const QString id = QString::number(::getpid());
        NsA = QStringLiteral("mxA") + id;
        NsB = QStringLiteral("mxB") + id;
        FVethA = QStringLiteral("mxa") + id;
        FVethB = QStringLiteral("mxb") + id;
    }
    ~TNetnsPair() { TearDown(); }

    bool Setup(QString* why)
    {
        if (::geteuid() != 0) {
            *why = QStringLiteral("needs root to create network namespaces (ip netns add)");
            return false;
        }
        FOriginal = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        const QList<QStringList> steps = {
            {"netns", "add", NsA},
            {"netns", "add", NsB},
            {"link", "add", FVethA, "type", "veth", "peer", "name", FVethB},
            {"link", "set", FVethA, "netns", NsA},
            {"link", "set", FVethB, "netns", NsB},
            {"-n", NsA, "addr", "add", QStringLiteral("%1/24").arg(AddressA), "dev", FVethA},
            {"-n", NsB, "addr", "add", QStringLiteral("%1/24").arg(AddressB), "dev", FVethB},
            {"-n", NsA, "link", "set", "lo", "up"},
            {"-n", NsB, "link", "set", "lo", "up"},
            {"-n", NsA, "link", "set", FVethA, "up"},
            {"-n", NsB, "link", "set", FVethB, "up"},
            // Limited broadcasts leave by the default route.
            {"-n", NsA, "route", "add", "default", "dev", FVethA},
            {"-n", NsB, "route", "add", "default", "dev", FVethB},
        };
        FMade = true;
        for (const QStringList& args : steps) {
            QProcess ip;
            ip.start(QStringLiteral("ip"), args);
            if (!ip.waitForFinished(10000) || ip.exitStatus() != QProcess::NormalExit ||
                ip.exitCode() != 0) {
                *why = QStringLiteral("cannot set up network namespaces: ip %1: %2")
                           .arg(args.join(QLatin1Char(' ')),
                                QString::fromLocal8Bit(ip.readAllStandardError()).trimmed() +
                                    ip.errorString());
                return false;
            }
        }
        return true;
    }

    bool Enter(const QString& ns)
    {
        const QByteArray path = QStringLiteral("/var/run/netns/%1").arg(ns).toLocal8Bit();
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool ok = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        return ok;
    }
    // Runs a command inside a namespace (for the simulator process).
    static QStringList ExecArgs(const QString& ns, const QString& program, const QStringList& args)
    {
        return QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns, program} + args;
    }

    void TearDown()
    {
        if (FOriginal >= 0) {
            ::setns(FOriginal, CLONE_NEWNET);
            ::close(FOriginal);
            FOriginal = -1;
        }
        if (!FMade) return;
        FMade = false;
        for (const QString& ns : {NsA, NsB}) // the veth pair goes with them
            QProcess::execute(QStringLiteral("ip"),
                              {QStringLiteral("netns"), QStringLiteral("del"), ns});
    }

    QString NsA, NsB;

private:
    QString FVethA, FVethB;
    int FOriginal = -1;
    bool FMade = false;
};
