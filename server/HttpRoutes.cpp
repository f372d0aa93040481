// The routes under /api/v1: checked here, run on the core's queue with
// matrixctl's commands, answered with matrixctl's documents.
#include "Cli.h"
#include "HttpApi.h"
#include "ServerCore.h"
#include "link/DeviceBackup.h"
#include "link/EdidData.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

namespace
{
struct EBadRequest {
    QString Text;
};

QByteArray Compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

int StatusOf(TResultKind kind)
{
    switch (kind) {
    case rkOk:
        return 200;
    case rkBadInput:
        return 400;
    case rkPowerOff:
    case rkRefused:
        return 409;
    case rkLinkFailed:
        return 502;
    case rkTimeOut:
        return 504;
    }
    return 500;
}

THttpResponse Answer(const TCommandResult& r, const QJsonObject& ok)
{
    if (!r.Ok()) return THttpResponse::Error(StatusOf(r.Kind), r.Error);
    return THttpResponse::Json(200, Compact(ok));
}

THttpResponse Answer(const TCommandResult& r)
{
    return Answer(r, r.Doc);
}

QJsonObject JsonBody(const THttpRequest& request)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(request.Body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        throw EBadRequest{QStringLiteral("The body is not a JSON object")};
    return doc.object();
}

// A whole number in min..max, stating the range as matrixctl does.
int Number(const QJsonValue& v, int min, int max, const QString& what)
{
    const double d = v.toDouble(-1e18);
    if (!v.isDouble() || d != double(qint64(d)) || d < min || d > max)
        throw EBadRequest{
            QStringLiteral("bad %1 %2 (want %3..%4)")
                .arg(what,
                     QString::fromUtf8(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact))
                         .mid(1)
                         .chopped(1))
                .arg(min)
                .arg(max)};
    return int(d);
}

bool Bool(const QJsonObject& o, const char* key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isBool())
        throw EBadRequest{QStringLiteral("\"%1\" must be true or false").arg(QLatin1String(key))};
    return v.toBool();
}

int PathNumber(const QString& text, int min, int max, const char* what)
{
    try {
        return TCli::ParseNumber(text, uint32_t(min), uint32_t(max), what);
    } catch (const EUsage& e) {
        throw EBadRequest{QString::fromStdString(e.what())};
    }
}

// Outputs a pre-setting routes, by number; an empty one routes none.
QJsonObject PresetOutputs(const TPreSetting& p)
{
    QJsonObject outputs;
    for (int n = 1; n <= PortCount; ++n) {
        bool isNumber = false;
        const int v = p.Values.value(n - 1).toInt(&isNumber);
        if (isNumber && v >= 1 && v <= PortCount) outputs.insert(QString::number(n), v);
    }
    return outputs;
}

// As the file has them now; without a file nothing has been saved, and the
// pre-settings are empty.
QJsonArray ServedPresets(TServerCore* core, std::array<TPreSetting, 8>* presets)
{
    *presets = core->PreSettings();
    QString error;
    if (QFileInfo(core->SettingsPath()).isFile()) {
        const TSettingsData d = SettingsFile::ReadSettings(core->SettingsPath(), &error);
        if (error.isEmpty()) *presets = d.PreSettings;
    } else {
        for (TPreSetting& p : *presets)
            p.Values.clear();
    }
    QJsonArray list = PresetsJson(*presets);
    for (int n = 0; n < list.size(); ++n) {
        QJsonObject o = list[n].toObject();
        o.insert(QStringLiteral("outputs"), PresetOutputs((*presets)[size_t(n)]));
        list[n] = o;
    }
    return list;
}

QString OnOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}
} // namespace

