#include "config/datafolder.h"

#include <QDir>
#include <QStandardPaths>

namespace lk58::config {

QString UserDataFolder(const QString& name, const char*)
{
    // %LOCALAPPDATA%: per user, and not carried to other machines as the
    // roaming folder would be. Windows sets the variable to the known
    // folder; one that names another full path moves LK58's data there, as
    // XDG_DATA_HOME does on Linux (a test's own folder, a portable setup).
    QString local = qEnvironmentVariable("LOCALAPPDATA");
    if (local.isEmpty() || QDir::isRelativePath(local))
        local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir::fromNativeSeparators(local) + "/LK58/" + name;
}

} // namespace lk58::config
