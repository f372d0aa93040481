#include "SerialPorts.h"

#ifdef Q_OS_LINUX

#include <QFile>
#include <QSerialPortInfo>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

QByteArray LinkTarget(const QByteArray& path)
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink(path.constData(), buffer, sizeof buffer - 1);
    return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
}

QByteArray BaseName(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// A tty without a device behind it is a console or terminal of the kernel,
// except for these kinds of real lines.
bool DevicelessLine(const QByteArray& name)
{
    if (name.startsWith("tnt") || name.startsWith("ttyGS")) return true;
    if (!name.startsWith("rfcomm")) return false;
    bool ok = false;
    const int n = name.mid(6).toInt(&ok);
    return ok && n >= 0 && n <= 255;
}

// The legacy 8250 driver registers slots whether or not a UART answers
// there; an empty slot has type 0 (unknown).
bool EmptyUartSlot(const QByteArray& entry)
{
    if (BaseName(LinkTarget(entry + "/device/driver")) != "serial8250") return false;
    QFile type(QString::fromLocal8Bit(entry + "/type"));
    if (!type.open(QIODevice::ReadOnly)) return false;
    return type.readAll().trimmed() == "0";
}

} // namespace

bool SerialPorts::FromSysfs()
{
    return true;
}

QStringList SerialPorts::NamesFromSysfs(const QString& ttyClassFolder)
{
    const QByteArray folder = QFile::encodeName(ttyClassFolder);
    DIR* dir = opendir(folder.constData());
    if (!dir) return {};
    std::vector<std::pair<QByteArray, QString>> found; // (device path, name)
    while (const dirent* e = readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name.startsWith('.')) continue;
        const QByteArray entry = folder + '/' + name;
        struct stat st {
        };
        const bool backed = lstat((entry + "/device").constData(), &st) == 0;
        if (!backed && !DevicelessLine(name)) continue;
        if (backed && EmptyUartSlot(entry)) continue;
        char resolved[PATH_MAX];
        const QByteArray path =
            realpath(entry.constData(), resolved) ? QByteArray(resolved) : entry;
        // Sysfs spells a '/' in a device name as '!'.
        found.emplace_back(path,
                           QFile::decodeName(name).replace(QLatin1Char('!'), QLatin1Char('/')));
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    QStringList names;
    for (const auto& f : found)
        if (!names.contains(f.second)) names << f.second;
    return names;
}

QStringList SerialPorts::Names()
{
    static const QString sysfs = QStringLiteral("/sys/class/tty");
    if (access(QFile::encodeName(sysfs).constData(), R_OK | X_OK) == 0)
        return NamesFromSysfs(sysfs);
    // No sysfs (a container without /sys): whatever Qt finds by other means.
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    return names;
}

#endif
