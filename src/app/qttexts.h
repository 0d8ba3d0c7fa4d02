#pragma once

namespace lk58 {

// Qt's own texts (standard buttons, the file dialog, a line edit's context
// menu) in the window's language: Czech loads Qt's Czech catalogue into the
// application, English removes it. Qt's own texts are English without one.
// Without the catalogue they stay English, with one warning.
void UseQtTexts(bool czech);

} // namespace lk58
