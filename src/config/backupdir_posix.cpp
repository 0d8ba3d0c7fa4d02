#include "config/restore.h"

#include <QDir>

namespace lk58::config {

QString DefaultBackupDir()
{
    // XDG: a relative XDG_DATA_HOME is invalid and ignored.
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + "/.local/share";
    return data + "/LK58/backups";
}

} // namespace lk58::config
