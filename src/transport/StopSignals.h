#pragma once

#include <QObject>

// The operating system's request to stop (SIGTERM and SIGINT here, the
// console's close and Ctrl+C on Windows) as a signal on the event loop, so
// a service can say goodbye to its peers before it ends.
class TStopSignals : public QObject
{
    Q_OBJECT
public:
    explicit TStopSignals(QObject* parent = nullptr);
    ~TStopSignals() override;

signals:
    void StopRequested();
};
