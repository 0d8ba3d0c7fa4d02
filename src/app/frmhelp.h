#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace lk58 {

// The help window: the fixed bilingual help text and an OK button. It has no
// caption-bar buttons and Esc does not close it; OK does.
class TFrmHelp : public QDialog {
    Q_OBJECT

public:
    explicit TFrmHelp(QWidget* parent = nullptr);

    QPlainTextEdit* MemoHlp = nullptr;
    QPushButton* BtnHlpClose = nullptr;

public slots:
    void BtnHlpCloseClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace lk58
