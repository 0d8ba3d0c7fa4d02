#include "app/filesdialogs.h"

#include "app/filestexts.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace lk58 {
namespace {

// Dialogs with a caption and a close button only, as the program's others.
constexpr Qt::WindowFlags kDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint |
                                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

QTableWidgetItem* Cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

} // namespace

TDiffDialog::TDiffDialog(QWidget* parent, TMode mode, int lang, const QString& fileName,
                         const std::vector<config::Difference>& diff)
    : QDialog(parent, kDialogFlags), rows_(int(diff.size()))
{
    const TFilesTexts t = FilesTexts(lang);
    setObjectName(QStringLiteral("FrmFileDiff"));
    setWindowTitle(mode == TMode::Write ? t.WriteTitle : t.CompareTitle);
    auto* layout = new QVBoxLayout(this);

    LblIntro = new QLabel(t.DiffIntro.arg(fileName), this);
    LblIntro->setObjectName(QStringLiteral("LblIntro"));
    layout->addWidget(LblIntro);

    TblDiff = new QTableWidget(rows_, 3, this);
    TblDiff->setObjectName(QStringLiteral("TblDiff"));
    TblDiff->setHorizontalHeaderLabels({t.ColSetting, t.ColConverter, t.ColFile});
    TblDiff->verticalHeader()->hide();
    TblDiff->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TblDiff->setFocusPolicy(Qt::NoFocus);
    for (int row = 0; row < rows_; ++row) {
        const config::Difference& d = diff[std::size_t(row)];
        TblDiff->setItem(row, 0, Cell(SettingName(lang, d.key)));
        TblDiff->setItem(row, 1, Cell(SettingValue(lang, d.key, d.converter)));
        TblDiff->setItem(row, 2, Cell(SettingValue(lang, d.key, d.file)));
        if (config::IsIdentity(d.key))
            identityRows_.push_back(row);
    }
    // Every row and every value whole, without scrolling: there are at
    // most fifteen settings.
    TblDiff->resizeColumnsToContents();
    TblDiff->resizeRowsToContents();
    TblDiff->horizontalHeader()->setStretchLastSection(true);
    TblDiff->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TblDiff->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TblDiff->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    layout->addWidget(TblDiff);

    auto* buttons = new QDialogButtonBox(this);
    if (mode == TMode::Write) {
        ChckBxIdentity = new QCheckBox(t.IncludeIdentity, this);
        ChckBxIdentity->setObjectName(QStringLiteral("ChckBxIdentity"));
        ChckBxIdentity->setEnabled(!identityRows_.empty());
        layout->addWidget(ChckBxIdentity);
        connect(ChckBxIdentity, &QCheckBox::toggled, this, &TDiffDialog::IdentityToggled);
        BtnWrite = buttons->addButton(t.BtnWrite, QDialogButtonBox::AcceptRole);
        BtnWrite->setObjectName(QStringLiteral("BtnWrite"));
    }
    BtnClose = buttons->addButton(mode == TMode::Write ? t.BtnCancel : t.BtnClose,
                                  QDialogButtonBox::RejectRole);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (ChckBxIdentity != nullptr)
        IdentityToggled();
}

bool TDiffDialog::IncludeIdentity() const
{
    return ChckBxIdentity != nullptr && ChckBxIdentity->isChecked();
}

// The identity's rows look disabled while they would not be written, and
// Write needs something to write.
void TDiffDialog::IdentityToggled()
{
    const bool include = IncludeIdentity();
    const QColor colour = palette().color(include ? QPalette::Active : QPalette::Disabled,
                                          QPalette::Text);
    for (int row : identityRows_) {
        for (int col = 0; col < 3; ++col)
            TblDiff->item(row, col)->setForeground(colour);
    }
    BtnWrite->setEnabled(include || rows_ > int(identityRows_.size()));
}

TWriteProgress::TWriteProgress(QWidget* parent, int lang) : QDialog(parent, kDialogFlags), lang_(lang)
{
    const TFilesTexts t = FilesTexts(lang);
    setObjectName(QStringLiteral("FrmWriteProgress"));
    setWindowTitle(t.ProgressTitle);
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    LblWriting = new QLabel(this);
    LblWriting->setObjectName(QStringLiteral("LblWriting"));
    // Wide enough for the longest setting's line, so that the dialog keeps
    // its size while the names change.
    int widest = LblWriting->fontMetrics().horizontalAdvance(t.Stopping);
    for (config::Key key : config::kKeys) {
        const QString line = t.Writing.arg(SettingName(lang, key)).arg(15).arg(15);
        widest = std::max(widest, LblWriting->fontMetrics().horizontalAdvance(line));
    }
    LblWriting->setMinimumWidth(widest);
    layout->addWidget(LblWriting);

    PrgBar = new QProgressBar(this);
    PrgBar->setObjectName(QStringLiteral("PrgBar"));
    PrgBar->setRange(0, 1);
    PrgBar->setValue(0);
    layout->addWidget(PrgBar);

    auto* buttons = new QDialogButtonBox(this);
    BtnCancel = buttons->addButton(t.BtnCancel, QDialogButtonBox::RejectRole);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
    connect(buttons, &QDialogButtonBox::rejected, this, &TWriteProgress::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TWriteProgress::Step(config::Key key, int n, int count)
{
    if (!cancel_)
        LblWriting->setText(FilesTexts(lang_).Writing.arg(SettingName(lang_, key)).arg(n).arg(count));
    PrgBar->setRange(0, count);
    PrgBar->setValue(n - 1);
}

void TWriteProgress::Finish()
{
    PrgBar->setValue(PrgBar->maximum());
}

bool TWriteProgress::CancelRequested()
{
    // The reply waits hold user input back; let a held-back click arrive.
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance())
        d->wakeUp();
    QCoreApplication::processEvents();
    return cancel_;
}

void TWriteProgress::reject()
{
    if (cancel_)
        return;
    cancel_ = true;
    BtnCancel->setEnabled(false);
    LblWriting->setText(FilesTexts(lang_).Stopping);
}

QString WriteReport(int lang, const config::RestoreOutcome& outcome)
{
    const TFilesTexts t = FilesTexts(lang);
    QStringList lines{RunText(lang, outcome.status, outcome.damaged)};
    for (const config::Problem& p : outcome.problems)
        lines << QString::fromStdString(p.Message());
    if ((outcome.status == config::RunStatus::BackupFailed || outcome.status == config::RunStatus::LogFailed)
        && !outcome.error.empty())
        lines << QString::fromStdString(outcome.error);
    if (!outcome.settings.empty() || !outcome.leftOut.empty())
        lines << QString();
    for (const config::SettingReport& s : outcome.settings) {
        QString line = SettingName(lang, s.key) + QStringLiteral(": ") + StatusText(lang, s.status);
        // A value that did not take: say what the converter holds instead.
        if (s.status == config::SettingStatus::Failed && s.readBack && *s.readBack != s.wanted)
            line += QStringLiteral(" (%1)").arg(SettingValue(lang, s.key, s.readBack));
        lines << line;
    }
    for (config::Key key : outcome.leftOut)
        lines << SettingName(lang, key) + QStringLiteral(": ") + t.LeftOut;
    if (!outcome.backupPath.isEmpty())
        lines << QString() << t.Backup.arg(outcome.backupPath);
    return lines.join(QLatin1Char('\n'));
}

} // namespace lk58
