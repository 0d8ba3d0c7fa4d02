#pragma once

// File > "Converter history…": the connected converter's change log and the
// backups made before file writes, newest first, and the way back to the
// state before any of them.

#include "config/history.h"

#include <QDialog>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class QAction;
class QComboBox;
class QPushButton;
class QTableWidget;

namespace lk58 {

class TChangeJournal;
class TFrmMain;

// The records and backups of one converter in one table, filterable by
// setting. A backup stands for the whole state before a file write.
class THistoryDialog : public QDialog {
    Q_OBJECT

public:
    THistoryDialog(QWidget* parent, int lang, const std::vector<config::HistoryRecord>& records,
                   const std::vector<config::BackupEntry>& backups, const QStringList& warnings);

    QComboBox* CmbBxFilter = nullptr;
    QTableWidget* TblHistory = nullptr;
    QPushButton* BtnRestore = nullptr;
    QPushButton* BtnClose = nullptr;

    // What the user chose to go back before (after Restore was pressed).
    struct TChoice {
        std::optional<qint64> recordId; // a change of the log
        int backup = -1;                // else the backup of this index
    };
    TChoice Chosen() const { return chosen_; }

private:
    void Filter();
    void Choose();

    std::vector<std::optional<config::Key>> rowKeys_; // none: a backup's row
    TChoice chosen_;
};

// The menu item, and the journal that records the form's writes.
class THistoryMenu : public QObject {
    Q_OBJECT

public:
    explicit THistoryMenu(TFrmMain& frm);
    ~THistoryMenu() override;

    QAction* MFileHistory = nullptr;

    void SetLang(int lang);
    // A converter was connected: its settings are read before the next write.
    void Connected();

    // Runs the dialog; tests answer it through a watcher of modal dialogs.
    void MFileHistoryClick();

private:
    void Show();

    TFrmMain& frm_;
    std::unique_ptr<TChangeJournal> journal_;
    int lang_ = 0;
};

} // namespace lk58
