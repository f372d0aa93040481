#include "DeviceBackup.h"

#include "BoundedFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <cmath>

bool TDeviceState::operator==(const TDeviceState& o) const
{
    return Power == o.Power && Device == o.Device && Version == o.Version && Routing == o.Routing &&
           Audio == o.Audio && Ir == o.Ir && Keys == o.Keys && Apm == o.Apm && Beeper == o.Beeper;
}

namespace
{
constexpr int AudioSources = 3;

QString OnOff(bool on)
{
    return on ? QStringLiteral("ON") : QStringLiteral("OFF");
}

bool IsWhole(const QJsonValue& v, int* out)
{
    if (!v.isDouble()) return false;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < -1e9 || d > 1e9) return false;
    *out = int(d);
    return true;
}

QString ValueText(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Double:
        return QString::number(v.toDouble());
    case QJsonValue::String:
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    case QJsonValue::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    default:
        return QStringLiteral("a list or object");
    }
}

// A map "1".."PortCount" -> whole number in lo..hi.
QString ReadPortMap(const QJsonObject& doc, const char* key, const char* what, int lo, int hi,
                    std::array<int, PortCount>* values)
{
    const QJsonValue v = doc.value(QLatin1String(key));
    if (!v.isObject())
        return QStringLiteral("\"%1\" is missing or not an object").arg(QLatin1String(key));
    const QJsonObject map = v.toObject();
    for (auto it = map.begin(); it != map.end(); ++it) {
        bool isNumber = false;
        const int n = it.key().toInt(&isNumber);
        if (!isNumber || n < 1 || n > PortCount || it.key() != QString::number(n))
            return QStringLiteral("\"%1\" has \"%2\", which is not a port 1..%3")
                .arg(QLatin1String(key), it.key())
                .arg(PortCount);
    }
    for (int n = 1; n <= PortCount; ++n) {
        const QJsonValue value = map.value(QString::number(n));
        int x = 0;
        if (value.isUndefined())
            return QStringLiteral("\"%1\" has no entry for %2 %3")
                .arg(QLatin1String(key), QLatin1String(what))
                .arg(n);
        if (!IsWhole(value, &x) || x < lo || x > hi)
            return QStringLiteral("\"%1\": %2 %3 has %4, want a number %5..%6")
                .arg(QLatin1String(key), QLatin1String(what))
                .arg(n)
                .arg(ValueText(value))
                .arg(lo)
                .arg(hi);
        (*values)[size_t(n - 1)] = x;
    }
    return QString();
}

QJsonObject PortMap(const std::array<int, PortCount>& values)
{
    QJsonObject o;
    for (int n = 1; n <= PortCount; ++n)
        o.insert(QString::number(n), values[size_t(n - 1)]);
    return o;
}
} // namespace

int TDeviceBackup::QueryPower()
{
    if (PowerState) return PowerState();
    TCommandReply r;
    if (!FRun(Catalogue::PowerStatus(), &r)) return -1;
    return Catalogue::PowerIsOn(r) ? 1 : 0;
}

