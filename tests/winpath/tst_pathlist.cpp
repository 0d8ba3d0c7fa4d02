// The installer's Path edits: our folder joins once, leaves exactly, and
// every other byte of the value stays.
#include "winpath/pathlist.h"

#include <QtTest>

using namespace lk58::winpath;

namespace {

// "-" stands for "no change".
QString Shown(const std::optional<std::wstring>& path)
{
    return path ? QString::fromStdWString(*path) : QStringLiteral("-");
}

const QString kFolder = QStringLiteral("C:\\Program Files\\LK58");

} // namespace

class TstPathList : public QObject {
    Q_OBJECT

private slots:
    void edits_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QString>("removed"); // from `added`
        QTest::newRow("empty") << "" << kFolder << "";
        QTest::newRow("one folder") << "C:\\Windows" << "C:\\Windows;" + kFolder << "C:\\Windows";
        QTest::newRow("ends in a semicolon") << "C:\\A;" << "C:\\A;" + kFolder + ";" << "C:\\A;";
        QTest::newRow("empty entries kept") << "C:\\A;;%SystemRoot%;;" << "C:\\A;;%SystemRoot%;" + kFolder + ";;"
                                            << "C:\\A;;%SystemRoot%;;";
        QTest::newRow("nothing but semicolons") << ";;" << kFolder + ";;;" << ";;";
        QTest::newRow("there already") << "C:\\A;" + kFolder + ";C:\\B" << "-" << "C:\\A;C:\\B";
        QTest::newRow("in other case, with a backslash")
            << "c:\\program files\\lk58\\;C:\\B" << "-" << "C:\\B";
        QTest::newRow("quoted") << "\"C:\\Program Files\\LK58\";C:\\B" << "-" << "C:\\B";
        QTest::newRow("twice, both leave") << kFolder + ";C:\\B;" + kFolder << "-" << "C:\\B";
        QTest::newRow("a folder inside ours stays") << kFolder + "\\bin" << kFolder + "\\bin;" + kFolder << kFolder + "\\bin";
        QTest::newRow("a longer name stays") << "C:\\Program Files\\LK58 old" << "C:\\Program Files\\LK58 old;" + kFolder
                                             << "C:\\Program Files\\LK58 old";
        const QString longPath = QStringList(60, QStringLiteral("C:\\Tools\\Some vendor\\bin")).join(';');
        QTest::newRow("1,500 characters") << longPath << longPath + ";" + kFolder << longPath;
    }
    void edits()
    {
        QFETCH(QString, path);
        QFETCH(QString, added);
        QFETCH(QString, removed);
        const std::optional<std::wstring> add = AddFolder(path.toStdWString(), kFolder.toStdWString());
        QCOMPARE(Shown(add), added);
        const std::wstring after = add ? *add : path.toStdWString();
        QCOMPARE(Shown(RemoveFolder(after, kFolder.toStdWString())), removed);
        // A second install finds the folder there.
        QCOMPARE(Shown(AddFolder(after, kFolder.toStdWString())), QStringLiteral("-"));
    }

    void removeWithoutOurFolder()
    {
        QCOMPARE(Shown(RemoveFolder(L"C:\\A;;C:\\B;", kFolder.toStdWString())), QStringLiteral("-"));
        QCOMPARE(Shown(RemoveFolder(L"", kFolder.toStdWString())), QStringLiteral("-"));
    }

    void sameFolder_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("same");
        QTest::newRow("Czech letters in other case") << "C:\\Users\\JIŘÍ ČÁSLAVSKÝ\\LK58"
                                                     << "c:\\users\\jiří čáslavský\\lk58" << true;
        QTest::newRow("Ň, Ť, Ď, Ů, Ě, Ž") << "D:\\ŇŤĎŮĚŽ" << "d:\\ňťďůěž" << true;
        QTest::newRow("Cyrillic and Greek") << "D:\\ПРОГРАММЫ\\ΑΒΓ" << "d:\\программы\\αβγ" << true;
        QTest::newRow("another letter") << "C:\\LK58" << "C:\\LK59" << false;
        QTest::newRow("č is not c") << "C:\\Účet" << "C:\\Ucet" << false;
        QTest::newRow("an empty entry is no folder") << "" << "" << false;
    }
    void sameFolder()
    {
        QFETCH(QString, entry);
        QFETCH(QString, folder);
        QFETCH(bool, same);
        QCOMPARE(SameFolder(entry.toStdWString(), folder.toStdWString()), same);
    }
};

QTEST_GUILESS_MAIN(TstPathList)
#include "tst_pathlist.moc"
