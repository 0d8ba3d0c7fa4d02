// The proven writer on Windows: a file made read-only and a file that
// another program holds open (a viewer showing the report) are refused
// with their reasons, the old file stays, and no new file stays behind.
#include "config/diskfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

using namespace lk58;

namespace {

const wchar_t* Wide(const QString& path)
{
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

} // namespace

class TstWinDiskFile : public QObject {
    Q_OBJECT

private slots:
    void refusedLeavesNothingBehind_data()
    {
        QTest::addColumn<QString>("hold");
        QTest::addColumn<QString>("reason"); // empty: saved
        QTest::newRow("replaced") << "" << "";
        QTest::newRow("read-only attribute") << "read-only" << "the file is read-only";
        QTest::newRow("open in a viewer") << "open"
                                          << "the file is open in another program; close it there and try again";
        QTest::newRow("refused by its reader") << "check" << "not what was meant";
        QTest::newRow("cut short on disk") << "truncate" << "read back from disk, it holds 0 of 14 bytes";
    }
    void refusedLeavesNothingBehind()
    {
        QFETCH(QString, hold);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("report.pdf");
        const QByteArray old = "old contents\n", bytes = "fourteen bytes";
        QFile before(path);
        QVERIFY(before.open(QIODevice::WriteOnly) && before.write(old) == old.size());
        before.close();
        const QString native = QDir::toNativeSeparators(path);
        if (hold == "read-only")
            QVERIFY(::SetFileAttributesW(Wide(native), FILE_ATTRIBUTE_READONLY));
        HANDLE viewer = INVALID_HANDLE_VALUE;
        if (hold == "open") {
            // As a PDF viewer opens it: others may read, not delete or rename.
            viewer = ::CreateFileW(Wide(native), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            QVERIFY(viewer != INVALID_HANDLE_VALUE);
        }
        config::testing::SetBeforeReadBack([&](const QString& written) {
            if (hold == "truncate")
                QFile(written).resize(0);
        });
        const auto check = [&](const QByteArray&) { return hold == "check" ? QString("not what was meant") : QString(); };
        const QString said = config::SaveProven(path, bytes, check);
        config::testing::SetBeforeReadBack({});
        if (viewer != INVALID_HANDLE_VALUE)
            ::CloseHandle(viewer);
        const DWORD attributes = ::GetFileAttributesW(Wide(native));
        ::SetFileAttributesW(Wide(native), FILE_ATTRIBUTE_NORMAL); // so that the folder can go

        QCOMPARE(said, reason);
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), reason.isEmpty() ? bytes : old);
        QCOMPARE(bool(attributes & FILE_ATTRIBUTE_READONLY), hold == "read-only");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"report.pdf"});
    }
};

QTEST_GUILESS_MAIN(TstWinDiskFile)
#include "tst_windiskfile.moc"
