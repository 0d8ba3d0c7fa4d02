#pragma once

// Device nodes with the group, mode or lock file that a test of a port's
// open errors asks for by a placeholder. POSIX only.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lk58::test {

// `device` "@node GROUP MODE": a node of that group and mode (octal);
// "@locked": a node whose lock file, in a folder that LK58_LOCK_DIR is set
// to, names this test's parent, which runs as long as the test does. Puts
// the node's path in `device` and replaces "@node", "@pid", "@program" and
// "@lock" in `text`; a device without "@" stays as it is. False when this
// user cannot make it (giving a file a group needs root or membership).
inline bool MakeDeviceNode(QString& device, QString& text)
{
    static QTemporaryDir dir;
    static int made = 0;
    const QStringList asked = device.split(' ');
    if (!asked[0].startsWith('@'))
        return true;
    const QString path = dir.filePath(QStringLiteral("ttyLK%1").arg(made++));
    QFile node(path);
    if (!node.open(QIODevice::WriteOnly))
        return false;
    node.close();
    device = path;
    text.replace("@node", path);
    const QByteArray name = QFile::encodeName(path);
    if (asked[0] == "@node") {
        const group* g = ::getgrnam(asked.value(1).toLocal8Bit().constData());
        return g && ::chown(name.constData(), uid_t(-1), g->gr_gid) == 0
               && ::chmod(name.constData(), asked.value(2).toUInt(nullptr, 8)) == 0;
    }
    const QString lockDir = dir.filePath("lock");
    QDir().mkpath(lockDir);
    qputenv("LK58_LOCK_DIR", QFile::encodeName(lockDir));
    const QString lock = lockDir + "/LCK.." + QFileInfo(path).fileName();
    const pid_t pid = ::getppid();
    QFile lockFile(lock);
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!lockFile.open(QIODevice::WriteOnly) || !comm.open(QIODevice::ReadOnly))
        return false;
    lockFile.write(QByteArray::number(pid).rightJustified(10) + '\n');
    text.replace("@pid", QString::number(pid)).replace("@lock", lock);
    text.replace("@program", QString::fromLocal8Bit(comm.readAll().trimmed()));
    return true;
}

} // namespace lk58::test
