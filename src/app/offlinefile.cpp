#include "app/offlinefile.h"

#include "app/fieldtexts.h"
#include "app/filesmenu.h"
#include "app/frmmain.h"
#include "config/values.h"
#include "core/apperror.h"
#include "settings/dialogs.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <variant>

namespace lk58 {
namespace {

using config::Key;

// The block a converter holding the file's settings would have: `block`
// with the settings stored into it.
SettingsBlock BlockOf(SettingsBlock block, const config::Settings& settings)
{
    for (const Key key : config::kKeys) {
        if (!settings.Has(key))
            continue;
        const SettingInfo& info = config::KeySetting(key);
        const config::Value& value = *settings[key];
        if (const auto* number = std::get_if<std::int32_t>(&value))
            StoreValue(block, info, *number);
        else if (const auto* text = std::get_if<Bytes>(&value))
            StoreText(block, info, *text);
        else
            StoreText(block, info, EncodeDateField(std::get<std::chrono::year_month_day>(value)));
    }
    return block;
}

// The setting a write to parameter `number` (the first of a text) changes.
std::optional<Key> KeyOfParameter(std::int32_t number)
{
    for (const Key key : config::kKeys)
        if (config::KeySetting(key).number == number)
            return key;
    return std::nullopt;
}

QString DisplayName(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

TOfflineFile::TOfflineFile(TFrmMain& frm) : QObject(&frm), frm_(frm)
{
    QAction* first = frm_.MenuFile->actions().value(0);
    auto add = [this, first](const char* name, void (TOfflineFile::*click)(), QKeySequence keys) {
        auto* action = new QAction(&frm_);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        frm_.MenuFile->insertAction(first, action);
        connect(action, &QAction::triggered, this, click);
        return action;
    };
    MFileOpen = add("MFileOpen", &TOfflineFile::MFileOpenClick, QKeySequence::Open);
    MFileSaveOpen = add("MFileSaveOpen", &TOfflineFile::MFileSaveOpenClick, QKeySequence::Save);
    MFileCloseOpen = add("MFileCloseOpen", &TOfflineFile::MFileCloseOpenClick, {});
    MFileToPort = add("MFileToPort", &TOfflineFile::MFileToPortClick, {});
    frm_.MenuFile->insertSeparator(first);
    // A connection made or lost changes what the items can do.
    connect(frm_.MenuFile, &QMenu::aboutToShow, this, &TOfflineFile::UpdateItems);
    target_.SetOnWrite([this](std::int32_t number) {
        if (const std::optional<Key> key = KeyOfParameter(number))
            keys_.insert(*key);
        SetModified(target_.Block() != savedBlock_ || keys_ != savedKeys_);
    });
    UpdateItems();
}

void TOfflineFile::SetLang(int lang)
{
    lang_ = lang;
    const TFieldTexts t = FieldTexts(lang);
    MFileOpen->setText(t.MFileOpen);
    MFileSaveOpen->setText(t.MFileSaveOpen);
    MFileCloseOpen->setText(t.MFileCloseOpen);
    MFileToPort->setText(t.MFileToPort);
}

// Each setting on its own: a range out of order must reach the check that
// refuses it, not vanish from the file.
config::Settings TOfflineFile::Settings() const
{
    config::Settings kept;
    for (const Key key : keys_)
        kept[key] = config::BlockValue(key, target_.Block());
    return kept;
}

QString TOfflineFile::Caption(const QString& base) const
{
    if (!IsOpen())
        return base;
    return QFileInfo(path_).fileName() + QStringLiteral("[*] - ") + base;
}

void TOfflineFile::MFileOpenClick()
{
    Guarded([this] { Open(); });
}

void TOfflineFile::MFileSaveOpenClick()
{
    Guarded([this] { Save(); });
}

void TOfflineFile::MFileCloseOpenClick()
{
    Guarded([this] { Close(); });
}

// The file stays held: once a converter answers, "Write file to converter"
// takes it, with what was typed but not yet entered (as Save takes it).
void TOfflineFile::MFileToPortClick()
{
    Guarded([this] {
        if (!inForm_ || !frm_.Form->CommitMarked())
            return;
        LeaveForm();
        frm_.PanelSettings->hide();
        frm_.PanelConnect->show();
        frm_.CmbBxComPorts->setFocus(Qt::OtherFocusReason);
    });
}

// Only while no converter is connected: the form is then free, and the
// port stays closed for as long as it shows the file.
void TOfflineFile::Open()
{
    if (frm_.ComPort.Active() || frm_.Link.Busy())
        return;
    if (!ConfirmDiscard())
        return;
    QString path;
    config::SettingsFile file;
    if (!frm_.Files->OpenSettingsFile(path, file))
        return;
    path_ = path;
    keys_.clear();
    for (const Key key : config::kKeys)
        if (file.settings.Has(key))
            keys_.insert(key);
    // A file saved from a converter records its whole block: the words no
    // setting names stay as the converter had them. Elsewhere they are zero.
    hasBlock_ = file.block.has_value();
    target_.SetBlock(BlockOf(file.block.value_or(SettingsBlock()), file.settings));
    savedBlock_ = target_.Block();
    savedKeys_ = keys_;
    modified_ = false;
    Show();
}

// The same form as a converter's, with the file as its commit target.
// Settings the file leaves out stay blank.
void TOfflineFile::Show()
{
    inForm_ = true;
    TSettingsForm& form = *frm_.Form;
    form.SetCommitTarget(&target_);
    form.ClearForm();
    form.SetStatus([this, shown = DisplayName(path_)] { return FieldTexts(lang_).OpenedStatus.arg(shown); });
    form.ShowBlock(target_.Block(), [this](const SettingInfo& s) { return Shows(s); });
    form.Ctl.BtnLoadData->setEnabled(false);
    frm_.PanelConnect->hide();
    frm_.PanelSettings->show();
    frm_.UpdateCaption();
    UpdateItems();
}

bool TOfflineFile::Shows(const SettingInfo& setting) const
{
    const std::optional<Key> key = KeyOfParameter(setting.number);
    return key && keys_.contains(*key);
}

// A file that would not read back is not written: the program itself
// would refuse it afterwards (a range end equal to its begin, say).
//
// What is typed but not yet entered goes into the file as Enter would put
// it; a field whose rule refuses its value stops the save, having said why.
bool TOfflineFile::Save()
{
    if (!IsOpen())
        return false;
    if (inForm_ && !frm_.Form->CommitMarked())
        return false;
    config::SettingsFile file;
    file.saved = QDateTime::currentDateTime();
    file.program = QStringLiteral("LK58 ") + QCoreApplication::applicationVersion();
    file.settings = Settings();
    if (hasBlock_)
        file.block = target_.Block();
    const QByteArray bytes = config::WriteSettingsFile(file);
    const config::ReadResult check = config::ReadSettingsFile(bytes);
    QStringList lost;
    for (const Key key : keys_)
        if (!file.settings.Has(key))
            lost << QStringLiteral("settings.") + QString::fromUtf8(config::KeyName(key).data(), qsizetype(config::KeyName(key).size()));
    if (!check.file || !lost.isEmpty()) {
        QStringList lines{FieldTexts(lang_).NotReadable.arg(DisplayName(path_))};
        for (const config::Problem& p : check.problems)
            lines << QString::fromStdString(p.Message());
        if (!lost.isEmpty())
            lines << FieldTexts(lang_).NoValue.arg(lost.join(QStringLiteral(", ")));
        ShowWarningDialog(&frm_, lines.join(QLatin1Char('\n')));
        return false;
    }
    if (!frm_.Files->WriteSettingsBytes(path_, bytes))
        return false;
    savedBlock_ = target_.Block();
    savedKeys_ = keys_;
    SetModified(false);
    if (inForm_)
        frm_.Form->SetStatus([this, shown = DisplayName(path_)] { return FieldTexts(lang_).SavedStatus.arg(shown); });
    return true;
}

void TOfflineFile::Close()
{
    if (!IsOpen() || !ConfirmDiscard())
        return;
    path_.clear();
    keys_.clear();
    SetModified(false);
    if (inForm_) {
        LeaveForm();
        frm_.Form->ClearForm();
        frm_.PanelSettings->hide();
        frm_.PanelConnect->show();
    }
    frm_.UpdateCaption();
    UpdateItems();
}

// An edit typed into the file's form and not yet entered counts as unsaved.
bool TOfflineFile::ConfirmDiscard()
{
    if (!IsOpen() || !(modified_ || (inForm_ && frm_.Form->AnyMarked())))
        return true;
    const TFieldTexts t = FieldTexts(lang_);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    t.AskSave.arg(DisplayName(path_)), QMessageBox::NoButton, &frm_);
    QPushButton* save = box.addButton(t.BtnSave, QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(t.BtnDiscard, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(t.BtnCancel, QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return Save();
    return box.clickedButton() == discard;
}

void TOfflineFile::LeaveForm()
{
    if (!inForm_)
        return;
    inForm_ = false;
    frm_.Form->SetCommitTarget(nullptr);
    frm_.Form->Ctl.BtnLoadData->setEnabled(true);
    UpdateItems();
}

void TOfflineFile::SetModified(bool modified)
{
    modified_ = modified;
    frm_.setWindowModified(modified);
}

// The converter's items follow too: the form may change hands while the
// settings panel stays up (a converter connected from the file's form).
void TOfflineFile::UpdateItems()
{
    MFileOpen->setEnabled(!frm_.ComPort.Active());
    MFileSaveOpen->setEnabled(IsOpen());
    MFileCloseOpen->setEnabled(IsOpen());
    MFileToPort->setEnabled(inForm_);
    frm_.Files->UpdateEnabled();
}

} // namespace lk58