void THttpApi::HandleApi(const THttpRequest& request, const QStringList& parts,
                         const THttpFront::TRespond& respond)
{
    const QByteArray& m = request.Method;
    const QString what = parts.value(0);
    const int n = int(parts.size());
    TServerCore* core = FCore;
    auto notAllowed = [&] {
        respond(THttpResponse::Error(405, QStringLiteral("Method not allowed")));
    };
    try {
        if (what == QLatin1String("status") && n == 1) {
            if (m != "GET") return notAllowed();
            return Queue(respond,
                         [core] { return Answer(core->Run(QStringLiteral("status"), {})); });
        }
        if (what == QLatin1String("routing") && n == 1) {
            if (m == "GET")
                return Queue(respond,
                             [core] { return Answer(core->Run(QStringLiteral("routing"), {})); });
            if (m != "PUT") return notAllowed();
            const QJsonObject body = JsonBody(request);
            if (body.isEmpty()) throw EBadRequest{QStringLiteral("Name at least one output")};
            QMap<int, int> routes; // ascending outputs
            for (auto it = body.begin(); it != body.end(); ++it)
                routes.insert(PathNumber(it.key(), 1, PortCount, "output"),
                              Number(it.value(), 1, PortCount, QStringLiteral("input")));
            return Queue(respond, [core, routes] {
                QJsonArray applied;
                for (auto it = routes.begin(); it != routes.end(); ++it) {
                    const TCommandResult r =
                        core->Run(QStringLiteral("route"),
                                  {QString::number(it.value()), QString::number(it.key())});
                    if (!r.Ok())
                        return THttpResponse::Json(StatusOf(r.Kind),
                                                   Compact({{QStringLiteral("error"), r.Error},
                                                            {QStringLiteral("applied"), applied}}));
                    applied.append(it.key());
                }
                return THttpResponse::Json(
                    200, Compact({{QStringLiteral("routing"), core->RoutingJson()}}));
            });
        }
        if (what == QLatin1String("routing") && n == 2) {
            if (m != "PUT") return notAllowed();
            const int out = PathNumber(parts[1], 1, PortCount, "output");
            const int in = Number(JsonBody(request).value(QStringLiteral("input")), 1, PortCount,
                                  QStringLiteral("input"));
            return Queue(respond, [core, in, out] {
                const TCommandResult r =
                    core->Run(QStringLiteral("route"), {QString::number(in), QString::number(out)});
                return Answer(r, {{QStringLiteral("routing"), core->RoutingJson()}});
            });
        }
        if (what == QLatin1String("presets") && n == 1) {
            if (m != "GET") return notAllowed();
            std::array<TPreSetting, 8> presets;
            return respond(THttpResponse::Json(
                200, Compact({{QStringLiteral("presets"), ServedPresets(core, &presets)}})));
        }
        if (what == QLatin1String("presets") && n == 3 && parts[2] == QLatin1String("apply")) {
            if (m != "POST") return notAllowed();
            const int row = PathNumber(parts[1], 1, 8, "pre-setting");
            // One that does not route every output is refused here, before the matrix.
            std::array<TPreSetting, 8> presets;
            ServedPresets(core, &presets);
            const TPreSetting& p = presets[size_t(row - 1)];
            const int routed = int(PresetOutputs(p).size());
            if (routed < PortCount)
                return respond(THttpResponse::Error(
                    422, routed == 0
                             ? QStringLiteral("Pre-setting %1 is empty: save it in the window "
                                              "first. Nothing was sent.")
                                   .arg(row)
                             : QStringLiteral("Pre-setting %1 (%2) does not name an input (1 to "
                                              "4) for every output. Nothing was sent.")
                                   .arg(row)
                                   .arg(p.Name)));
            return Queue(respond, [core, row] {
                return Answer(core->Run(QStringLiteral("preset"),
                                        {QStringLiteral("apply"), QString::number(row)}));
            });
        }
        if (what == QLatin1String("tags") && n == 1) {
            if (m != "GET") return notAllowed();
            return respond(THttpResponse::Json(200, Compact(core->TagsJson())));
        }
        if (what == QLatin1String("audio") && n <= 2) {
            if (n == 1) {
                if (m != "GET") return notAllowed();
                return Queue(respond,
                             [core] { return Answer(core->Run(QStringLiteral("audio"), {})); });
            }
            if (m != "PUT") return notAllowed();
            const int in = PathNumber(parts[1], 1, PortCount, "input");
            const int source = Number(JsonBody(request).value(QStringLiteral("source")), 1, 3,
                                      QStringLiteral("source"));
            return Queue(respond, [core, in, source] {
                return Answer(core->Run(QStringLiteral("audio"),
                                        {QString::number(in), QString::number(source)}));
            });
        }
        if (what == QLatin1String("switches") && n <= 2) {
            QString name;
            bool on = false;
            if (n == 1) {
                if (m != "GET") return notAllowed();
            } else {
                if (m != "PUT") return notAllowed();
                name = parts[1];
                bool known = false;
                for (const char* s : TServerCore::SwitchNames)
                    known |= name == QLatin1String(s);
                if (!known)
                    throw EBadRequest{
                        QStringLiteral("bad switch '%1' (want ir, keys, apm or beeper)").arg(name)};
                on = Bool(JsonBody(request), "on");
            }
            return Queue(respond, [core, name, on] {
                const TCommandResult r = core->RunWith([&](TCli& cli) {
                    if (!name.isEmpty()) {
                        const int rc = CmdSettings(cli, name, {OnOff(on)});
                        if (rc != 0) return rc;
                    }
                    for (const char* s : TServerCore::SwitchNames) {
                        if (name == QLatin1String(s)) continue;
                        const int rc = CmdSettings(cli, QLatin1String(s), {});
                        if (rc != 0) return rc;
                    }
                    return 0;
                });
                return Answer(r, core->SwitchesJson());
            });
        }
        if (what == QLatin1String("power") && n == 1) {
            QStringList args;
            if (m == "PUT")
                args << OnOff(Bool(JsonBody(request), "on"));
            else if (m != "GET")
                return notAllowed();
            return Queue(respond, [core, args] {
                const TCommandResult r = core->Run(QStringLiteral("power"), args);
                return Answer(r, {{QStringLiteral("on"), r.Doc.value(QStringLiteral("power"))}});
            });
        }
        if (what == QLatin1String("outputs") && n == 3 && parts[2] == QLatin1String("edid")) {
            if (m != "GET") return notAllowed();
            const int out = PathNumber(parts[1], 1, PortCount, "output");
            return Queue(respond, [core, out] {
                QTemporaryDir dir;
                const QString file = dir.filePath(QStringLiteral("edid.bin"));
                const TCommandResult r = core->Run(
                    QStringLiteral("edid"), {QStringLiteral("read"), QString::number(out), file});
                if (!r.Ok()) return Answer(r);
                QFile f(file);
                THttpResponse response;
                response.ContentType = "application/octet-stream";
                if (f.open(QIODevice::ReadOnly)) response.Body = f.readAll();
                return response;
            });
        }
        if (what == QLatin1String("inputs") && n == 3 && parts[2] == QLatin1String("edid")) {
            if (m != "PUT") return notAllowed();
            const int in = PathNumber(parts[1], 1, PortCount, "input");
            if (!EdidData::ContentOk(request.Body) || request.Body.size() != EdidData::Size)
                throw EBadRequest{QStringLiteral("EDID content error.")};
            const QByteArray edid = request.Body;
            return Queue(respond, [core, in, edid] {
                QTemporaryDir dir;
                const QString file = dir.filePath(QStringLiteral("edid.bin"));
                QFile f(file);
                if (!f.open(QIODevice::WriteOnly) || f.write(edid) != edid.size())
                    return THttpResponse::Error(500, QStringLiteral("Cannot stage the EDID"));
                f.close();
                const TCommandResult r = core->Run(
                    QStringLiteral("edid"), {QStringLiteral("write"), QString::number(in), file});
                if (!r.Ok()) return Answer(r);
                THttpResponse done;
                done.Status = 204;
                return done;
            });
        }
        if (what == QLatin1String("backup") && n == 1) {
            if (m != "GET") return notAllowed();
            return Queue(respond, [core] {
                QByteArray json;
                const TCommandResult r = core->RunWith([&](TCli& cli) {
                    TDeviceBackup backup([&cli](const TCatalogueCommand& c, TCommandReply* reply) {
                        return cli.Run(c, reply);
                    });
                    TDeviceState state;
                    if (!backup.Read(&state)) {
                        if (!backup.Error().isEmpty()) cli.Err(backup.Error());
                        return 1;
                    }
                    json = TDeviceBackup::ToJson(state);
                    cli.Json(QStringLiteral("backup"), QJsonDocument::fromJson(json).object());
                    return 0;
                });
                if (!r.Ok()) return Answer(r);
                return THttpResponse::Json(200, json);
            });
        }
        if (what == QLatin1String("restore") && n == 1) {
            if (m != "POST") return notAllowed();
            const QString dry = request.Query.value(QStringLiteral("dry_run"));
            if (!dry.isEmpty() && dry != QLatin1String("0") && dry != QLatin1String("1"))
                throw EBadRequest{QStringLiteral("dry_run takes 0 or 1")};
            const bool dryRun = dry == QLatin1String("1");
            TDeviceState state;
            QString error;
            if (!TDeviceBackup::FromJson(request.Body, &state, &error)) throw EBadRequest{error};
            return Queue(respond, [core, state, dryRun] {
                const TCommandResult r =
                    core->RunWith([&](TCli& cli) { return RestoreState(cli, state, dryRun); });
                if (r.Ok() && !dryRun) core->RefreshNow();
                return Answer(r);
            });
        }
        if (what == QLatin1String("events") && n == 1)
            return respond(THttpResponse::Error(400, QStringLiteral("Open this with a WebSocket")));
        respond(THttpResponse::Error(404, QStringLiteral("Not found")));
    } catch (const EBadRequest& e) {
        respond(THttpResponse::Error(400, e.Text));
    }
}
