#include "FirmwarePanel.h"

#include "CommandRunner.h"
#include "Prompter.h"
#include "link/FirmwareMerge.h"
#include "link/FirmwareUpgrade.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
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

QLineEdit* VersionEdit(const QString& name)
{
    auto* e = new QLineEdit;
    e->setAccessibleName(name);
    e->setMaxLength(3);
    e->setFixedWidth(40);
    // Digits only: every other key is dropped.
    static const QRegularExpression digits(QStringLiteral("[0-9]*"));
    e->setValidator(new QRegularExpressionValidator(digits, e));
    return e;
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

    BuildMergeGroup();
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
    lblGaugeCaption = new QLabel(QStringLiteral("Upgrade progress"));
    qmgUpgrade = new QProgressBar;
    qmgUpgrade->setRange(0, 100);
    qmgUpgrade->setValue(0);
    qmgUpgrade->setAccessibleName(lblGaugeCaption->text());
    btnUpgrade = new QPushButton(QStringLiteral("&Upgrade"));

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(edtFWFile, 1);
    fileRow->addWidget(btnOpenFWFile);
    auto* fw = new QVBoxLayout(gbFWUpgrade);
    fw->addWidget(new QLabel(QStringLiteral("Open FW file")));
    fw->addLayout(fileRow);
    fw->addSpacing(12);
    fw->addWidget(lblGaugeCaption);
    fw->addWidget(qmgUpgrade);
    fw->addSpacing(12);
    fw->addWidget(btnUpgrade, 0, Qt::AlignRight);
    fw->addStretch();

    connect(btnOpenFWFile, &QPushButton::clicked, this, [this] { btnOpenFWFileClick(); });
    connect(btnUpgrade, &QPushButton::clicked, this, [this] { btnUpgradeClick(); });
}

void TFirmwarePanel::BuildMergeGroup()
{
    gbMergeFW = new QGroupBox(QStringLiteral("Merge FW"), this);
    struct TRowText {
        const char* Label;
        const char* Ver1;
        const char* Ver2;
        int Tag;
    };
    static const TRowText texts[5] = {
        {"Open Main MCU FW", "Main Ver1", "Main Ver2", 1},
        {"Open Slave MCU1 FW", "Slave Ver1", "Slave Ver2", 11},
        {"Open IR MCU2 FW", "IR Ver1", "IR Ver2", 12},
        {"Open Panel MCU3 FW", "Panel Ver1", "Panel Ver2", 13},
        {"Open IDIR MCU4 FW", "IDIR Ver1", "IDIR Ver2", 14},
    };
    auto* grid = new QGridLayout(gbMergeFW);
    for (int i = 0; i < 5; ++i) {
        const TRowText& t = texts[i];
        const QString label = QLatin1String(t.Label);
        auto* path = new QLineEdit;
        path->setAccessibleName(label);
        QPushButton* open = SmallButton(label);
        QLineEdit* v1 = VersionEdit(QLatin1String(t.Ver1));
        QLineEdit* v2 = VersionEdit(QLatin1String(t.Ver2));
        FRows[size_t(i)] = {path, v1, v2, t.Tag};
        grid->addWidget(new QLabel(label), i, 0);
        grid->addWidget(path, i, 1);
        grid->addWidget(open, i, 2);
        grid->addWidget(new QLabel(QLatin1String(t.Ver1)), i, 3);
        grid->addWidget(v1, i, 4);
        grid->addWidget(new QLabel(QLatin1String(t.Ver2)), i, 5);
        grid->addWidget(v2, i, 6);
        const int tag = t.Tag;
        connect(open, &QPushButton::clicked, this, [this, tag] { btnOpenMCUFWClick(tag); });
        if (i == 0)
            btnOpenMainMCUFW = open;
        else
            btnOpenSlaveMCUFW[size_t(i - 1)] = open;
    }
    grid->setColumnStretch(1, 1);
    btnMerge = new QPushButton(QStringLiteral("&Merge"));
    grid->addWidget(btnMerge, 5, 6);
    connect(btnMerge, &QPushButton::clicked, this, [this] { btnMergeClick(); });

    edtMainMCUFW = FRows[0].Path;
    edtSlaveMCU1FW = FRows[1].Path;
    edtSlaveMCU2FW = FRows[2].Path;
    edtSlaveMCU3FW = FRows[3].Path;
    edtSlaveMCU4FW = FRows[4].Path;
    leMainFWVer1 = FRows[0].Ver1;
    leMainFWVer2 = FRows[0].Ver2;
    leSlave1FWVer1 = FRows[1].Ver1;
    leSlave1FWVer2 = FRows[1].Ver2;
    leSlave2FWVer1 = FRows[2].Ver1;
    leSlave2FWVer2 = FRows[2].Ver2;
    leSlave3FWVer1 = FRows[3].Ver1;
    leSlave3FWVer2 = FRows[3].Ver2;
    leSlave4FWVer1 = FRows[4].Ver1;
    leSlave4FWVer2 = FRows[4].Ver2;
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
    lblGaugeCaption->setText(caption);
    qmgUpgrade->setAccessibleName(caption);
    qmgUpgrade->setValue(qBound(qmgUpgrade->minimum(), progress, qmgUpgrade->maximum()));
    qmgUpgrade->repaint();
}

QString TFirmwarePanel::GaugeCaption() const
{
    return lblGaugeCaption->text();
}
int TFirmwarePanel::GaugeProgress() const
{
    return qmgUpgrade->value();
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

void TFirmwarePanel::btnOpenMCUFWClick(int tag)
{
    for (const TMergeRowEdits& row : FRows) {
        if (row.Tag != tag) continue;
        const QString path =
            FRunner->Prompter()->OpenFile(QStringLiteral("Open FW binary file"), DialogFolder(),
                                          QStringLiteral("FW binary file(*.bin)"));
        if (!path.isEmpty()) ShowPath(row.Path, path);
        return;
    }
}

void TFirmwarePanel::btnMergeClick()
{
    TFirmwareMerge merge;
    for (size_t i = 0; i < FRows.size(); ++i)
        merge.Inputs[i] = {FRows[i].Path->text(), FRows[i].Ver1->text(), FRows[i].Ver2->text()};
    merge.LastFolder = LastFirmwareFolder;
    merge.Memo = [this](const QString& line) { AppendMessage(line); };
    merge.ConfirmOverwrite = [this](const QString& question) {
        return FRunner->Prompter()->Confirm(question);
    };
    merge.Run();
    // What the merge normalised shows in the rows afterwards.
    for (size_t i = 0; i < FRows.size(); ++i) {
        FRows[i].Path->setText(merge.Inputs[i].Path);
        FRows[i].Ver1->setText(merge.Inputs[i].Ver1);
        FRows[i].Ver2->setText(merge.Inputs[i].Ver2);
    }
    LastFirmwareFolder = merge.LastFolder;
}
