#pragma once

#include <QString>
#include <exception>

namespace lk58 {

// The text of an error as the error box shows it: the error's message
// without the line breaks that end it, with a full stop appended when its
// last character sorts after "." (so a text ending in ".", "!" or a space
// gets none).
QString ErrorBoxText(const QString& message);
QString ErrorMessage(std::exception_ptr error);

// The modal critical box, captioned with the application title, for an
// error that escaped a handler.
void ShowErrorBox(std::exception_ptr error);
// Routes every error handed to HandleException to ShowErrorBox.
void InstallErrorBox();

} // namespace lk58
