#include "Cli.h"

#include "link/Traffic.h"
#include "transport/Console.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <cstdio>

TCli::TCli(TQMCOMControl* link, TProcessFlags* flags, bool trace, bool json)
    : FLink(link), FFlags(flags), FTrace(trace), FJson(json)
{
    FNotifyConnection = QObject::connect(
        link, &TQMCOMControl::Notify, link,
        [this](int code, qintptr w, qintptr l, const QString& text) { OnNotify(code, w, l, text); },
        Qt::DirectConnection);
    if (trace) {
        // The traffic view's lines, on stderr so that they never mix into
        // the data on stdout.
        FRecorder = new TTrafficRecorder(link);
        QObject::connect(FRecorder, &TTrafficRecorder::Line, FRecorder, [](const QString& line) {
            Console::Write(stderr, line + QLatin1Char('\n'));
            std::fflush(stderr);
        });
    }
}

TCli::~TCli()
{
    QObject::disconnect(FNotifyConnection);
    delete FRecorder;
}

void TCli::SetUpLink(TQMCOMControl* link, const QString& tcp, const QString& serial)
{
    if (tcp.isEmpty() == serial.isEmpty())
        throw EUsage(QStringLiteral("give exactly one of --tcp HOST[:PORT] and --serial DEVICE"));
    if (!serial.isEmpty()) {
        link->SetControlMode(cmCOM);
        link->SetComPort(serial);
        return;
    }
    link->SetControlMode(cmLAN);
    QString host = tcp;
    const int colon = int(tcp.lastIndexOf(QLatin1Char(':')));
    if (!tcp.contains(QLatin1Char(']')) && tcp.count(QLatin1Char(':')) == 1) {
        host = tcp.left(colon);
        link->SetDevicePort(ParseNumber(tcp.mid(colon + 1), 1, 65535, "port"));
    }
    if (host.trimmed().isEmpty()) throw EUsage(QStringLiteral("--tcp needs a host: HOST[:PORT]"));
    link->SetDeviceIP(host);
}

int TCli::PollLimitFor(int timeoutMs, int pollTickMs)
{
    return qMax(1, (timeoutMs + pollTickMs - 1) / pollTickMs);
}

QJsonObject TCli::TakeDocument(int rc)
{
    if (rc != 0)
        FDoc.insert(QStringLiteral("error"), FErrors.isEmpty() ? QStringLiteral("Command failed")
                                                               : FErrors.join(QLatin1Char('\n')));
    QJsonObject doc = FDoc;
    FDoc = QJsonObject();
    FErrors.clear();
    return doc;
}

void TCli::Out(const QString& line)
{
    if (FJson || FCapture) return;
    Console::Write(stdout, line + QLatin1Char('\n'));
    std::fflush(stdout);
}

void TCli::Err(const QString& line)
{
    if (FJson || FCapture) FErrors << line;
    if (FCapture) return;
    Console::Write(stderr, line + QLatin1Char('\n'));
    std::fflush(stderr);
}

void TCli::Json(const QString& key, const QJsonValue& value)
{
    FDoc.insert(key, value);
}

void TCli::JsonAt(const QString& object, const QString& key, const QJsonValue& value)
{
    QJsonObject o = FDoc.value(object).toObject();
    o.insert(key, value);
    FDoc.insert(object, o);
}

int TCli::Finish(int rc)
{
    if (!FJson) return rc;
    const QJsonObject doc = TakeDocument(rc);
    std::fprintf(stdout, "%s\n", QJsonDocument(doc).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return rc;
}

void TCli::PrintJsonError(const QString& text)
{
    const QJsonObject doc{{QStringLiteral("error"), text}};
    std::fprintf(stdout, "%s\n", QJsonDocument(doc).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

void TCli::OnNotify(int code, qintptr wParam, qintptr lParam, const QString& text)
{
    const bool serial = FLink->ControlMode() == cmCOM;
    switch (code) {
    case ntTimeOut:
        FLastFailure = QStringLiteral("Time out!");
        break;
    case ntDataInvalid:
        FLastFailure = QStringLiteral("Data invalid!");
        break;
    case ntPortError:
        FLastFailure =
            serial ? QStringLiteral("COM access failed!") : QStringLiteral("TCP control failed!");
        break;
    case ntConnectFailed: {
        const int connected = wParam ? 1 : 0;
        FLastFailure = serial ? QStringLiteral("%1 COM [%2] failed")
                                    .arg(QLatin1String(Options::PortAction[size_t(connected)]),
                                         FLink->ComPort())
                              : QStringLiteral("%1 %2 failed")
                                    .arg(QLatin1String(Options::LinkAction[size_t(connected)]),
                                         FLink->DeviceIP());
        break;
    }
    case ntSendFailed:
        FLastFailure = QStringLiteral("Send data failed!");
        break;
    default:
        break;
    }
    Q_UNUSED(lParam)
}

bool TCli::EnsureConnected()
{
    if (FLink->Connect()) return true;
    Err(FLastFailure.isEmpty() ? QStringLiteral("Connect failed") : FLastFailure);
    if (FTrace && !FLink->LastErrorText().isEmpty()) Err(FLink->LastErrorText());
    return false;
}

bool TCli::Run(const TCatalogueCommand& command, TCommandReply* reply)
{
    if (!EnsureConnected()) return false;
    FLastFailure.clear();
    reply->Clear();
    FLink->ExecuteCommand(command.Packet, *reply);
    if (reply->Ok) return true;
    Err(FLastFailure.isEmpty() ? QStringLiteral("Command failed") : FLastFailure);
    return false;
}

int TCli::QueryPower()
{
    TCommandReply r;
    if (!Run(Catalogue::PowerStatus(), &r)) return -1;
    return Catalogue::PowerIsOn(r) ? 1 : 0;
}

bool TCli::PoweredOn()
{
    const int power = QueryPower();
    if (power < 0) return false;
    if (power == 0) {
        Err(QStringLiteral("System is power off, please turn it on first."));
        return false;
    }
    return true;
}

bool TCli::RunPowered(const TCatalogueCommand& command, TCommandReply* reply)
{
    const int power = QueryPower();
    if (power < 0) return false;
    if (power == 0) {
        Err(QStringLiteral("System is power off, please turn it on first."));
        return false;
    }
    return Run(command, reply);
}

uint16_t TCli::ParseNumber(const QString& text, uint32_t min, uint32_t max, const char* what)
{
    // One syntax everywhere: decimal or 0x-hex digits, nothing else (no sign,
    // no blanks).
    static const QRegularExpression syntax(QStringLiteral("^(0[xX][0-9A-Fa-f]{1,8}|[0-9]{1,10})$"));
    bool ok = syntax.match(text).hasMatch();
    qulonglong v = 0;
    if (ok)
        v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                ? text.mid(2).toULongLong(&ok, 16)
                : text.toULongLong(&ok, 10);
    if (!ok || v < min || v > max)
        throw EUsage(QStringLiteral("bad %1 '%2' (want %3..%4, decimal or 0x-hex)")
                         .arg(QLatin1String(what), text)
                         .arg(min)
                         .arg(max));
    return uint16_t(v);
}

uint16_t TCli::ParseNumber(const QString& text, uint32_t max, const char* what)
{
    return ParseNumber(text, 0, max, what);
}
