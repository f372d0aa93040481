#pragma once

#include <QObject>

class TForm1;

// The "Search ..." and "Config ..." actions of the connection panel's TCP
// group: the search wizard adding to the device list, and the TCP
// configuration dialog rewriting the selected entry.
class TTcpDeviceActions : public QObject
{
    Q_OBJECT
public:
    explicit TTcpDeviceActions(TForm1* form);

    void btnSearchDeviceClick();
    void btnConfigClick();

private:
    bool Refused();
    TForm1* FForm;
};
