#include "config/datafolder.h"

#include <QStandardPaths>

namespace lk58::config {

QString UserDataFolder(const QString& name, const char*)
{
    // Qt's generic data folder on Windows is %LOCALAPPDATA%: per user, and
    // not carried to other machines as the roaming folder would be.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/LK58/" + name;
}

} // namespace lk58::config
