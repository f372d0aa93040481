#include "EdidPanel.h"

#include "CommandRunner.h"
#include "Prompter.h"
#include "link/Commands.h"
#include "link/EdidData.h"
#include "link/QMCOMControl.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
const int GridSize = 17;
const int CellPixels = 19;
const char* const SelectFirst = "Select list item first";
const char* const Busy = "In processing, command ignored";
const char* const FileFilter = "Binary file(*.bin)";

QComboBox* PortList(const QString& name)
{
    auto* cb = new QComboBox;
    cb->setAccessibleName(name);
    cb->setMinimumContentsLength(16);
    cb->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return cb;
}

QPushButton* SmallButton(const QString& name)
{
    auto* b = new QPushButton(QStringLiteral("..."));
    b->setFixedWidth(28);
    b->setAccessibleName(name);
    b->setToolTip(name);
    return b;
}

QString PortItem(const char* kind, int n, const QString& tag)
{
    QString text = QLatin1String(kind) + QString::number(n);
    if (!tag.isEmpty()) text += QStringLiteral(" - [") + tag + QLatin1Char(']');
    return text;
}

void SetItems(QComboBox* cb, const QStringList& items)
{
    const int index = cb->currentIndex();
    cb->clear();
    cb->addItems(items);
    cb->setCurrentIndex(qBound(0, index, int(items.size()) - 1));
}

void SelectText(QComboBox* cb, const QString& text)
{
    const int index = cb->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    cb->setCurrentIndex(index < 0 ? 0 : index);
}

void ShowPath(QLineEdit* edit, const QString& path)
{
    edit->setText(path);
    edit->setCursorPosition(int(path.size()));
}

// The dialogs start where the last file of the field was.
QString FolderOf(const QLineEdit* edit)
{
    return edit->text().isEmpty() ? QString() : QFileInfo(edit->text()).absolutePath();
}

bool AtLastItem(const QComboBox* cb)
{
    return cb->currentIndex() == cb->count() - 1;
}
} // namespace

TEdidPanel::TEdidPanel(TCommandRunner* runner, QWidget* parent) : QWidget(parent), FRunner(runner)
{
    BuildModeGroup();
    BuildDataGroup();
    BuildContentGroup();
    auto* left = new QVBoxLayout;
    left->addWidget(gbEDIDMode);
    left->addWidget(gbEDIDData);
    left->addStretch();
    auto* row = new QHBoxLayout(this);
    row->addLayout(left, 1);
    row->addWidget(gbEDIDContent, 0, Qt::AlignTop);

    cbEDIDMode->addItems(EdidData::ModeListNames());
    cbEDIDMode->setCurrentIndex(0);
    RebuildPortLists(TPortTags());

    connect(btnSetEDIDMode, &QPushButton::clicked, this, [this] { btnSetEDIDModeClick(); });
    connect(btnCopyEDID, &QPushButton::clicked, this, [this] { btnCopyEDIDClick(); });
    connect(btnReadEDID, &QPushButton::clicked, this, [this] { btnReadEDIDClick(); });
    connect(btnSaveEDID, &QPushButton::clicked, this, [this] { btnSaveEDIDClick(); });
    connect(btnOpenEDID, &QPushButton::clicked, this, [this] { btnOpenEDIDClick(); });
    connect(btnDownloadEDID, &QPushButton::clicked, this, [this] { btnDownloadEDIDClick(); });
    connect(btnClearEDID, &QPushButton::clicked, this, [this] { btnClearEDIDClick(); });
}

void TEdidPanel::BuildModeGroup()
{
    gbEDIDMode = new QGroupBox(QStringLiteral("EDID mode control"));
    cbEDIDMode = PortList(QStringLiteral("EDID mode"));
    cbEDIDMode->setMinimumContentsLength(22);
    cbSetEDIDModeInput = PortList(QStringLiteral("Input of EDID mode"));
    btnSetEDIDMode = new QPushButton(QStringLiteral("&Set"));
    cbCopyEDIDOutput = PortList(QStringLiteral("Output to copy EDID from"));
    cbCopyEDIDInput = PortList(QStringLiteral("Input to copy EDID to"));
    btnCopyEDID = new QPushButton(QStringLiteral("&Copy"));
    auto* grid = new QGridLayout(gbEDIDMode);
    grid->addWidget(cbEDIDMode, 0, 0);
    grid->addWidget(cbSetEDIDModeInput, 0, 1);
    grid->addWidget(btnSetEDIDMode, 0, 2);
    grid->addWidget(cbCopyEDIDOutput, 1, 0);
    grid->addWidget(cbCopyEDIDInput, 1, 1);
    grid->addWidget(btnCopyEDID, 1, 2);
}

