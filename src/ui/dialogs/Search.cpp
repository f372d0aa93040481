#include "Search.h"

#include "link/Constants.h"
#include "link/QMCOMControl.h"
#include "settings/SettingsFile.h"
#include "transport/QMPing.h"
#include "ui/main/Prompter.h"
#include "widgets/QMGauge.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace
{
const char* const Captions[6] = {
    "Auto searching",      "Matrix found",       "Matrix not found after Auto searching",
    "Searching cancelled", "Searching complete", "Searching complete"};

QComboBox* SortedList(const QString& name)
{
    auto* cb = new QComboBox;
    cb->setAccessibleName(name);
    cb->setMinimumContentsLength(60);
    cb->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return cb;
}
} // namespace

TfrmSearch::TfrmSearch(QWidget* parent) : QDialog(parent), Ping(new TQMPing(this))
{
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    FSteps = new QStackedWidget;
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 0, 8, 8);
    outer->addWidget(FSteps);

    auto page = [this](int k, const QString& text) {
        pnlStep[size_t(k)] = new QWidget;
        pnlStep[size_t(k)]->setObjectName(QStringLiteral("pnlStep%1").arg(k + 1));
        gbStep[size_t(k)] = new QGroupBox(QLatin1String(Captions[k]));
        auto* pageBox = new QVBoxLayout(pnlStep[size_t(k)]);
        pageBox->setContentsMargins(0, 0, 0, 0);
        pageBox->addWidget(gbStep[size_t(k)]);
        auto* box = new QVBoxLayout(gbStep[size_t(k)]);
        if (!text.isEmpty()) box->addWidget(new QLabel(text));
        FSteps->addWidget(pnlStep[size_t(k)]);
        return box;
    };
    auto buttons = [](QVBoxLayout* box, std::initializer_list<QPushButton*> list) {
        auto* row = new QHBoxLayout;
        row->addStretch();
        for (QPushButton* b : list)
            row->addWidget(b);
        box->addStretch();
        box->addLayout(row);
    };

    QVBoxLayout* s0 = page(0, QString());
    qmgSearch = new TQMGauge;
    qmgSearch->setFixedSize(220, 24);
    qmgSearch->SetCaption(QStringLiteral("Searching TCP control device ... |"));
    qmgSearch->SetTxtAlign(ttaLEFT);
    qmgSearch->SetShowPercent(false);
    qmgSearch->SetBackColor(palette().color(QPalette::Button));
    qmgSearch->SetBorderColor(palette().color(QPalette::Button));
    qmgSearch->SetFrame3DTopColor(palette().color(QPalette::Shadow));
    qmgSearch->SetFrame3DBottomColor(Qt::white);
    s0->addWidget(qmgSearch);
    btnStop = new QPushButton(QStringLiteral("Stop"));
    buttons(s0, {btnStop});

    QVBoxLayout* s1 =
        page(1, QStringLiteral("Matrix which you're searching for has been list in below box?"));
    cbMXDevice = SortedList(QStringLiteral("Matrix found"));
    s1->addWidget(cbMXDevice);
    btnNo = new QPushButton(QStringLiteral("No"));
    btnYes = new QPushButton(QStringLiteral("Yes"));
    buttons(s1, {btnNo, btnYes});

    QVBoxLayout* s2 = page(2, QStringLiteral("Enter the IP address and get Matrix informations."));
    auto* ipRow = new QHBoxLayout;
    ipRow->addWidget(new QLabel(QStringLiteral("IP address")));
    for (int i = 0; i < 4; ++i) {
        auto* e = new QLineEdit;
        e->setMaxLength(3);
        e->setFixedWidth(40);
        e->setAccessibleName(QStringLiteral("IP address field %1").arg(i + 1));
        e->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), e));
        connect(e, &QLineEdit::editingFinished, e, [e] { e->setText(ClampEditByte(e->text())); });
        edtIPField[size_t(i)] = e;
        ipRow->addWidget(e);
        if (i < 3) ipRow->addWidget(new QLabel(QStringLiteral(".")));
    }
    ipRow->addStretch();
    s2->addLayout(ipRow);
    btnGo = new QPushButton(QStringLiteral("Go"));
    btnClose = new QPushButton(QStringLiteral("Close"));
    buttons(s2, {btnGo, btnClose});

    QVBoxLayout* s3 = page(3, QStringLiteral("Searching TCP control device has been cancelled."));
    btnClose1 = new QPushButton(QStringLiteral("Close"));
    buttons(s3, {btnClose1});

    QVBoxLayout* s4 = page(4, QStringLiteral("Matrix found list as below."));
    cbMXDevice1 = SortedList(QStringLiteral("Matrix found list"));
    s4->addWidget(cbMXDevice1);
    btnDone = new QPushButton(QStringLiteral("Done"));
    buttons(s4, {btnDone});

    QVBoxLayout* s5 = page(5, QStringLiteral("No Matrix found."));
    btnClose2 = new QPushButton(QStringLiteral("Close"));
    buttons(s5, {btnClose2});

    setFixedSize(617, 204);
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStopClick(); });
    connect(btnYes, &QPushButton::clicked, this, [this] { done(1); });
    connect(btnNo, &QPushButton::clicked, this, [this] { btnNoClick(); });
    connect(btnGo, &QPushButton::clicked, this, [this] { btnGoClick(); });
    connect(btnClose, &QPushButton::clicked, this, [this] { done(2); });
    connect(btnClose1, &QPushButton::clicked, this, [this] { done(2); });
    connect(btnDone, &QPushButton::clicked, this, [this] { done(1); });
    connect(btnClose2, &QPushButton::clicked, this, [this] { done(7); });
    Ping->SetCancelled([this] { return Stopped(); });
}

