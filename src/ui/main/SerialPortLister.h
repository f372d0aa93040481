#pragma once

#include <QDateTime>
#include <QStringList>

// Names of the serial ports present on the machine, as the serial transport
// accepts them in its port name.
class TSerialPortLister
{
public:
    virtual ~TSerialPortLister() = default;
    virtual QStringList PortNames() = 0;
};

// The platform's own enumeration. The one-second timer asks for it, so where
// the device folder tells when nodes come and go the last list is kept until
// it changes.
class TSystemSerialPortLister : public TSerialPortLister
{
public:
    QStringList PortNames() override;

private:
    QStringList FNames;
    QDateTime FDevChanged;
    bool FListed = false;
};
