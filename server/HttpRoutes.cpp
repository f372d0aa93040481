// The routes under /api/v1: checked here, run on the core's queue with the
// shared operations, answered with matrixctl's documents.
#include "HttpApi.h"
#include "OpsJson.h"
#include "ServerCore.h"
#include "link/DeviceBackup.h"
#include "link/EdidData.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

namespace
{
struct EBadRequest {
    QString Text;
};

QByteArray Compact(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

int StatusOf(TOpError kind)
{
    switch (kind) {
    case oeNone:
        return 200;
    case oeBadInput:
        return 400;
    case oePowerOff:
    case oeRefused:
        return 409;
    case oeLinkFailed:
        return 502;
    case oeTimeOut:
        return 504;
    }
    return 500;
}

THttpResponse Answer(const TOpStatus& st, const QJsonObject& ok = {})
{
    if (!st.Ok()) return THttpResponse::Error(StatusOf(st.Kind), st.Text());
    return THttpResponse::Json(200, Compact(ok));
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
        return ParseNumber(text, uint32_t(min), uint32_t(max), what);
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
    QJsonArray list = OpsJson::Presets(*presets);
    for (int n = 0; n < list.size(); ++n) {
        QJsonObject o = list[n].toObject();
        o.insert(QStringLiteral("outputs"), PresetOutputs((*presets)[size_t(n)]));
        list[n] = o;
    }
    return list;
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
            return Queue(respond, [core] {
                TDeviceStatus s;
                const TOpStatus st = core->Status(&s);
                return Answer(st, OpsJson::Status(s));
            });
        }
        if (what == QLatin1String("routing") && n == 1) {
            if (m == "GET")
                return Queue(respond, [core] {
                    TRouting r;
                    const TOpStatus st = core->Routing(&r);
                    return Answer(st, OpsJson::Routing(r));
                });
            if (m != "PUT") return notAllowed();
            const QJsonObject body = JsonBody(request);
            if (body.isEmpty()) throw EBadRequest{QStringLiteral("Name at least one output")};
            QMap<int, int> routes; // ascending outputs
            for (auto it = body.begin(); it != body.end(); ++it)
                routes.insert(PathNumber(it.key(), 1, PortCount, "output"),
                              Number(it.value(), 1, PortCount, QStringLiteral("input")));
            return Queue(respond, [core, routes] {
                QList<int> applied;
                TRouting r;
                const TOpStatus st = core->RouteSeveral(routes, &applied, &r);
                if (!st.Ok()) {
                    QJsonArray outputs;
                    for (int o : applied)
                        outputs.append(o);
                    return THttpResponse::Json(StatusOf(st.Kind),
                                               Compact({{QStringLiteral("error"), st.Text()},
                                                        {QStringLiteral("applied"), outputs}}));
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
                TRouting r;
                const TOpStatus st = core->Route(in, out, &r);
                return Answer(st, {{QStringLiteral("routing"), core->RoutingJson()}});
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
                TPresetApplied p;
                const TOpStatus st = core->ApplyPreset(row, &p);
                return Answer(st, OpsJson::PresetApplied(p));
            });
        }
        if (what == QLatin1String("tags") && n == 1) {
            if (m != "GET") return notAllowed();
            return respond(THttpResponse::Json(200, Compact(core->TagsJson())));
        }
        if (what == QLatin1String("audio") && n <= 2) {
            if (n == 1) {
                if (m != "GET") return notAllowed();
                return Queue(respond, [core] {
                    TAudio a;
                    const TOpStatus st = core->Audio(0, 0, &a);
                    return Answer(st, OpsJson::Audio(a));
                });
            }
            if (m != "PUT") return notAllowed();
            const int in = PathNumber(parts[1], 1, PortCount, "input");
            const int source = Number(JsonBody(request).value(QStringLiteral("source")), 1, 3,
                                      QStringLiteral("source"));
            return Queue(respond, [core, in, source] {
                TAudio a;
                const TOpStatus st = core->Audio(in, source, &a);
                return Answer(st, OpsJson::Audio(a));
            });
        }
        if (what == QLatin1String("switches") && n <= 2) {
            int named = -1;
            bool on = false;
            if (n == 1) {
                if (m != "GET") return notAllowed();
            } else {
                if (m != "PUT") return notAllowed();
                for (int s = 0; s < SwitchCount; ++s)
                    if (parts[1] == QLatin1String(SwitchNames[s])) named = s;
                if (named < 0)
                    throw EBadRequest{
                        QStringLiteral("bad switch '%1' (want ir, keys, apm or beeper)")
                            .arg(parts[1])};
                on = Bool(JsonBody(request), "on");
            }
            return Queue(respond, [core, named, on] {
                // The one named is set first; the others are read after it.
                TOpStatus st;
                bool now = false;
                if (named >= 0) st = core->Switch(TSwitch(named), on ? 1 : 0, &now);
                for (int s = 0; s < SwitchCount && st.Ok(); ++s)
                    if (s != named) st = core->Switch(TSwitch(s), -1, &now);
                return Answer(st, core->SwitchesJson());
            });
        }
        if (what == QLatin1String("power") && n == 1) {
            int set = -1;
            if (m == "PUT")
                set = Bool(JsonBody(request), "on") ? 1 : 0;
            else if (m != "GET")
                return notAllowed();
            return Queue(respond, [core, set] {
                int power = -1;
                const TOpStatus st = core->Power(set, &power);
                return Answer(st, {{QStringLiteral("on"), power == 1}});
            });
        }
        if (what == QLatin1String("outputs") && n == 3 && parts[2] == QLatin1String("edid")) {
            if (m != "GET") return notAllowed();
            const int out = PathNumber(parts[1], 1, PortCount, "output");
            return Queue(respond, [core, out] {
                TEdidRead e;
                const TOpStatus st = core->EdidRead(out, &e);
                if (!st.Ok()) return Answer(st);
                THttpResponse response;
                response.ContentType = "application/octet-stream";
                response.Body = e.Edid;
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
                const TOpStatus st =
                    core->EdidWrite(Cmd::EdidWrite.Packet(uint16_t(0xF000 + in)), edid);
                if (!st.Ok()) return Answer(st);
                THttpResponse done;
                done.Status = 204;
                return done;
            });
        }
        if (what == QLatin1String("backup") && n == 1) {
            if (m != "GET") return notAllowed();
            return Queue(respond, [core] {
                TDeviceState state;
                const TOpStatus st = core->Backup(&state);
                if (!st.Ok()) return Answer(st);
                return THttpResponse::Json(200, TDeviceBackup::ToJson(state));
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
                TRestoreResult result;
                const TOpStatus st = core->Restore(state, dryRun, &result);
                if (st.Ok() && !dryRun) core->RefreshNow();
                return Answer(st, OpsJson::Restore(result));
            });
        }
        if (what == QLatin1String("events") && n == 1)
            return respond(THttpResponse::Error(400, QStringLiteral("Open this with a WebSocket")));
        respond(THttpResponse::Error(404, QStringLiteral("Not found")));
    } catch (const EBadRequest& e) {
        respond(THttpResponse::Error(400, e.Text));
    }
}
