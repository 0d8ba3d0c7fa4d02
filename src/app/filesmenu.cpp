#include "app/filesmenu.h"

#include "app/filesdialogs.h"
#include "app/filestexts.h"
#include "app/frmmain.h"
#include "app/offlinefile.h"
#include "config/diskfile.h"
#include "config/history.h"
#include "config/restore.h"
#include "config/settingsfile.h"
#include "core/apperror.h"
#include "report/report.h"
#include "settings/dialogs.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QMenu>

#include <algorithm>

namespace lk58 {
namespace {

using config::Key;

QString Program()
{
    return QStringLiteral("LK58 ") + QCoreApplication::applicationVersion();
}

// The serial number's bytes up to the first zero byte.
Bytes SerialOf(const SettingsBlock& block)
{
    const std::span<const std::uint8_t> field = block.Field(kSerial);
    return Bytes(field.begin(), std::find(field.begin(), field.end(), std::uint8_t(0)));
}

QString DisplayName(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// A run that ended because the converter stopped answering, before or
// after its writes. A read-back that failed while the converter still
// answers a ping is a failed check, not a lost converter.
bool ConverterLost(const config::RestoreOutcome& outcome)
{
    using config::RunStatus;
    return outcome.status == RunStatus::NotRead || outcome.status == RunStatus::Lost ||
           (outcome.status == RunStatus::CheckFailed && outcome.lost);
}

bool AnythingWritten(const config::RestoreOutcome& outcome)
{
    return std::any_of(outcome.settings.begin(), outcome.settings.end(),
                       [](const config::SettingReport& s) { return s.acknowledged; });
}

void ShowReport(QWidget* parent, int lang, const config::RestoreOutcome& outcome)
{
    const QString text = WriteReport(lang, outcome);
    using config::RunStatus;
    switch (outcome.status) {
    case RunStatus::Done:
    case RunStatus::Unchanged:
        ShowInformationDialog(parent, text);
        break;
    case RunStatus::NotRead:
    case RunStatus::Lost:
        ShowErrorDialog(parent, text);
        break;
    default:
        ShowWarningDialog(parent, text);
        break;
    }
}

QString DefaultChoose(QWidget* parent, TFileUse use, const QString& proposed, int lang, bool& reportHistory)
{
    const TFilesTexts t = FilesTexts(lang);
    const bool report = use == TFileUse::SaveReport;
    QFileDialog dialog(parent, use == TFileUse::OpenSettings ? t.OpenTitle
                               : report                       ? t.ReportTitle
                                                              : t.SaveTitle);
    // The report may list the converter's last changes: a check box below
    // the dialog's own controls, which only Qt's own dialog can hold.
    QCheckBox* history = nullptr;
    if (report) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            history = new QCheckBox(lang == 0 ? QStringLiteral("Připojit posledních %1 změn z historie převodníku").arg(TFilesMenu::kReportChanges)
                                              : QStringLiteral("Add the converter's last %1 changes from its history").arg(TFilesMenu::kReportChanges),
                                    &dialog);
            history->setObjectName(QStringLiteral("ChckBxReportHistory"));
            history->setChecked(reportHistory);
            grid->addWidget(history, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    dialog.setNameFilter(report ? t.PdfFilter : t.FileFilter);
    if (use == TFileUse::OpenSettings) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDirectory(proposed);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(report ? QStringLiteral("pdf") : QStringLiteral("json"));
        dialog.setDirectory(QFileInfo(proposed).absolutePath());
        dialog.selectFile(QFileInfo(proposed).fileName());
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (history != nullptr)
        reportHistory = history->isChecked();
    return dialog.selectedFiles().value(0);
}

} // namespace

struct TFilesMenu::TOpened {
    QString path;
    config::SettingsFile file;
};

TFilesMenu::TFilesMenu(TFrmMain& frm) : QObject(&frm), frm_(frm)
{
    auto add = [this](const char* name, void (TFilesMenu::*click)()) {
        auto* action = new QAction(&frm_);
        action->setObjectName(QLatin1String(name));
        frm_.MenuFile->insertAction(frm_.MFileExit, action);
        connect(action, &QAction::triggered, this, click);
        return action;
    };
    MFileSave = add("MFileSave", &TFilesMenu::MFileSaveClick);
    MFileCompare = add("MFileCompare", &TFilesMenu::MFileCompareClick);
    MFileWrite = add("MFileWrite", &TFilesMenu::MFileWriteClick);
    frm_.MenuFile->insertSeparator(frm_.MFileExit);
    MFileReport = add("MFileReport", &TFilesMenu::MFileReportClick);
    frm_.MenuFile->insertSeparator(frm_.MFileExit);
    chooser_ = [this](QWidget* parent, TFileUse use, const QString& proposed) {
        return DefaultChoose(parent, use, proposed, lang_, ReportHistory);
    };
    frm_.PanelSettings->installEventFilter(this);
    UpdateEnabled();
}

void TFilesMenu::SetChooser(TChooser chooser)
{
    chooser_ = std::move(chooser);
}

void TFilesMenu::SetLang(int lang)
{
    lang_ = lang;
    const TFilesTexts t = FilesTexts(lang);
    MFileSave->setText(t.MFileSave);
    MFileCompare->setText(t.MFileCompare);
    MFileWrite->setText(t.MFileWrite);
    MFileReport->setText(t.MFileReport);
}

// A settings file shown in the form: no converter to work with.
bool TFilesMenu::OfflineInForm() const
{
    return frm_.Offline != nullptr && frm_.Offline->InForm();
}

// The commands need a converter: they follow the settings panel.
bool TFilesMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
        UpdateEnabled();
    return QObject::eventFilter(watched, event);
}

void TFilesMenu::UpdateEnabled()
{
    const bool connected = !frm_.PanelSettings->isHidden() && !OfflineInForm();
    for (QAction* a : {MFileSave, MFileCompare, MFileWrite, MFileReport})
        a->setEnabled(connected);
}

void TFilesMenu::MFileSaveClick()
{
    Run(&TFilesMenu::Save);
}

void TFilesMenu::MFileCompareClick()
{
    Run(&TFilesMenu::Compare);
}

void TFilesMenu::MFileWriteClick()
{
    Run(&TFilesMenu::Write);
}

void TFilesMenu::MFileReportClick()
{
    Run(&TFilesMenu::Report);
}

// One command at a time, and only with a converter connected. A port that
// closed by itself while the command ran is a lost connection, shown once
// the command is over.
void TFilesMenu::Run(void (TFilesMenu::*command)())
{
    Run(std::function<void()>([this, command] { (this->*command)(); }));
}

void TFilesMenu::Run(const std::function<void()>& command)
{
    Guarded([this, &command] {
        if (running_ || frm_.PanelSettings->isHidden() || OfflineInForm())
            return;
        struct TRunning {
            bool& flag;
            ~TRunning() { flag = false; }
        } running{running_};
        running_ = true;
        command();
        if (!frm_.PanelSettings->isHidden() && !frm_.ComPort.Active())
            frm_.ShowConnPanel();
    });
}

// What the converter holds now, never the form's unwritten edits.
void TFilesMenu::Save()
{
    const std::optional<SettingsBlock> block = ReadConverter();
    if (!block) {
        frm_.ShowConnPanel();
        return;
    }
    const QString path = Choose(TFileUse::SaveSettings,
                                config::ProposedFileName(SerialOf(*block), QDate::currentDate()));
    if (path.isEmpty())
        return;
    const QByteArray bytes = config::WriteSettingsFile(
        config::FileFromBlock(*block, QDateTime::currentDateTime(), Program()));
    if (WriteSettingsBytes(path, bytes))
        frm_.Form->SetStatus([this, shown = DisplayName(path)] { return FilesTexts(lang_).Saved.arg(shown); });
}

// The file appears whole and proven on disk, or not at all: read back, it
// must give the very settings meant.
bool TFilesMenu::WriteSettingsBytes(const QString& path, const QByteArray& bytes)
{
    const config::ReadResult meant = config::ReadSettingsFile(bytes);
    const QString reason = config::SaveProven(path, bytes, [&](const QByteArray& onDisk) {
        const config::ReadResult read = config::ReadSettingsFile(onDisk);
        return read.file && meant.file && read.file->settings == meant.file->settings
            ? QString()
            : config::ReadBackReason(read);
    });
    if (!reason.isEmpty()) {
        ShowErrorDialog(&frm_, FilesTexts(lang_).CannotSave.arg(DisplayName(path), reason));
        return false;
    }
    return true;
}

// The file the user picks against what the converter holds now. Nothing when
// the operation ends here: the file refused, the converter lost (the
// connection-lost handling has run) or no difference (the user was told).
std::optional<std::vector<config::Difference>> TFilesMenu::Differences(TOpened& opened)
{
    if (!OpenSettings(opened))
        return std::nullopt;
    return ConverterDifferences(DisplayName(opened.path), opened.file.settings);
}

std::optional<std::vector<config::Difference>> TFilesMenu::ConverterDifferences(const QString& name,
                                                                              const config::Settings& settings)
{
    const std::optional<SettingsBlock> block = ReadConverter();
    if (!block) {
        frm_.ShowConnPanel();
        return std::nullopt;
    }
    std::vector<config::Difference> diff = config::Diff(settings, *block);
    if (diff.empty()) {
        ShowInformationDialog(&frm_, FilesTexts(lang_).NoDifference.arg(name));
        return std::nullopt;
    }
    return diff;
}

void TFilesMenu::Compare()
{
    TOpened opened;
    const std::optional<std::vector<config::Difference>> diff = Differences(opened);
    if (!diff)
        return;
    TDiffDialog dialog(&frm_, TDiffDialog::TMode::Compare, lang_, DisplayName(opened.path), *diff);
    dialog.exec();
}

// The differences first; the user decides on the identity and writes.
// The write itself reads the converter again: it plans from what the
// converter holds at that moment, not from what the table showed.
void TFilesMenu::Write()
{
    TOpened opened;
    const std::optional<std::vector<config::Difference>> diff = Differences(opened);
    if (diff)
        WriteDifferences(DisplayName(opened.path), opened.file.settings, *diff);
}

void TFilesMenu::WriteSettings(const QString& name, const config::Settings& settings)
{
    Run([&] {
        if (const auto diff = ConverterDifferences(name, settings))
            WriteDifferences(name, settings, *diff);
    });
}

void TFilesMenu::WriteDifferences(const QString& name, const config::Settings& settings,
                                  const std::vector<config::Difference>& diff)
{
    TDiffDialog dialog(&frm_, TDiffDialog::TMode::Write, lang_, name, diff);
    if (dialog.exec() != QDialog::Accepted)
        return;

    TWriteProgress progress(&frm_, lang_);
    progress.show();
    config::RestoreOptions options;
    options.includeIdentity = dialog.IncludeIdentity();
    options.program = Program();
    options.port = QString::fromStdString(frm_.ComPort.DeviceName());
    options.onProgress = [&progress](Key key, int n, int count) { progress.Step(key, n, count); };
    options.cancelRequested = [&progress] { return progress.CancelRequested(); };
    const config::RestoreOutcome outcome = config::Restore(frm_.Link, settings, options);
    progress.Finish();
    progress.hide();

    ShowReport(&frm_, lang_, outcome);
    if (ConverterLost(outcome))
        frm_.ShowConnPanel();
    else if (AnythingWritten(outcome))
        frm_.Form->BtnLoadDataClick();
}

// The report of what the converter holds now; it is saved, not opened.
void TFilesMenu::Report()
{
    const std::optional<SettingsBlock> block = ReadConverter();
    if (!block) {
        frm_.ShowConnPanel();
        return;
    }
    const QDateTime readAt = QDateTime::currentDateTime();
    QString name = config::ProposedFileName(SerialOf(*block), readAt.date());
    name.replace(name.lastIndexOf(QLatin1Char('.')), name.size(), QStringLiteral(".pdf"));
    const QString path = Choose(TFileUse::SaveReport, name);
    if (path.isEmpty())
        return;
    const QString port = QString::fromStdString(frm_.ComPort.DeviceName());
    ReportInput input = ReportFromConverter(*block, port, readAt);
    if (ReportHistory)
        input.history = ReportChanges(config::HistoryPath(config::DefaultHistoryDir(), *block), kReportChanges);
    const QString error = WriteSettingsReport(path, input, lang_);
    if (!error.isEmpty()) {
        ShowErrorDialog(&frm_, FilesTexts(lang_).CannotSave.arg(DisplayName(path), error));
        return;
    }
    frm_.Form->SetStatus([this, shown = DisplayName(path)] { return FilesTexts(lang_).ReportSaved.arg(shown); });
}

// A file the library rejects is shown with every problem, key and reason,
// and goes no further.
bool TFilesMenu::OpenSettings(TOpened& opened)
{
    // A settings file open in the window is the one to compare or write,
    // with its edits.
    if (frm_.Offline != nullptr && frm_.Offline->IsOpen()) {
        opened.path = frm_.Offline->Path();
        opened.file.settings = frm_.Offline->Settings();
        return true;
    }
    return OpenSettingsFile(opened.path, opened.file);
}

bool TFilesMenu::OpenSettingsFile(QString& path, config::SettingsFile& opened)
{
    path = Choose(TFileUse::OpenSettings, QString());
    if (path.isEmpty())
        return false;
    const TFilesTexts t = FilesTexts(lang_);
    const auto bytes = config::ReadSettingsBytes(path);
    if (const QString* reason = std::get_if<QString>(&bytes)) {
        ShowErrorDialog(&frm_, t.CannotRead.arg(DisplayName(path), *reason));
        return false;
    }
    config::ReadResult read = config::ReadSettingsFile(std::get<QByteArray>(bytes));
    if (!read.file) {
        QStringList lines{t.Rejected.arg(DisplayName(path))};
        for (const config::Problem& p : read.problems)
            lines << QString::fromStdString(p.Message());
        ShowWarningDialog(&frm_, lines.join(QLatin1Char('\n')));
        return false;
    }
    opened = std::move(*read.file);
    return true;
}

std::optional<SettingsBlock> TFilesMenu::ReadConverter()
{
    const TSettingsForm::TText before = frm_.Form->Status();
    frm_.Form->SetStatus([this] { return frm_.Msg.MsgLoading; });
    std::optional<SettingsBlock> block = config::ReadBlock(frm_.Link);
    if (block)
        frm_.Form->SetStatus(before);
    return block;
}

// Offers `name` in the folder last used (the home folder at first).
QString TFilesMenu::Choose(TFileUse use, const QString& name)
{
    const QDir folder(folder_.isEmpty() ? QDir::homePath() : folder_);
    const QString path = chooser_(&frm_, use, name.isEmpty() ? folder.path() : folder.filePath(name));
    if (!path.isEmpty())
        folder_ = QFileInfo(path).absolutePath();
    return path;
}

} // namespace lk58
