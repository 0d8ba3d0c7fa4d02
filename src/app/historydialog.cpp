#include "app/historydialog.h"

#include "app/changejournal.h"
#include "app/filesmenu.h"
#include "app/filestexts.h"
#include "app/frmmain.h"
#include "app/offlinefile.h"
#include "config/restore.h"
#include "core/apperror.h"
#include "settings/dialogs.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lk58 {

namespace {

constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowCloseButtonHint;

struct THistoryTexts {
    QString MenuItem, Title, AllSettings, Filter, When, Who, Setting, Change, Outcome, Restore, Close, Backup,
        Acknowledged, Verified, Failed, StateBefore, StateOfBackup;
};

THistoryTexts Texts(int lang)
{
    auto t = [lang](const char* czech, const char* english) { return QString::fromUtf8(lang == 0 ? czech : english); };
    return {t("Historie převodníku…", "Converter history…"),
            t("Historie převodníku", "Converter history"),
            t("Všechna nastavení", "All settings"),
            t("Nastavení:", "Setting:"),
            t("Kdy", "When"),
            t("Kdo", "Who"),
            t("Nastavení", "Setting"),
            t("Před → po", "Before → after"),
            t("Výsledek", "Outcome"),
            t("Obnovit stav před touto změnou", "Restore the state before this change"),
            t("Zavřít", "Close"),
            t("Záloha před zápisem souboru", "Backup before a file write"),
            t("potvrzeno", "acknowledged"),
            t("ověřeno", "verified"),
            t("selhalo", "failed"),
            t("stav před změnou %1", "the state before change %1"),
            t("záloha %1", "backup %1")};
}

QString OutcomeText(const THistoryTexts& t, config::Outcome outcome)
{
    switch (outcome) {
    case config::Outcome::Acknowledged: return t.Acknowledged;
    case config::Outcome::Verified: return t.Verified;
    case config::Outcome::Failed: return t.Failed;
    }
    return {};
}

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QString When(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

THistoryDialog::THistoryDialog(QWidget* parent, int lang, const std::vector<config::HistoryRecord>& records,
                               const std::vector<config::BackupEntry>& backups, const QStringList& warnings)
    : QDialog(parent, kDialogFlags)
{
    const THistoryTexts t = Texts(lang);
    setObjectName(QStringLiteral("FrmHistory"));
    setWindowTitle(t.Title);
    auto* layout = new QVBoxLayout(this);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(new QLabel(t.Filter, this));
    CmbBxFilter = new QComboBox(this);
    CmbBxFilter->setObjectName(QStringLiteral("CmbBxFilter"));
    CmbBxFilter->addItem(t.AllSettings);
    for (config::Key key : config::kKeys)
        CmbBxFilter->addItem(SettingName(lang, key));
    filterRow->addWidget(CmbBxFilter);
    filterRow->addStretch();
    layout->addLayout(filterRow);

    // Records and backups merged, newest first; a backup comes before the
    // records of the writes it was made for.
    struct TRow {
        QDateTime time;
        const config::HistoryRecord* record;
        int backup;
    };
    std::vector<TRow> rows;
    for (const config::HistoryRecord& r : records)
        rows.push_back({r.time, &r, -1});
    for (std::size_t i = 0; i < backups.size(); ++i)
        rows.push_back({backups[i].time, nullptr, int(i)});
    std::stable_sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) { return a.time > b.time; });

    TblHistory = new QTableWidget(int(rows.size()), 5, this);
    TblHistory->setObjectName(QStringLiteral("TblHistory"));
    TblHistory->setHorizontalHeaderLabels({t.When, t.Who, t.Setting, t.Change, t.Outcome});
    TblHistory->verticalHeader()->hide();
    TblHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TblHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    TblHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int row = 0; row < int(rows.size()); ++row) {
        const TRow& r = rows[std::size_t(row)];
        TblHistory->setItem(row, 0, Cell(When(r.time)));
        if (r.record != nullptr) {
            const config::HistoryRecord& h = *r.record;
            TblHistory->setItem(row, 1, Cell(h.user + '@' + h.host));
            TblHistory->setItem(row, 2, Cell(SettingName(lang, h.key)));
            TblHistory->setItem(row, 3, Cell(SettingValue(lang, h.key, h.before) + QStringLiteral(" → ")
                                             + SettingValue(lang, h.key, h.after)));
            TblHistory->setItem(row, 4, Cell(OutcomeText(t, h.outcome)));
            TblHistory->item(row, 0)->setData(Qt::UserRole, h.id);
            rowKeys_.push_back(h.key);
        } else {
            const config::BackupEntry& b = backups[std::size_t(r.backup)];
            TblHistory->setItem(row, 1, Cell(QString()));
            TblHistory->setItem(row, 2, Cell(t.Backup));
            TblHistory->setItem(row, 3, Cell(QFileInfo(b.path).fileName()));
            TblHistory->setItem(row, 4, Cell(QString()));
            TblHistory->item(row, 0)->setData(Qt::UserRole + 1, r.backup);
            rowKeys_.push_back(std::nullopt);
        }
    }
    TblHistory->resizeColumnsToContents();
    TblHistory->horizontalHeader()->setStretchLastSection(true);
    TblHistory->setMinimumSize(640, 320);
    layout->addWidget(TblHistory);

    for (const QString& w : warnings) {
        auto* label = new QLabel(w, this);
        label->setWordWrap(true);
        layout->addWidget(label);
    }

    auto* buttons = new QDialogButtonBox(this);
    BtnRestore = buttons->addButton(t.Restore, QDialogButtonBox::AcceptRole);
    BtnRestore->setObjectName(QStringLiteral("BtnRestore"));
    BtnRestore->setEnabled(false);
    BtnClose = buttons->addButton(t.Close, QDialogButtonBox::RejectRole);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    layout->addWidget(buttons);

    connect(CmbBxFilter, &QComboBox::currentIndexChanged, this, &THistoryDialog::Filter);
    connect(TblHistory, &QTableWidget::itemSelectionChanged, this,
            [this] { BtnRestore->setEnabled(!TblHistory->selectedItems().isEmpty()); });
    connect(BtnRestore, &QPushButton::clicked, this, &THistoryDialog::Choose);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
}

