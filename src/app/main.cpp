// matrix-controller: the desktop controller of the 4x4 HDMI matrix.
#include "ui/main/AppWindows.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("matrix-controller"));
    std::unique_ptr<TForm1> form = CreateApplicationWindows();
    if (form->Terminated()) return 0;
    form->show();
    return app.exec();
}
