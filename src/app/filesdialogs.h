#pragma once

// The dialogs of the settings-file commands: the table of differences
// between a converter and a file, the progress of a write, and the text of
// a write's report.

#include "config/restore.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace lk58 {

// The settings in which a converter differs from a file: setting,
// converter's value, file's value. To compare, it only shows them; before a
// write it also offers to include the converter's identity (off at first),
// and Write accepts it.
class TDiffDialog : public QDialog {
    Q_OBJECT

public:
    enum class TMode { Compare, Write };

    TDiffDialog(QWidget* parent, TMode mode, int lang, const QString& fileName,
                const std::vector<config::Difference>& diff);

    QLabel* LblIntro = nullptr;
    QTableWidget* TblDiff = nullptr;
    QCheckBox* ChckBxIdentity = nullptr; // only before a write
    QPushButton* BtnWrite = nullptr;     // only before a write
    QPushButton* BtnClose = nullptr;     // Close, or Cancel before a write

    bool IncludeIdentity() const;

private:
    void IdentityToggled();

    std::vector<int> identityRows_;
    int rows_ = 0;
};

// A write under way: the setting being written, a bar of n of count, and
// Cancel, which asks the run to stop after the current write. Esc and the
// caption's close button cancel too; the dialog stays up until the run
// has ended.
class TWriteProgress : public QDialog {
    Q_OBJECT

public:
    TWriteProgress(QWidget* parent, int lang);

    QLabel* LblWriting = nullptr;
    QProgressBar* PrgBar = nullptr;
    QPushButton* BtnCancel = nullptr;

    // Before write n (1 based) of count.
    void Step(config::Key key, int n, int count);
    void Finish();
    // Delivers any Cancel the user gave while the last write's reply was
    // awaited (the wait takes no user input), then tells whether Cancel
    // was asked for.
    bool CancelRequested();

    void reject() override;

private:
    int lang_;
    bool cancel_ = false;
};

// The report of a write: what became of each setting, and the backup's path.
QString WriteReport(int lang, const config::RestoreOutcome& outcome);

} // namespace lk58
