#pragma once

// A settings file in the form, with no converter attached: File > "Open
// settings file…" fills the settings panel from the file, Enter and the
// choices change the file in memory (the same form, another commit
// target), File > Save writes it. The file stays held while the user goes
// on to connect a converter, so that "Write file to converter…" and
// "Compare with file…" take it, edits included. Nothing is sent on the
// serial line while the form shows the file: the port stays closed.

#include "config/settingsfile.h"
#include "settings/committarget.h"

#include <QObject>
#include <QString>

#include <set>

class QAction;

namespace lk58 {

class TFrmMain;

class TOfflineFile : public QObject {
    Q_OBJECT

public:
    // Adds its items to the window's File menu, above the converter's.
    explicit TOfflineFile(TFrmMain& frm);

    QAction* MFileOpen = nullptr;
    QAction* MFileSaveOpen = nullptr;
    QAction* MFileCloseOpen = nullptr;
    QAction* MFileToPort = nullptr;

    // A file is held (in the form or behind a converter's form).
    bool IsOpen() const { return !path_.isEmpty(); }
    // The form shows the file.
    bool InForm() const { return inForm_; }
    bool Modified() const { return modified_; }
    const QString& Path() const { return path_; }
    // The file's settings with the edits made in the form.
    config::Settings Settings() const;

    // Unsaved edits: asks whether to save them. False when the user
    // cancelled or the save failed: whatever was to follow must not.
    bool ConfirmDiscard();
    // The window's caption for `base`: the file's name in front while one is
    // held, with the mark of unsaved edits.
    QString Caption(const QString& base) const;
    void SetLang(int lang);
    // The port panel is shown again: the form no longer shows the file.
    void LeaveForm();

public slots:
    void MFileOpenClick();
    void MFileSaveOpenClick();
    void MFileCloseOpenClick();
    void MFileToPortClick();

private:
    void Open();
    bool Save();
    void Close();
    void Show();
    void SetModified(bool modified);
    void UpdateItems();
    bool Shows(const SettingInfo& setting) const;

    TFrmMain& frm_;
    TBlockTarget target_;
    QString path_;
    // The settings the file holds, and those edited since it was opened:
    // the ones a save writes.
    std::set<config::Key> keys_;
    // As last opened or saved: edits since then are unsaved.
    SettingsBlock savedBlock_;
    std::set<config::Key> savedKeys_;
    // The file recorded the converter's whole block: a save records it too.
    bool hasBlock_ = false;
    bool inForm_ = false;
    bool modified_ = false;
    int lang_ = 0;
};

} // namespace lk58
