// matrix-screenshots-tabs: builds the controller's windows on a program folder,
// connects to a matrix on 127.0.0.1:PORT, visits every tab and saves each as
// OUT/<tab>.png with Qt's own window grab. Used by scripts/screenshots and
// scripts/demo.
#include "link/QMCOMControl.h"
#include "ui/main/AppWindows.h"
#include "ui/main/DeviceStatusPanel.h"
#include "ui/main/Prompter.h"
#include "ui/main/TabContainer.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace
{
// No one is there to answer: every prompt is printed and declined.
class TLogPrompter : public TPrompter
{
public:
    void Information(const QString& t) override { Print("information", t); }
    void Error(const QString& t) override { Print("error", t); }
    bool Confirm(const QString& t) override
    {
        Print("confirm", t);
        return false;
    }
    QString OpenFile(const QString&, const QString&, const QString&) override { return {}; }
    QString SaveFile(const QString&, const QString&, const QString&) override { return {}; }
    int ShowModal(QDialog*) override { return 0; }

private:
    static void Print(const char* kind, const QString& t)
    {
        std::fprintf(stderr, "screenshots: %s: %s\n", kind, qPrintable(t));
    }
};

void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("folder"), QStringLiteral("Program folder with Settings.ini."),
                 QStringLiteral("DIR")});
    p.addOption({QStringLiteral("port"), QStringLiteral("TCP port of the matrix."),
                 QStringLiteral("PORT"), QStringLiteral("8000")});
    p.addOption({QStringLiteral("out"), QStringLiteral("Folder of the pictures."),
                 QStringLiteral("DIR"), QStringLiteral("docs")});
    p.addOption({QStringLiteral("only"), QStringLiteral("Only this tab (file name)."),
                 QStringLiteral("NAME")});
    p.process(app);

    TLogPrompter prompter;
    TForm1Options o;
    o.SettingsFolder = p.value(QStringLiteral("folder"));
    o.Prompter = &prompter;
    std::unique_ptr<TForm1> form = CreateApplicationWindows(o);
    if (form->Terminated()) return 1;
    form->Link()->SetDevicePort(quint16(p.value(QStringLiteral("port")).toUInt()));
    form->show();
    Settle(300);
    // Power state and device status, as the operator's first click.
    form->DeviceStatus()->btnGetDevStatus->click();
    Settle(300);

    const QString out = p.value(QStringLiteral("out"));
    QDir().mkpath(out);
    const QString only = p.value(QStringLiteral("only"));
    TTabContainer* tabs = form->Container();
    int saved = 0;
    for (int i = 0; i < tabs->count(); ++i) {
        const QString name = tabs->tabText(i).toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
        if (!only.isEmpty() && name != only) continue;
        tabs->setCurrentIndex(i);
        Settle(400);
        const QString file = QDir(out).filePath(name + QStringLiteral(".png"));
        if (!form->grab().save(file)) {
            std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
        ++saved;
    }
    form->close();
    return saved ? 0 : 1;
}
