#include "Cli.h"

#include "link/Traffic.h"
#include "transport/Console.h"

#include <QJsonDocument>
#include <cstdio>

TCli::TCli(TQMCOMControl* link, TProcessFlags* flags, bool trace, bool json)
    : FLink(link), FFlags(flags), FTrace(trace), FJson(json), FOps(link, flags)
{
    FOps.VerboseConnect = trace;
    FOps.OnError = [this](const QString& line) { Err(line); };
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
    delete FRecorder;
}

void TCli::Out(const QString& line)
{
    if (FJson) return;
    Console::Write(stdout, line + QLatin1Char('\n'));
    std::fflush(stdout);
}

void TCli::Err(const QString& line)
{
    if (FJson) FErrors << line;
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

void TCli::Doc(const QJsonObject& doc)
{
    FDoc = OpsJson::Merge(FDoc, doc);
}

int TCli::Finish(int rc)
{
    if (!FJson) return rc;
    if (rc != 0)
        FDoc.insert(QStringLiteral("error"), FErrors.isEmpty() ? QStringLiteral("Command failed")
                                                               : FErrors.join(QLatin1Char('\n')));
    std::fprintf(stdout, "%s\n", QJsonDocument(FDoc).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return rc;
}

void TCli::PrintJsonError(const QString& text)
{
    const QJsonObject doc{{QStringLiteral("error"), text}};
    std::fprintf(stdout, "%s\n", QJsonDocument(doc).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
}

bool TCli::EnsureConnected()
{
    TOpStatus st;
    return FOps.EnsureConnected(&st);
}

bool TCli::Run(const TCatalogueCommand& command, TCommandReply* reply)
{
    TOpStatus st;
    return FOps.Run(command, reply, &st);
}

int TCli::QueryPower()
{
    TOpStatus st;
    return FOps.QueryPower(&st);
}

bool TCli::PoweredOn()
{
    TOpStatus st;
    return FOps.PoweredOn(&st);
}

bool TCli::RunPowered(const TCatalogueCommand& command, TCommandReply* reply)
{
    TOpStatus st;
    return FOps.RunPowered(command, reply, &st);
}
