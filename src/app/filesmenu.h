#pragma once

// The File menu's settings-file commands: save the converter's settings to
// a file, compare the converter with a file, write a file to the converter,
// and save a settings report (PDF). They are offered while the settings
// panel shows, one at a time.

#include "config/restore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QByteArray;
class QWidget;

namespace lk58 {

class SettingsBlock;
class TFrmMain;

// What a file is chosen for.
enum class TFileUse { SaveSettings, OpenSettings, SaveReport };

class TFilesMenu : public QObject {
    Q_OBJECT

public:
    // Adds the items to the window's File menu, above Exit.
    explicit TFilesMenu(TFrmMain& frm);

    QAction* MFileSave = nullptr;
    QAction* MFileCompare = nullptr;
    QAction* MFileWrite = nullptr;
    QAction* MFileReport = nullptr;
    // The report lists the converter's last kReportChanges changes; the
    // report's file dialog holds the check box.
    static constexpr int kReportChanges = 10;
    bool ReportHistory = false;

    // Asks the user for a file; an empty result means the user cancelled.
    // `proposed` is the path to offer (a name in the last folder used).
    using TChooser = std::function<QString(QWidget* parent, TFileUse use, const QString& proposed)>;
    // The file dialogs by default; tests choose their files through this.
    void SetChooser(TChooser chooser);

    void SetLang(int lang);

    // Asks for a settings file and reads it; a file the library rejects is
    // shown with every problem. False: cancelled or refused.
    bool OpenSettingsFile(QString& path, config::SettingsFile& file);
    // Writes a settings file's bytes to `path`, whole or not at all; a
    // failure is shown and gives false.
    bool WriteSettingsBytes(const QString& path, const QByteArray& bytes);
    // Asks the user for a file (see TChooser), offering `name` in the folder
    // last used.
    QString Choose(TFileUse use, const QString& name);

    // Writes `settings` to the converter as a file is written (the
    // differences shown, a backup, only what differs, read back); `name`
    // names them in the dialogs.
    void WriteSettings(const QString& name, const config::Settings& settings);

    // True while a command runs.
    bool Running() const { return running_; }
    // Offers the commands while a converter's form shows.
    void UpdateEnabled();

public slots:
    void MFileSaveClick();
    void MFileCompareClick();
    void MFileWriteClick();
    void MFileReportClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Run(void (TFilesMenu::*command)());
    void Run(const std::function<void()>& command);
    void Save();
    void Compare();
    void Write();
    void Report();
    struct TOpened;
    bool OpenSettings(TOpened& opened);
    std::optional<SettingsBlock> ReadConverter();
    std::optional<std::vector<config::Difference>> Differences(TOpened& opened);
    std::optional<std::vector<config::Difference>> ConverterDifferences(const QString& name,
                                                                        const config::Settings& settings);
    void WriteDifferences(const QString& name, const config::Settings& settings,
                          const std::vector<config::Difference>& diff);
    bool OfflineInForm() const;

    TFrmMain& frm_;
    TChooser chooser_;
    QString folder_;
    int lang_ = 0;
    bool running_ = false;
};

} // namespace lk58
