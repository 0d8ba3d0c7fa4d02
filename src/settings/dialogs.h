#pragma once

#include <QString>

class QWidget;

namespace lk58 {

// Modal message boxes with the icon of their kind and a single OK button;
// they return when the user has closed them. The captions are the kinds'
// words, the same in every language.
void ShowErrorDialog(QWidget* parent, const QString& text);
void ShowWarningDialog(QWidget* parent, const QString& text);
void ShowInformationDialog(QWidget* parent, const QString& text);

} // namespace lk58
