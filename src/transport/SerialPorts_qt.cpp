#include "SerialPorts.h"

#ifndef Q_OS_LINUX

#include <QSerialPortInfo>

// Windows and macOS: the system's own list (registry, IOKit).
QStringList SerialPorts::Names()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    return names;
}

bool SerialPorts::FromSysfs()
{
    return false;
}

QStringList SerialPorts::NamesFromSysfs(const QString&)
{
    return {};
}

#endif
