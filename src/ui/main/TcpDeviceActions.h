#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class TCommandRunner;
class TConnectionPanel;
class TfrmEditLAN;
class TfrmSearch;

// The "Search ..." and "Config ..." actions of the connection panel's TCP
// group: the search wizard adding to the device list, and the TCP
// configuration dialog rewriting the selected entry.
class TTcpDeviceActions : public QObject
{
    Q_OBJECT
public:
    TTcpDeviceActions(TCommandRunner* runner, TConnectionPanel* connection,
                      QObject* parent = nullptr);

    // The dialogs, made on first use by whoever owns them; null: none.
    std::function<TfrmSearch*()> SearchDialog;
    std::function<TfrmEditLAN*()> EditLANDialog;
    // A configured module's MAC, as the dialog's six texts.
    std::function<void(const QStringList&)> MacChanged;
    // Whether the connection panel's page is the one shown.
    std::function<bool()> PanelShown;

    void btnSearchDeviceClick();
    void btnConfigClick();

private:
    bool Refused();
    TCommandRunner* FRunner;
    TConnectionPanel* FConnection;
};
