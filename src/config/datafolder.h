#pragma once

// Where LK58 keeps its own data for the user; one file per system
// (backupdir_*.cpp).

#include <QString>

namespace lk58::config {

// The folder `name` of LK58's data in the user's data folder; throws
// std::runtime_error naming `purpose` when the system gives none.
QString UserDataFolder(const QString& name, const char* purpose);

} // namespace lk58::config
