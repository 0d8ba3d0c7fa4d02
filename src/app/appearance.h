#pragma once

#include <QFont>
#include <QString>

class QApplication;

namespace lk58 {

// The application title: the error box's caption and the desktop entry's name.
inline const QString kAppTitle = QStringLiteral("LK58 - TAVRIN");

// The families of the layout's fonts: Liberation Sans and Liberation Mono,
// or on Windows, which lacks them, Arial and Courier New, whose letters
// have the same widths (one file per platform).
QString SansFamily();
QString MonoFamily();
// Where those families are missing (Wine has no Arial), the fonts drawn to
// their widths stand in (one file per platform).
void AddFontStandIns();

// The layout was drawn for an 11-pixel sans font at 96 pixels per inch.
QFont DefaultFont();      // 11 px regular
QFont FieldFont();        // 13 px bold, the settings fields
QFont MarkFont();         // 19 px bold, the red change marks
QFont HelpFont();         // 11 px fixed pitch, the help text

// Style, font, names and icon of the application; call before any widget
// exists, so that every widget takes the font and style from the start.
void SetUpApplication(QApplication& app);

} // namespace lk58
