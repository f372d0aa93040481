#include "FirmwarePanel.h"

#include "CommandRunner.h"
#include "Prompter.h"
#include "widgets/QMGauge.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

TFirmwarePanel::TFirmwarePanel(TCommandRunner* runner, QWidget* parent)
    : QWidget(parent), FRunner(runner)
{
    gbFWUpgrade = new QGroupBox(QStringLiteral("FW upgrade"));
    qmgUpgrade = new TQMGauge;
    qmgUpgrade->setFixedSize(361, 24);
    qmgUpgrade->SetCaption(QStringLiteral("Upgrade progress"));
    qmgUpgrade->SetFrame3DTopColor(palette().color(QPalette::Shadow));
    qmgUpgrade->SetFrame3DBottomColor(Qt::white);
    qmgUpgrade->RangeMessage = [this](const QString& text) { FRunner->Prompter()->Error(text); };
    auto* fw = new QVBoxLayout(gbFWUpgrade);
    fw->addWidget(qmgUpgrade);
    fw->addStretch();

    gbMessages = new QGroupBox(QStringLiteral("Messages"));
    mmoMessage = new QPlainTextEdit;
    mmoMessage->setReadOnly(true);
    mmoMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    mmoMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmoMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    btnClearMessages = new QPushButton(QStringLiteral("&Clear"));
    auto* msg = new QVBoxLayout(gbMessages);
    msg->addWidget(mmoMessage, 1);
    msg->addWidget(btnClearMessages, 0, Qt::AlignRight);

    gbMergeFW = new QGroupBox(QStringLiteral("Merge FW"), this);
    gbMergeFW->setEnabled(false);
    gbMergeFW->hide();

    auto* row = new QHBoxLayout(this);
    row->addWidget(gbFWUpgrade, 1);
    row->addWidget(gbMessages, 1);

    connect(btnClearMessages, &QPushButton::clicked, this, [this] { Button1Click(); });
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
}

QString TFirmwarePanel::GaugeCaption() const
{
    return qmgUpgrade->Caption();
}
int TFirmwarePanel::GaugeProgress() const
{
    return qmgUpgrade->Progress();
}
