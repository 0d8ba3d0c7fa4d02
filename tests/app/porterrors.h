#pragma once

// Rows for a test of the box shown when a port does not open, with the
// error codes of this system (one file per platform): columns lang (int),
// code (int), system (QString, the system's own text), device (QString) and
// text (QString, the whole box text).
void AddPortErrorRows();