void TEdidPanel::BuildDataGroup()
{
    gbEDIDData = new QGroupBox(QStringLiteral("EDID data control"));
    cbReadEDIDDataOutput = PortList(QStringLiteral("Read EDID data from"));
    btnReadEDID = new QPushButton(QStringLiteral("&Read"));
    edtSaveEDID = new QLineEdit;
    edtSaveEDID->setAccessibleName(QStringLiteral("EDID save file"));
    btnSaveEDID = SmallButton(QStringLiteral("Save to EDID file"));
    edtOpenEDID = new QLineEdit;
    edtOpenEDID->setAccessibleName(QStringLiteral("EDID open file"));
    btnOpenEDID = SmallButton(QStringLiteral("Open EDID file"));
    cbDownloadEDIDInput = PortList(QStringLiteral("Download EDID data to"));
    btnDownloadEDID = new QPushButton(QStringLiteral("&Download"));

    auto* grid = new QGridLayout(gbEDIDData);
    grid->addWidget(new QLabel(QStringLiteral("Read EDID data from ")), 0, 0);
    grid->addWidget(cbReadEDIDDataOutput, 0, 1);
    grid->addWidget(btnReadEDID, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Save to EDID file")), 1, 0);
    auto* save = new QHBoxLayout;
    save->addWidget(edtSaveEDID, 1);
    save->addWidget(btnSaveEDID);
    grid->addLayout(save, 1, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Open EDID file")), 2, 0);
    auto* open = new QHBoxLayout;
    open->addWidget(edtOpenEDID, 1);
    open->addWidget(btnOpenEDID);
    grid->addLayout(open, 2, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Download EDID data to")), 3, 0);
    grid->addWidget(cbDownloadEDIDInput, 3, 1);
    grid->addWidget(btnDownloadEDID, 3, 2);
    grid->setColumnStretch(1, 1);
}

void TEdidPanel::BuildContentGroup()
{
    gbEDIDContent = new QGroupBox(QStringLiteral("EDID content"));
    sgEDIDContent = new QTableWidget(GridSize, GridSize);
    sgEDIDContent->setAccessibleName(QStringLiteral("EDID content"));
    sgEDIDContent->horizontalHeader()->hide();
    sgEDIDContent->verticalHeader()->hide();
    sgEDIDContent->horizontalHeader()->setMinimumSectionSize(CellPixels);
    sgEDIDContent->verticalHeader()->setMinimumSectionSize(CellPixels);
    sgEDIDContent->horizontalHeader()->setDefaultSectionSize(CellPixels);
    sgEDIDContent->verticalHeader()->setDefaultSectionSize(CellPixels);
    sgEDIDContent->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgEDIDContent->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sgEDIDContent->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgEDIDContent->setSelectionMode(QAbstractItemView::NoSelection);
    // Two hexadecimal digits must fit a 19-pixel cell whole, never elided.
    QFont small = sgEDIDContent->font();
    small.setPixelSize(10);
    sgEDIDContent->setFont(small);
    sgEDIDContent->setTextElideMode(Qt::ElideNone);
    sgEDIDContent->setWordWrap(false);
    sgEDIDContent->setShowGrid(true);
    const int frame = 2 * sgEDIDContent->frameWidth();
    sgEDIDContent->setFixedSize(GridSize * CellPixels + frame, GridSize * CellPixels + frame);
    const QBrush header = palette().brush(QPalette::Button);
    for (int r = 0; r < GridSize; ++r)
        for (int c = 0; c < GridSize; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled);
            if (r == 0 || c == 0) item->setBackground(header);
            sgEDIDContent->setItem(r, c, item);
        }
    btnClearEDID = new QPushButton(QStringLiteral("C&lear"));
    auto* box = new QVBoxLayout(gbEDIDContent);
    box->addWidget(sgEDIDContent);
    box->addWidget(btnClearEDID, 0, Qt::AlignRight);
    WriteGridHeaders();
}

void TEdidPanel::RebuildPortLists(const TPortTags& tags)
{
    QStringList inputs{QStringLiteral("Select Input")};
    QStringList outputs{QStringLiteral("Select Output")};
    for (int n = 1; n <= PortCount; ++n) {
        inputs << PortItem("In", n, tags.In[size_t(n - 1)]);
        outputs << PortItem("Out", n, tags.Out[size_t(n - 1)]);
    }
    inputs << QStringLiteral("All Inputs");
    SetItems(cbSetEDIDModeInput, inputs);
    SetItems(cbCopyEDIDInput, inputs);
    SetItems(cbDownloadEDIDInput,
             inputs + QStringList{QStringLiteral("User1 Memory"), QStringLiteral("User2 Memory")});
    SetItems(cbCopyEDIDOutput, outputs);
    SetItems(cbReadEDIDDataOutput, outputs);
}

void TEdidPanel::tsEDIDCtrlShow(const TPortTags& tags)
{
    RebuildPortLists(tags);
}

void TEdidPanel::MoveCaretsToEnd()
{
    edtSaveEDID->setCursorPosition(int(edtSaveEDID->text().size()));
    edtOpenEDID->setCursorPosition(int(edtOpenEDID->text().size()));
}

void TEdidPanel::ApplySettings(const TEdidSettings& s, const TPortTags& tags)
{
    RebuildPortLists(tags);
    SelectText(cbEDIDMode, s.EdidMode);
    SelectText(cbSetEDIDModeInput, s.InOfEdidMode);
    SelectText(cbCopyEDIDOutput, s.OutOfCopyEdid);
    SelectText(cbCopyEDIDInput, s.InOfCopyEdid);
    SelectText(cbReadEDIDDataOutput, s.OutOfReadEdid);
    SelectText(cbDownloadEDIDInput, s.InOfDownloadEdid);
    edtSaveEDID->clear();
    edtOpenEDID->clear();
}

TEdidSettings TEdidPanel::CollectSettings() const
{
    TEdidSettings s;
    s.EdidMode = cbEDIDMode->currentText();
    s.InOfEdidMode = cbSetEDIDModeInput->currentText();
    s.OutOfCopyEdid = cbCopyEDIDOutput->currentText();
    s.InOfCopyEdid = cbCopyEDIDInput->currentText();
    s.OutOfReadEdid = cbReadEDIDDataOutput->currentText();
    s.InOfDownloadEdid = cbDownloadEDIDInput->currentText();
    s.SaveEdidFile = edtSaveEDID->text();
    s.OpenEdidFile = edtOpenEDID->text();
    return s;
}

// Grid.

void TEdidPanel::WriteGridHeaders()
{
    sgEDIDContent->item(0, 0)->setText(QString());
    for (int i = 1; i < GridSize; ++i) {
        const QString digit = QString::number(i - 1, 16).toUpper();
        sgEDIDContent->item(0, i)->setText(digit);
        sgEDIDContent->item(i, 0)->setText(digit + QLatin1Char('0'));
    }
}

void TEdidPanel::EmptyGridData()
{
    for (int r = 1; r < GridSize; ++r)
        for (int c = 1; c < GridSize; ++c)
            sgEDIDContent->item(r, c)->setText(QString());
}

void TEdidPanel::ClearEdidGrid()
{
    WriteGridHeaders();
    EmptyGridData();
}

void TEdidPanel::SetGridBytes(const QByteArray& edid)
{
    for (int k = 0; k < EdidData::Size; ++k)
        sgEDIDContent->item(k / 16 + 1, k % 16 + 1)
            ->setText(
                QStringLiteral("%1").arg(uint8_t(edid[k]), 2, 16, QLatin1Char('0')).toUpper());
}

QString TEdidPanel::CellText(int row, int column) const
{
    return sgEDIDContent->item(row, column)->text();
}

bool TEdidPanel::GridBytes(QByteArray* bytes) const
{
    bytes->clear();
    for (int r = 1; r < GridSize; ++r)
        for (int c = 1; c < GridSize; ++c) {
            const QString text = CellText(r, c);
            if (text.isEmpty()) continue;
            bytes->append(char(text.left(2).toUInt(nullptr, 16)));
        }
    if (bytes->size() == EdidData::Size) return true;
    bytes->clear();
    return false;
}

bool TEdidPanel::ShowContent(const QByteArray& buffer)
{
    WriteGridHeaders();
    QByteArray edid;
    if (!EdidData::ContentOk(buffer, &edid)) return false;
    SetGridBytes(edid);
    return true;
}

// Checks.

bool TEdidPanel::EdidControlModeOk()
{
    const TCommandReply r = FRunner->RunPoweredCommand(Catalogue::EdidControlMode());
    if (!r.Ok) return false;
    if (r.P1Lo() == EdidDipSwitchMode) {
        FRunner->Prompter()->Information(
            QStringLiteral("Set \"DIP Switch\" on side of the Matrix to \"1111\" to enter EDID "
                           "Software control mode."));
        return false;
    }
    return true;
}

bool TEdidPanel::OutputConnectedOk(int output)
{
    const uint8_t state = QueryOutputConnection ? QueryOutputConnection(output) : 0xFF;
    if (state == 0xFF) return false;
    if (state != 0x0F) {
        FRunner->Prompter()->Information(
            QStringLiteral("EDID can not be read because output not connected.\r\nOutput") +
            QString::number(output));
        return false;
    }
    return true;
}

bool TEdidPanel::RefuseWhileBusy()
{
    if (FRunner->Flags()->Idle) return false;
    FRunner->ShowStatus(3, QLatin1String(Busy));
    return true;
}

// Actions.

void TEdidPanel::btnSetEDIDModeClick()
{
    // The choice is the one at the click: the lists may change during the
    // round trips below.
    const int mode = cbEDIDMode->currentIndex();
    const int input = cbSetEDIDModeInput->currentIndex();
    if (mode <= 0 || input <= 0) {
        FRunner->ShowStatus(3, QLatin1String(SelectFirst));
        return;
    }
    const bool all = AtLastItem(cbSetEDIDModeInput);
    const bool defaults = AtLastItem(cbEDIDMode);
    QStringList items;
    for (int i = 0; i < cbEDIDMode->count(); ++i)
        items << cbEDIDMode->itemText(i);
    FRunner->ShowStatus(3, QString());
    if (!EdidControlModeOk()) return;
    const QString setting = QStringLiteral("Setting...");
    if (!FRunner->RunPoweredCommand(Catalogue::EdidPrepare(setting)).Ok) return;
    if (defaults) {
        const TCommandPacket p = all ? Cmd::EdidDefaultAll.Packet(QueryParam)
                                     : Cmd::EdidDefaultOne.Packet(uint16_t(input));
        FRunner->RunPoweredCommand(TCatalogueCommand{p, setting});
        return;
    }
    const uint16_t word = EdidData::ModeWord(items, mode);
    const TCommandPacket p =
        all ? Cmd::EdidModeAll.Packet(word) : Cmd::EdidModeOne.Packet(word, uint16_t(input));
    FRunner->RunPoweredCommand(TCatalogueCommand{p, setting});
}

void TEdidPanel::btnCopyEDIDClick()
{
    const int output = cbCopyEDIDOutput->currentIndex();
    const int input = cbCopyEDIDInput->currentIndex();
    if (output <= 0 || input <= 0) {
        FRunner->ShowStatus(3, QLatin1String(SelectFirst));
        return;
    }
    const bool all = AtLastItem(cbCopyEDIDInput);
    FRunner->ShowStatus(3, QString());
    if (!EdidControlModeOk()) return;
    if (!OutputConnectedOk(output)) return;
    const QString copying = QStringLiteral("Copying...");
    if (!FRunner->RunPoweredCommand(Catalogue::EdidPrepare(copying)).Ok) return;
    const TCommandPacket p = all ? Cmd::EdidCopyAll.Packet(uint16_t(output))
                                 : Cmd::EdidCopyOne.Packet(uint16_t(output), uint16_t(input));
    FRunner->RunPoweredCommand(TCatalogueCommand{p, copying});
}

void TEdidPanel::btnReadEDIDClick()
{
    if (cbReadEDIDDataOutput->currentIndex() <= 0) {
        FRunner->ShowStatus(3, QLatin1String(SelectFirst));
        return;
    }
    const int output = cbReadEDIDDataOutput->currentIndex();
    // The grid is emptied only once the read really starts: a refused read
    // keeps the EDID the operator is working on.
    if (!OutputConnectedOk(output)) return;
    TProcessFlags* flags = FRunner->Flags();
    if (flags->Abort) return;
    if (!FRunner->EnsureConnected()) return;
    if (RefuseWhileBusy()) return;
    FRunner->ShowStatus(3, QString());
    flags->Idle = false;
    FRunner->ShowStatus(2, QStringLiteral("Reading..."));
    EmptyGridData();
    TQMCOMControl* link = FRunner->Link();
    TCommandReply reply;
    link->ReadBlocks(Cmd::EdidRead.Packet(uint16_t(0xF000 + output)), reply);
    if (reply.Ok) {
        FRunner->ShowStatus(2, QStringLiteral("Done"));
        if (!ShowContent(link->EdidReadBuffer()))
            FRunner->Prompter()->Information(
                QStringLiteral("EDID content error. Please try to read again."));
    }
    flags->Idle = true;
    FRunner->ShowStatus(3, QString());
}

bool TEdidPanel::SaveEdidFile(const QString& name, const QByteArray& bytes)
{
    // Written aside and renamed: a failed write never leaves half an EDID.
    QSaveFile out(name);
    if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit())
        return true;
    FRunner->Prompter()->Error(QStringLiteral("Unable to write to ") + name);
    return false;
}

void TEdidPanel::btnSaveEDIDClick()
{
    QByteArray bytes;
    if (!GridBytes(&bytes)) {
        FRunner->ShowStatus(3, QStringLiteral("EDID Content empty"));
        return;
    }
    const QString chosen = FRunner->Prompter()->SaveFile(
        QStringLiteral("Save to EDID file"), FolderOf(edtSaveEDID), QLatin1String(FileFilter));
    if (chosen.isEmpty()) return;
    const QString name = EdidData::SaveFileName(chosen);
    ShowPath(edtSaveEDID, name);
    if (QFileInfo::exists(name) &&
        !FRunner->Prompter()->Confirm(name + QStringLiteral(" exists, overwrite it?")))
        return;
    SaveEdidFile(name, bytes);
}

void TEdidPanel::btnOpenEDIDClick()
{
    // The download buffer may be on its way to the matrix.
    if (RefuseWhileBusy()) return;
    const QString name = FRunner->Prompter()->OpenFile(
        QStringLiteral("Open EDID file"), FolderOf(edtOpenEDID), QLatin1String(FileFilter));
    if (name.isEmpty()) return;
    ShowPath(edtOpenEDID, name);
    QByteArray& buffer = FRunner->Link()->EdidDownloadBuffer();
    buffer.clear();
    QFile f(name);
    // A file longer than 257 bytes fails the test; reading on would only fill memory.
    if (f.open(QIODevice::ReadOnly)) buffer = f.read(EdidData::Size + 2);
    if (!ShowContent(buffer)) {
        buffer.clear();
        FRunner->Prompter()->Error(QStringLiteral("EDID content error."));
    }
}

void TEdidPanel::btnDownloadEDIDClick()
{
    const int target = cbDownloadEDIDInput->currentIndex();
    if (target <= 0) {
        FRunner->ShowStatus(3, QLatin1String(SelectFirst));
        return;
    }
    if (RefuseWhileBusy()) return;
    if (!EdidControlModeOk()) return;
    TQMCOMControl* link = FRunner->Link();
    if (!GridBytes(&link->EdidDownloadBuffer())) {
        FRunner->ShowStatus(3, QStringLiteral("EDID Content empty, open EDID file first"));
        return;
    }
    FRunner->ShowStatus(3, QString());
    const QString downloading = QStringLiteral("Downloading...");
    if (!FRunner->RunPoweredCommand(Catalogue::EdidPrepare(downloading)).Ok) return;
    TProcessFlags* flags = FRunner->Flags();
    if (flags->Abort || !flags->Idle) return;
    TCommandPacket p;
    if (target <= PortCount)
        p = Cmd::EdidWrite.Packet(uint16_t(0xF000 + target));
    else if (target == PortCount + 1)
        p = Cmd::EdidWriteAll.Packet(EdidAllInputsParam);
    else
        p = Cmd::EdidWrite.Packet(target == PortCount + 2 ? 0xF100 : 0xF200);
    flags->Idle = false;
    FRunner->ShowStatus(2, downloading);
    TCommandReply reply;
    link->WriteBlocks(p, reply);
    if (reply.Ok) FRunner->ShowStatus(2, QStringLiteral("Done"));
    flags->Idle = true;
    FRunner->ShowStatus(3, QString());
}

void TEdidPanel::btnClearEDIDClick()
{
    if (RefuseWhileBusy()) return;
    EmptyGridData();
}
