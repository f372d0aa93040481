#include "SerialPortLister.h"

#include <QSerialPortInfo>

QStringList TSystemSerialPortLister::PortNames()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString name = info.portName();
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    return names;
}