// Backups stand for every setting: they stay whatever the filter.
void THistoryDialog::Filter()
{
    const int index = CmbBxFilter->currentIndex();
    for (int row = 0; row < TblHistory->rowCount(); ++row) {
        const std::optional<config::Key>& key = rowKeys_[std::size_t(row)];
        TblHistory->setRowHidden(row, index > 0 && key && *key != config::kKeys[std::size_t(index - 1)]);
    }
}

void THistoryDialog::Choose()
{
    const QList<QTableWidgetItem*> selected = TblHistory->selectedItems();
    if (selected.isEmpty())
        return;
    const QTableWidgetItem* first = TblHistory->item(selected.first()->row(), 0);
    if (const QVariant id = first->data(Qt::UserRole); id.isValid())
        chosen_ = {id.toLongLong(), -1};
    else
        chosen_ = {std::nullopt, first->data(Qt::UserRole + 1).toInt()};
    accept();
}

THistoryMenu::THistoryMenu(TFrmMain& frm)
    : QObject(&frm), frm_(frm),
      journal_(std::make_unique<TChangeJournal>(frm.Link, [&frm] { return QString::fromStdString(frm.ComPort.DeviceName()); }))
{
    frm_.Form->SetWriteJournal(journal_.get());
    MFileHistory = new QAction(&frm_);
    MFileHistory->setObjectName(QStringLiteral("MFileHistory"));
    frm_.MenuFile->insertAction(frm_.MFileExit, MFileHistory);
    frm_.MenuFile->insertSeparator(frm_.MFileExit);
    connect(MFileHistory, &QAction::triggered, this, &THistoryMenu::MFileHistoryClick);
    // Offered while a converter is connected.
    connect(frm_.MenuFile, &QMenu::aboutToShow, this, [this] {
        MFileHistory->setEnabled(frm_.ComPort.Active() && !frm_.PanelSettings->isHidden()
                                 && !(frm_.Offline != nullptr && frm_.Offline->InForm()));
    });
    SetLang(0);
}

THistoryMenu::~THistoryMenu()
{
    // The window's form goes before the window's children do.
    if (frm_.Form)
        frm_.Form->SetWriteJournal(nullptr);
}

void THistoryMenu::SetLang(int lang)
{
    lang_ = lang;
    MFileHistory->setText(Texts(lang).MenuItem);
}

void THistoryMenu::Connected()
{
    journal_->Forget();
}

void THistoryMenu::MFileHistoryClick()
{
    Guarded([this] {
        if (!frm_.ComPort.Active() || frm_.PanelSettings->isHidden() || frm_.Link.Busy() || frm_.Files->Running())
            return;
        Show();
    });
}

// The way back goes through the file write: the differences shown, a
// backup, only what differs written, read back, and logged.
void THistoryMenu::Show()
{
    const std::optional<SettingsBlock> block = config::ReadBlock(frm_.Link);
    if (!block) {
        frm_.ShowConnPanel();
        return;
    }
    const config::Settings now = config::FromBlock(*block);
    const config::HistoryReading reading = config::ReadHistory(config::HistoryPath(config::DefaultHistoryDir(), *block));
    QStringList notes = reading.warnings;
    if (!reading.error.isEmpty())
        notes << reading.error;
    auto bytes = [&](config::Key key) { return now.Has(key) ? std::get<Bytes>(*now[key]) : Bytes{}; };
    const std::vector<config::BackupEntry> backups =
        config::FindBackups(config::DefaultBackupDir(), bytes(config::Key::Type), bytes(config::Key::Serial));

    THistoryDialog dialog(&frm_, lang_, reading.records, backups, notes);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const THistoryTexts t = Texts(lang_);
    const THistoryDialog::TChoice choice = dialog.Chosen();
    if (choice.recordId)
        frm_.Files->WriteSettings(t.StateBefore.arg(*choice.recordId),
                                  config::SettingsBefore(now, reading.records, *choice.recordId));
    else if (choice.backup >= 0)
        frm_.Files->WriteSettings(t.StateOfBackup.arg(QFileInfo(backups[std::size_t(choice.backup)].path).fileName()),
                                  backups[std::size_t(choice.backup)].settings);
}

} // namespace lk58
