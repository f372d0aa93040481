#include "TrafficWindow.h"

#include "Prompter.h"
#include "link/Traffic.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

TTrafficWindow::TTrafficWindow(TQMCOMControl* link, TPrompter* prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), FPrompter(prompter), FRecorder(new TTrafficRecorder(link, this))
{
    setWindowTitle(QStringLiteral("Traffic"));
    resize(900, 500);
    connect(FRecorder, &TTrafficRecorder::Line, this, &TTrafficWindow::AddLine);
}

void TTrafficWindow::setVisible(bool visible)
{
    if (visible) Build();
    QWidget::setVisible(visible);
}

// Most sessions never open the view: its controls are made the first time it
// is shown, the lines are kept from the start.
void TTrafficWindow::Build()
{
    if (mmoTraffic) return;
    mmoTraffic = new QPlainTextEdit;
    mmoTraffic->setReadOnly(true);
    mmoTraffic->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmoTraffic->setMaximumBlockCount(MaxLines);
    mmoTraffic->setFont(QFont(QStringLiteral("monospace")));
    mmoTraffic->setAccessibleName(QStringLiteral("Traffic lines"));
    edtFilter = new QLineEdit;
    edtFilter->setPlaceholderText(QStringLiteral("Filter"));
    edtFilter->setAccessibleName(QStringLiteral("Filter"));
    edtFilter->setClearButtonEnabled(true);
    btnPause = new QPushButton(QStringLiteral("&Pause"));
    btnPause->setCheckable(true);
    btnClear = new QPushButton(QStringLiteral("&Clear"));
    btnSave = new QPushButton(QStringLiteral("&Save ..."));
    lblCount = new QLabel;
    lblCount->setAccessibleName(QStringLiteral("Line count"));

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Filter:")));
    bar->addWidget(edtFilter, 1);
    bar->addWidget(btnPause);
    bar->addWidget(btnClear);
    bar->addWidget(btnSave);
    bar->addWidget(lblCount);
    auto* box = new QVBoxLayout(this);
    box->addLayout(bar);
    box->addWidget(mmoTraffic, 1);

    connect(edtFilter, &QLineEdit::textChanged, this, [this] { Rebuild(); });
    connect(btnPause, &QPushButton::toggled, this, [this](bool paused) {
        btnPause->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
        if (!paused) Rebuild();
    });
    connect(btnClear, &QPushButton::clicked, this, [this] {
        FLines.clear();
        Rebuild();
    });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    UpdateCount();
}

void TTrafficWindow::AddLine(const QString& line)
{
    FLines.push_back(line);
    if (FLines.size() > size_t(MaxLines)) FLines.pop_front();
    // A hidden or paused view catches up when it is shown or resumed.
    if (!isVisible() || btnPause->isChecked()) return;
    if (Matches(line)) mmoTraffic->appendPlainText(line);
    UpdateCount();
}

QStringList TTrafficWindow::Lines() const
{
    return QStringList(FLines.begin(), FLines.end());
}

QStringList TTrafficWindow::ShownLines() const
{
    if (!mmoTraffic) return {};
    const QString text = mmoTraffic->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TTrafficWindow::ShowWindow()
{
    show();
    raise();
    activateWindow();
}

bool TTrafficWindow::Matches(const QString& line) const
{
    const QString filter = edtFilter ? edtFilter->text().trimmed() : QString();
    return filter.isEmpty() || line.contains(filter, Qt::CaseInsensitive);
}

void TTrafficWindow::Rebuild()
{
    QStringList shown;
    for (const QString& line : FLines)
        if (Matches(line)) shown << line;
    mmoTraffic->setPlainText(shown.join(QLatin1Char('\n')));
    mmoTraffic->moveCursor(QTextCursor::End);
    UpdateCount();
}

void TTrafficWindow::UpdateCount()
{
    lblCount->setText(QStringLiteral("%1 lines").arg(FLines.size()));
}

void TTrafficWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Rebuild();
}

void TTrafficWindow::btnSaveClick()
{
    const QString path = FPrompter->SaveFile(QStringLiteral("Save traffic"), FLastFolder,
                                             QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) return;
    FLastFolder = QFileInfo(path).absolutePath();
    // What the view shows, filter applied; a paused view is saved as kept.
    QByteArray text;
    for (const QString& line : FLines)
        if (Matches(line)) text += line.toUtf8() + '\n';
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit())
        FPrompter->Error(QStringLiteral("Cannot write %1: %2").arg(path, f.errorString()));
}
