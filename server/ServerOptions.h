#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

// The command line of matrix-server, parsed in one place. Front ends beside
// HTTP add their own options with TServerCommandLine::AddOption; their values
// land in TServerOptions::Extra under the option name.
struct TServerOptions {
    QString Tcp;    // --tcp HOST[:PORT]
    QString Serial; // --serial DEVICE
    QString ListenAddress = QStringLiteral("127.0.0.1");
    quint16 ListenPort = 8080;
    bool ListenNone = false; // --listen none: no HTTP front
    QString TokenFile;
    QString SettingsPath; // empty: the window's file for this user
    int RefreshS = 10;    // 0: never
    int TimeoutMs = -1;   // -1: the link's default
    QString TlsCert;
    QString TlsKey;
    QStringList AllowHosts;       // --allow-host NAME, repeatable; "*.NAME" for the names under it
    int MaxPerAddress = 64;       // --max-per-address N
    QMap<QString, QString> Extra; // "--mqtt" -> value ("1" for a flag)
};

class TServerCommandLine
{
public:
    TServerCommandLine();
    // One more option; `check` (if given) sees the parsed options and throws
    // EUsage when they do not fit together.
    void AddOption(const QString& name, bool takesValue, const QString& usage);
    void AddCheck(std::function<void(const TServerOptions&)> check);
    // Throws EUsage; `help` is set for --help.
    TServerOptions Parse(const QStringList& args, bool* help = nullptr) const;
    QString Usage() const;

private:
    struct TExtra {
        QString Name;
        bool TakesValue;
        QString Usage;
    };
    QList<TExtra> FExtra;
    QList<std::function<void(const TServerOptions&)>> FChecks;
};
