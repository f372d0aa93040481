#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <functional>

class QThread;

// Names of the serial ports present on the machine, as the serial transport
// accepts them in its port name.
class TSerialPortLister
{
public:
    virtual ~TSerialPortLister() = default;
    virtual QStringList PortNames() = 0;
    // Called on the window's thread when a list read in the background
    // differs from the one PortNames() gave last (never, for a lister that
    // reads while asked).
    std::function<void()> Changed;
};

// The platform's own enumeration. The one-second timer asks for it, so where
// the device folder tells when nodes come and go the last list is kept until
// it changes. Where the enumeration is slow (SetupAPI on Windows) it runs on
// a thread of its own: PortNames() gives the last list read and asks for the
// next, which comes back by a queued call and is announced by Changed.
class TSystemSerialPortLister : public QObject, public TSerialPortLister
{
public:
    explicit TSystemSerialPortLister(bool background = DefaultBackground);
    ~TSystemSerialPortLister() override;
    QStringList PortNames() override;

#ifdef Q_OS_WIN
    static constexpr bool DefaultBackground = true;
#else
    static constexpr bool DefaultBackground = false;
#endif

private:
    void Read();
    void Deliver(const QStringList& names);

    QStringList FNames;
    QDateTime FDevChanged;
    bool FListed = false;
    QThread* FThread = nullptr;
    QObject* FReader = nullptr; // lives on FThread
    bool FReading = false;
};
