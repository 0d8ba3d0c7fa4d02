#pragma once

#include <QPushButton>

namespace lk58 {

// A push button that Enter presses while it has the focus, as Space does,
// in the main window and in a dialog alike. It is never a dialog's default
// button: Enter pressed anywhere else does not reach it.
class TPushButton : public QPushButton {
    Q_OBJECT

public:
    explicit TPushButton(QWidget* parent = nullptr);
    TPushButton(const QString& text, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace lk58
