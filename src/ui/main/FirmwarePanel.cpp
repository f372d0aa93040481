#include "FirmwarePanel.h"

#include "CommandRunner.h"
#include "Prompter.h"
#include "link/FirmwareUpgrade.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include "widgets/QMGauge.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

namespace
{
QPushButton* SmallButton(const QString& name)
{
    auto* b = new QPushButton(QStringLiteral("..."));
    b->setFixedWidth(28);
    b->setAccessibleName(name);
    b->setToolTip(name);
    return b;
}

void ShowPath(QLineEdit* edit, const QString& path)
{
    edit->setText(path);
    edit->setCursorPosition(int(path.size()));
}

} // namespace

TFirmwarePanel::TFirmwarePanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
    BuildUpgradeGroup();

    gbMessages = new QGroupBox(QStringLiteral("Messages"));
    mmoMessage = new QPlainTextEdit;
    mmoMessage->setAccessibleName(QStringLiteral("Messages"));
    mmoMessage->setReadOnly(true);
    mmoMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmoMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmoMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    btnClearMessages = new QPushButton(QStringLiteral("&Clear"));
    auto* msg = new QVBoxLayout(gbMessages);
    msg->addWidget(mmoMessage, 1);
    msg->addWidget(btnClearMessages, 0, Qt::AlignRight);

    gbMergeFW = new TFirmwareMergeGroup(
        runner->Prompter(), &LastFirmwareFolder,
        [this](const QString& line) { AppendMessage(line); }, this);
    gbMergeFW->setEnabled(false);
    gbMergeFW->hide();

    auto* row = new QHBoxLayout(this);
    row->addWidget(gbFWUpgrade, 1);
    row->addWidget(gbMessages, 1);

    connect(btnClearMessages, &QPushButton::clicked, this, [this] { Button1Click(); });

    FUpgrade = new TFirmwareUpgrade(runner->Link(), runner->Flags(), this);
    // The window routes every notification; it hands 2034, 2035 and 2038 over.
    FUpgrade->ObserveNotify = false;
    TFirmwareUpgrade::THooks& h = FUpgrade->Hooks;
    h.Memo = [this](const QString& line) { AppendMessage(line); };
    h.RebootText = [this](const QString& text, bool waiting) {
        if (waiting)
            ReplaceRebootLine(text);
        else
            AppendMessage(text);
    };
    h.Status = [this](int panel, const QString& text, bool blink) {
        FRunner->ShowStatus(panel, text, blink);
    };
    h.Gauge = [this](const QString& caption, int position) { SetGauge(caption, position); };
    h.Running = [this](bool running) {
        btnUpgrade->setEnabled(!running);
        mmoMessage->setCursorWidth(running ? 0 : 1);
    };
    h.Connect = [this] { return FRunner->EnsureConnected(); };
    h.RunCommand = [this](const QString& statusText, const TCommandPacket& p,
                          TCommandReply& reply) {
        reply = FRunner->RunCommand(statusText, p.Group, p.Code, p.P1, p.P2, p.P3, p.P4);
    };
}

void TFirmwarePanel::BuildUpgradeGroup()
{
    gbFWUpgrade = new QGroupBox(QStringLiteral("FW upgrade"));
    edtFWFile = new QLineEdit;
    edtFWFile->setAccessibleName(QStringLiteral("Open FW file"));
    btnOpenFWFile = SmallButton(QStringLiteral("Open FW file"));
    qmgUpgrade = new TQMGauge;
    qmgUpgrade->setFixedSize(361, 24);
    qmgUpgrade->SetCaption(QStringLiteral("Upgrade progress"));
    qmgUpgrade->SetFrame3DTopColor(palette().color(QPalette::Shadow));
    qmgUpgrade->SetFrame3DBottomColor(Qt::white);
    qmgUpgrade->RangeMessage = [this](const QString& text) { FRunner->Prompter()->Error(text); };
    btnUpgrade = new QPushButton(QStringLiteral("&Upgrade"));

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(edtFWFile, 1);
    fileRow->addWidget(btnOpenFWFile);
    auto* fw = new QVBoxLayout(gbFWUpgrade);
    fw->addWidget(new QLabel(QStringLiteral("Open FW file")));
    fw->addLayout(fileRow);
    fw->addSpacing(12);
    fw->addWidget(qmgUpgrade);
    fw->addSpacing(12);
    fw->addWidget(btnUpgrade, 0, Qt::AlignRight);
    fw->addStretch();

    connect(btnOpenFWFile, &QPushButton::clicked, this, [this] { btnOpenFWFileClick(); });
    connect(btnUpgrade, &QPushButton::clicked, this, [this] { btnUpgradeClick(); });
}

void TFirmwarePanel::AppendMessage(const QString& line)
{
    mmoMessage->appendPlainText(line);
}

void TFirmwarePanel::ReplaceRebootLine(const QString& line)
{
    // The spinner rewrites the line in place; the caret would only flicker.
    mmoMessage->setCursorWidth(0);
    QTextDocument* doc = mmoMessage->document();
    const QTextBlock last = doc->lastBlock();
    if (!last.text().contains(QLatin1String("System rebooting"))) {
        AppendMessage(line);
        return;
    }
    QTextCursor c(last);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(line);
    mmoMessage->viewport()->update();
}

void TFirmwarePanel::Button1Click()
{
    mmoMessage->clear();
}

QStringList TFirmwarePanel::MessageLines() const
{
    const QString text = mmoMessage->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TFirmwarePanel::SetGauge(const QString& caption, int progress)
{
    qmgUpgrade->SetCaption(caption);
    qmgUpgrade->SetProgress(qBound(qmgUpgrade->MinValue(), progress, qmgUpgrade->MaxValue()));
    qmgUpgrade->repaint();
    emit GaugeSet(caption, progress);
}

QString TFirmwarePanel::GaugeCaption() const
{
    return qmgUpgrade->Caption();
}
int TFirmwarePanel::GaugeProgress() const
{
    return qmgUpgrade->Progress();
}

void TFirmwarePanel::OnFirmwareNotify(int code, qintptr wParam, qintptr lParam, const QString& text)
{
    FUpgrade->HandleNotification(code, wParam, lParam, text);
}

bool TFirmwarePanel::FirmwareWriteFailure() const
{
    return FUpgrade->WriteFailure();
}

int TFirmwarePanel::LastUpgradeProgress() const
{
    return FUpgrade->LastProgress();
}

QString TFirmwarePanel::DialogFolder() const
{
    return LastFirmwareFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                        : LastFirmwareFolder;
}

void TFirmwarePanel::btnOpenFWFileClick()
{
    const QString path = FRunner->Prompter()->OpenFile(
        QStringLiteral("Open FW file"), DialogFolder(), QStringLiteral("Firmware file(*.fw)"));
    if (path.isEmpty()) return;
    ShowPath(edtFWFile, path);
    LastFirmwareFolder = QFileInfo(path).absolutePath() + QLatin1Char('/');
}

void TFirmwarePanel::btnUpgradeClick()
{
    if (FUpgrade->IsRunning()) return;
    FUpgrade->Run(edtFWFile->text());
}
