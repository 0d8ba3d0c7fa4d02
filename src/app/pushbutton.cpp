#include "app/pushbutton.h"

#include <QKeyEvent>

namespace lk58 {

TPushButton::TPushButton(QWidget* parent) : TPushButton(QString(), parent) {}

TPushButton::TPushButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    // A dialog makes its first auto-default button the default one, which
    // then takes Enter from every other control of the dialog.
    setAutoDefault(false);
}

void TPushButton::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier && !event->isAutoRepeat()) {
        event->accept();
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace lk58
