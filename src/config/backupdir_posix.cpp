#include "config/datafolder.h"

#include <QDir>

#include <stdexcept>
#include <string>

namespace lk58::config {

QString UserDataFolder(const QString& name, const char* purpose)
{
    // XDG: a relative XDG_DATA_HOME is invalid and ignored, and so is a
    // relative HOME; with neither there is no user's folder to put it in
    // (QDir::homePath() would give "/").
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data)) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty() || QDir::isRelativePath(home))
            throw std::runtime_error(std::string("no folder for ") + purpose
                                     + ": neither HOME nor XDG_DATA_HOME is set to a full path; set one of them");
        data = home + "/.local/share";
    }
    return data + "/LK58/" + name;
}

} // namespace lk58::config