bool TDeviceBackup::Read(TDeviceState* state)
{
    FError.clear();
    TDeviceState s;
    const int power = QueryPower();
    if (power < 0) return false;
    if (power == 0) {
        FError = QLatin1String(PowerOffText);
        return false;
    }
    s.Power = true;
    TCommandReply r;
    if (!FRun(Catalogue::DeviceSize(), &r)) return false;
    s.Device = QStringLiteral("%1x%2").arg(r.P1Lo()).arg(r.P2Lo());
    if (!FRun(Catalogue::Version(), &r)) return false;
    s.Version = QStringLiteral("%1.%2").arg(r.P1Lo()).arg(int(r.P2Lo()), 2, 10, QLatin1Char('0'));
    for (int out = 1; out <= PortCount; ++out) {
        if (!FRun(Catalogue::RouteQuery(out), &r)) return false;
        s.Routing[size_t(out - 1)] = r.P2Lo();
    }
    for (int in = 1; in <= PortCount; ++in) {
        if (!FRun(Catalogue::AudioQuery(in), &r)) return false;
        s.Audio[size_t(in - 1)] = r.P2Lo();
    }
    const std::pair<TCatalogueCommand, bool*> switches[] = {{Catalogue::IrQuery(), &s.Ir},
                                                            {Catalogue::KeysQuery(), &s.Keys},
                                                            {Catalogue::ApmQuery(), &s.Apm},
                                                            {Catalogue::BeeperQuery(), &s.Beeper}};
    for (const auto& sw : switches) {
        if (!FRun(sw.first, &r)) return false;
        *sw.second = Catalogue::SwitchIsOn(r);
    }
    // A file we write must be one we can restore.
    const QString problem = Check(s);
    if (!problem.isEmpty()) {
        FError = QStringLiteral("The matrix reported a value the backup cannot hold: ") + problem;
        return false;
    }
    *state = s;
    return true;
}

QList<TRestoreStep> TDeviceBackup::RestoreSteps(const TDeviceState& s)
{
    QList<TRestoreStep> steps;
    steps << TRestoreStep{Catalogue::IrSet(s.Ir), QStringLiteral("IR control: ") + OnOff(s.Ir)};
    steps << TRestoreStep{Catalogue::KeysSet(s.Keys),
                          QStringLiteral("Keys on panel: ") + OnOff(s.Keys)};
    steps << TRestoreStep{Catalogue::ApmSet(s.Apm), QStringLiteral("APM: ") + OnOff(s.Apm)};
    steps << TRestoreStep{Catalogue::BeeperSet(s.Beeper),
                          QStringLiteral("Beeper: ") + OnOff(s.Beeper)};
    for (int in = 1; in <= PortCount; ++in) {
        const int source = s.Audio[size_t(in - 1)];
        steps << TRestoreStep{
            Catalogue::AudioSet(in, source),
            QStringLiteral("Input%1 audio: %2").arg(in).arg(Catalogue::AudioSourceName(source))};
    }
    for (int out = 1; out <= PortCount; ++out) {
        const int in = s.Routing[size_t(out - 1)];
        steps << TRestoreStep{Catalogue::RouteSet(in, out),
                              QStringLiteral("Output%1: Input%2").arg(out).arg(in)};
    }
    return steps;
}

bool TDeviceBackup::Restore(const TDeviceState& state,
                            const std::function<void(const TRestoreStep&)>& done)
{
    FError = Check(state);
    if (!FError.isEmpty()) return false;
    const int power = QueryPower();
    if (power < 0) return false;
    if (power == 0) {
        FError = QLatin1String(PowerOffText);
        return false;
    }
    for (const TRestoreStep& step : RestoreSteps(state)) {
        TCommandReply r;
        if (!FRun(step.Command, &r)) return false;
        if (done) done(step);
    }
    return true;
}

QString TDeviceBackup::Check(const TDeviceState& s)
{
    static const QRegularExpression device(QStringLiteral("^[0-9]{1,3}x[0-9]{1,3}$"));
    if (!device.match(s.Device).hasMatch())
        return QStringLiteral("\"device\" is \"%1\", want inputs x outputs like \"4x4\"")
            .arg(s.Device);
    for (int n = 1; n <= PortCount; ++n) {
        const int in = s.Routing[size_t(n - 1)];
        if (in < 1 || in > PortCount)
            return QStringLiteral("\"routing\": output %1 has %2, want a number 1..%3")
                .arg(n)
                .arg(in)
                .arg(PortCount);
        const int a = s.Audio[size_t(n - 1)];
        if (a < 1 || a > AudioSources)
            return QStringLiteral("\"audio\": input %1 has %2, want a number 1..%3")
                .arg(n)
                .arg(a)
                .arg(AudioSources);
    }
    return QString();
}

