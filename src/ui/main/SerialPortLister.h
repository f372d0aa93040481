#pragma once

#include <QStringList>

// Names of the serial ports present on the machine, as the serial transport
// accepts them in its port name.
class TSerialPortLister
{
public:
    virtual ~TSerialPortLister() = default;
    virtual QStringList PortNames() = 0;
};

// The platform's own enumeration.
class TSystemSerialPortLister : public TSerialPortLister
{
public:
    QStringList PortNames() override;
};
