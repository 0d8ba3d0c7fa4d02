#pragma once

#include <QStringList>

// Rows for a test of why a port will not open, with the codes of this
// system (one file per platform): columns code (int), system (QString, the
// system's own text), path (QString) and says (QStringList, texts the
// explanation must hold).
void AddOpenErrorRows();

// Makes the device a row's path stands for where it is a placeholder (see
// tests/common/devicenode.h) and fills in what `says` refers to; false when
// this system or user cannot make it.
bool PrepareOpenErrorRow(QString& path, QStringList& says);

// Rows of two port names and whether they name one port: a, b (@dir: a
// folder whose "link" leads to /dev/null where links exist), same.
void AddSamePortRows();

// Rows of this system's error codes and whether an open that fails with
// one met a port another program holds: code (int), busy (bool).
void AddBusyCodeRows();