QByteArray TDeviceBackup::ToJson(const TDeviceState& s, const QDateTime& created)
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), QLatin1String(Format));
    o.insert(QStringLiteral("formatVersion"), FormatVersion);
    o.insert(QStringLiteral("created"), created.toUTC().toString(Qt::ISODate));
    o.insert(QStringLiteral("device"), s.Device);
    o.insert(QStringLiteral("version"), s.Version);
    o.insert(QStringLiteral("power"), s.Power);
    o.insert(QStringLiteral("routing"), PortMap(s.Routing));
    o.insert(QStringLiteral("audio"), PortMap(s.Audio));
    o.insert(QStringLiteral("switches"), QJsonObject{{QStringLiteral("ir"), s.Ir},
                                                     {QStringLiteral("keys"), s.Keys},
                                                     {QStringLiteral("apm"), s.Apm},
                                                     {QStringLiteral("beeper"), s.Beeper}});
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool TDeviceBackup::FromJson(const QByteArray& bytes, TDeviceState* state, QString* error)
{
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("Bad backup file: ") + why;
        return false;
    };
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not a whole JSON document (%1 at byte %2)")
                        .arg(parse.errorString())
                        .arg(parse.offset));
    if (!doc.isObject()) return fail(QStringLiteral("not a JSON object"));
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")).toString() != QLatin1String(Format))
        return fail(QStringLiteral("\"format\" is not \"%1\"").arg(QLatin1String(Format)));
    int version = 0;
    if (!IsWhole(o.value(QStringLiteral("formatVersion")), &version))
        return fail(QStringLiteral("\"formatVersion\" is missing or not a number"));
    if (version != FormatVersion)
        return fail(QStringLiteral("format version %1; this program reads version %2")
                        .arg(version)
                        .arg(FormatVersion));
    TDeviceState s;
    const QJsonValue device = o.value(QStringLiteral("device"));
    const QJsonValue fw = o.value(QStringLiteral("version"));
    const QJsonValue power = o.value(QStringLiteral("power"));
    if (!device.isString()) return fail(QStringLiteral("\"device\" is missing or not a text"));
    if (!fw.isString()) return fail(QStringLiteral("\"version\" is missing or not a text"));
    if (!power.isBool()) return fail(QStringLiteral("\"power\" is missing or not true/false"));
    s.Device = device.toString();
    s.Version = fw.toString();
    s.Power = power.toBool();
    QString why = ReadPortMap(o, "routing", "output", 1, PortCount, &s.Routing);
    if (why.isEmpty()) why = ReadPortMap(o, "audio", "input", 1, AudioSources, &s.Audio);
    if (!why.isEmpty()) return fail(why);
    const QJsonValue sw = o.value(QStringLiteral("switches"));
    if (!sw.isObject()) return fail(QStringLiteral("\"switches\" is missing or not an object"));
    const std::pair<const char*, bool*> switches[] = {
        {"ir", &s.Ir}, {"keys", &s.Keys}, {"apm", &s.Apm}, {"beeper", &s.Beeper}};
    for (const auto& w : switches) {
        const QJsonValue v = sw.toObject().value(QLatin1String(w.first));
        if (!v.isBool())
            return fail(QStringLiteral("\"switches\": \"%1\" is missing or not true/false")
                            .arg(QLatin1String(w.first)));
        *w.second = v.toBool();
    }
    why = Check(s);
    if (!why.isEmpty()) return fail(why);
    *state = s;
    return true;
}

bool TDeviceBackup::Save(const QString& path, const TDeviceState& state, QString* error)
{
    const QByteArray bytes = ToJson(state);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        *error = QStringLiteral("Cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool TDeviceBackup::Load(const QString& path, TDeviceState* state, QString* error)
{
    QByteArray bytes;
    QString why;
    if (BoundedFile::Read(path, MaxFileSize, &bytes, &why) != BoundedFile::brOk) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, why);
        return false;
    }
    return FromJson(bytes, state, error);
}
