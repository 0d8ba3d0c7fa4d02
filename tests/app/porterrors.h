#pragma once

#include <QString>

// Rows for a test of the box shown when a port does not open, with the
// error codes of this system (one file per platform): columns lang (int),
// code (int), system (QString, the system's own text), device (QString) and
// text (QString, the whole box text).
void AddPortErrorRows();

// Makes the device node a row's device stands for when it is a placeholder
// ("@node GROUP MODE": a node of that group and mode; "@locked": a node
// whose lock file names a running process) and puts its path in `device`
// and what goes with it ("@node", "@pid", "@program", "@lock") in `text`.
// False when this system or user cannot make it.
bool PreparePortErrorRow(QString& device, QString& text);