void TfrmSearch::SetLink(TQMCOMControl* link)
{
    FLink = link;
    const TTiming& t = link->Timing();
    Ping->SetTimeOut(t.PingTimeOutMs);
    Ping->SetAttemptMs(t.PingAttemptMs);
    Ping->Attempts = t.PingAttempts;
}

bool TfrmSearch::Stopped() const
{
    return StopRequested || (FLink && FLink->Flags()->Abort);
}

int TfrmSearch::Step() const
{
    return FSteps->currentIndex();
}

void TfrmSearch::ShowStep(int k)
{
    FSteps->setCurrentIndex(k);
    QString caption = QLatin1String(Captions[k]);
    if (k == 0 && FManual) caption = QStringLiteral("Get Matrix informations");
    setWindowTitle(caption);
    gbStep[size_t(k)]->setTitle(caption);
    switch (k) {
    case 0:
        btnStop->setFocus();
        break;
    case 1:
        btnYes->setFocus();
        break;
    case 2: {
        const QStringList octets = QString::fromLatin1(DefaultModuleIP).split(QLatin1Char('.'));
        for (int i = 0; i < 4; ++i)
            edtIPField[size_t(i)]->setText(octets.at(i));
        edtIPField[3]->setFocus();
        break;
    }
    case 3:
        btnClose1->setFocus();
        break;
    case 4:
        btnDone->setFocus();
        break;
    default:
        btnClose2->setFocus();
        break;
    }
}

void TfrmSearch::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A restore from the task bar is no new showing: it must not restart a
    // search or drop a manual search's results.
    if (event->spontaneous()) return;
    AutoSearchPending = true;
    FManual = false;
    ShowStep(0);
    QTimer::singleShot(0, this, [this] { AutoSearch(); });
}

void TfrmSearch::reject() {}

void TfrmSearch::WizardNotify(int code, qintptr, qintptr, const QString& text)
{
    if (code == ntSearchWizard && Step() == 0 && !text.isEmpty()) qmgSearch->SetCaption(text);
}

QString TfrmSearch::ModuleEntry(int n, const QString& ip, bool sameSubnet) const
{
    std::array<QString, 7> f;
    f[defTag] = FLink->ModuleField(n, 6);
    f[defIPMode] =
        QLatin1String(Options::AddressMode[FLink->ModuleField(n, 7) != QLatin1String("0") ? 1 : 0]);
    f[defIP] = ip.isEmpty() ? FLink->ModuleField(n, 1) : ip;
    f[defGateway] = FLink->ModuleField(n, 2);
    f[defMask] = FLink->ModuleField(n, 3);
    f[defMAC] = FLink->ModuleField(n, 0);
    f[defSubnet] = QLatin1String(Options::SubnetRelation[sameSubnet ? 0 : 1]);
    return SettingsFile::BuildDeviceEntry(f);
}

void TfrmSearch::AddResult(const QString& entry)
{
    if (!ResultList.contains(entry)) ResultList << entry;
}

void TfrmSearch::FillList(QComboBox* list)
{
    QStringList sorted = ResultList;
    sorted.sort(Qt::CaseInsensitive);
    list->clear();
    list->addItems(sorted);
    if (list->count() > 0) list->setCurrentIndex(0);
}

void TfrmSearch::ReportSocketError()
{
    if (!FLink->ModuleError().isEmpty() && FPrompter) FPrompter->Error(FLink->ModuleError());
}

void TfrmSearch::AutoSearch()
{
    if (!AutoSearchPending || !FLink) return;
    AutoSearchPending = false;
    StopRequested = false;
    cbMXDevice->clear();
    ResultList.clear();
    if (FLink->SearchModules()) {
        for (int n = 1; n <= FLink->ModuleCount() && !Stopped(); ++n) {
            Ping->Host = FLink->ModuleField(n, 1);
            const bool same = Ping->PingHost();
            if (!Stopped()) AddResult(ModuleEntry(n, QString(), same));
        }
        if (Stopped()) {
            ShowStep(3);
            return;
        }
        FillList(cbMXDevice);
        ShowStep(1);
    } else {
        ReportSocketError();
        ShowStep(StopRequested ? 3 : 2);
    }
}

void TfrmSearch::btnStopClick()
{
    if (FLink) FLink->Searching = false;
    StopRequested = true;
}

void TfrmSearch::btnNoClick()
{
    ShowStep(2);
}

void TfrmSearch::btnGoClick()
{
    if (!FLink || FLink->Searching) return;
    StopRequested = false;
    QStringList octets;
    for (QLineEdit* e : edtIPField)
        octets << ClampEditByte(e->text());
    const QString ip = octets.join(QLatin1Char('.'));
    FLink->SetDeviceIP(ip);
    FLink->SetUDPMode(umNORMAL);
    FManual = true;
    ShowStep(0);
    if (FLink->SearchModules()) {
        Ping->Host = ip;
        const bool same = Ping->PingHost();
        if (Stopped()) {
            ShowStep(3);
            return;
        }
        for (int n = 1; n <= FLink->ModuleCount(); ++n)
            AddResult(ModuleEntry(n, ip, same));
        FillList(cbMXDevice1);
        ShowStep(4);
    } else if (StopRequested) {
        ShowStep(3);
    } else {
        ReportSocketError();
        if (!ResultList.isEmpty()) {
            FillList(cbMXDevice1);
            ShowStep(4);
        } else {
            ShowStep(5);
        }
    }
}
