// The factory block and the block file the simulator loads and saves.

#include "sim/blockfile.h"
#include "settings/parammap.h"
#include "sim/protocol.h"

#include <QtTest>

#include <fstream>

using namespace lk58;

namespace {
std::string ValidFile()
{
    std::string text;
    for (int n = 1; n <= 64; ++n)
        text += (n < 10 ? "0" : "") + std::to_string(n) + " 0000\n";
    return text;
}

void ReplaceLine(std::string& text, int n, const std::string& line)
{
    const std::size_t at = 8 * std::size_t(n - 1);
    text.replace(at, 7, line);
}
} // namespace

class TstBlockFile : public QObject {
    Q_OBJECT

private slots:
    void factorySettingsLoadIntoTheForm()
    {
        // What the program's loader makes of the factory block.
        const LoadedSettings f = DecodeSettings(SettingsBlock(DefaultBlock()));
        QCOMPARE(f.type, std::string("TQ36"));
        QCOMPARE(f.serial, std::string("36012345"));
        QCOMPARE(f.name, std::string("Boiler 2"));
        QCOMPARE(f.person, std::string("Jan Nov\u00E1k"));
        QCOMPARE(f.date.corruptReports, 0);
        QVERIFY(f.date.date == std::chrono::year_month_day(std::chrono::year(2026), std::chrono::March,
                                                             std::chrono::day(14)));
        QCOMPARE(f.inputItem, 1);  // K
        QCOMPARE(f.inputErrorItem, 1);
        QCOMPARE(f.outputItem, 2); // 4-20 mA
        QCOMPARE(f.wiringItem, 0);
        QVERIFY(!f.outputLimit);
        QVERIFY(f.coldComp);
        QCOMPARE(f.rangeBeginText, std::string("000"));
        QCOMPARE(f.rangeEndText, std::string("0400"));
        QCOMPARE(f.setTempText, std::string(" 25,0"));
        QCOMPARE(f.resCompText, std::string(" 12,34"));
        // Text fields are zero after the text, so nothing stray hides there.
        QCOMPARE(sim::GetWord(DefaultBlock(), 43), std::uint16_t(0x6B00));
        QCOMPARE(sim::GetWord(DefaultBlock(), 46), std::uint16_t(0));
    }

    void formatLines()
    {
        const std::string text = FormatBlock(DefaultBlock());
        QVERIFY(text.starts_with("# "));
        QVERIFY(text.find("\n01 0002  |..|\n") != std::string::npos);
        QVERIFY(text.find("\n22 5451  |TQ|\n") != std::string::npos);
        QVERIFY(text.find("\n42 76E1  |v.|\n") != std::string::npos);
        QVERIFY(text.find("\n64 04D2  |..|\n") != std::string::npos);
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), 65);
    }

    void roundTripThroughAFile()
    {
        Tq36Block block{};
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = std::uint8_t(i * 37 + 11);
        QTemporaryDir dir;
        const std::string path = (dir.path() + "/block.txt").toStdString();
        std::string error;
        QVERIFY(SaveBlockFile(path, DefaultBlock(), error));
        QVERIFY2(SaveBlockFile(path, block, error), error.c_str()); // over the old file
        Tq36Block loaded = DefaultBlock();
        QVERIFY2(LoadBlockFile(path, loaded, error), error.c_str());
        QVERIFY(loaded == block);
        QVERIFY(!QFile::exists(QString::fromStdString(path + ".tmp")));
    }

    void parseAccepts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("word20");
        std::string shuffled = ValidFile();
        ReplaceLine(shuffled, 20, "20 ff9c");
        QTest::newRow("lower-case hex") << QByteArray::fromStdString(shuffled) << 0xFF9C;
        std::string commented = "# saved by hand\n\n" + ValidFile();
        QTest::newRow("comments and blank lines") << QByteArray::fromStdString(commented) << 0;
        std::string crlf;
        for (char c : ValidFile())
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        QTest::newRow("CRLF line ends") << QByteArray::fromStdString(crlf) << 0;
        std::string chars = ValidFile();
        ReplaceLine(chars, 20, "20 4142");
        chars.insert(8 * 19 + 7, "  |AB|");
        QTest::newRow("character column ignored") << QByteArray::fromStdString(chars) << 0x4142;
    }
    void parseAccepts()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, word20);
        std::string error;
        const auto block = ParseBlock(text.toStdString(), error);
        QVERIFY2(block.has_value(), error.c_str());
        QCOMPARE(int(sim::GetWord(*block, 20)), word20);
    }

    void parseRejects_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        std::string text = ValidFile();
        text.resize(text.size() - 8);
        QTest::newRow("parameter missing") << QByteArray::fromStdString(text) << "parameter 64 missing";
        text = ValidFile();
        ReplaceLine(text, 3, "02 0001");
        QTest::newRow("parameter twice") << QByteArray::fromStdString(text) << "line 3: parameter 2 given twice";
        text = ValidFile();
        ReplaceLine(text, 1, "65 0000");
        QTest::newRow("parameter 65") << QByteArray::fromStdString(text) << "line 1: parameter 65 outside 1..64";
        text = ValidFile();
        text.replace(8 * 6, 7, "99999999999 0000");
        QTest::newRow("parameter beyond any int") << QByteArray::fromStdString(text)
                                                  << "line 7: parameter 99999999999 outside 1..64";
        text = ValidFile();
        text.replace(8 * 6, 7, "-4294967297 0000");
        QTest::newRow("negative beyond any int") << QByteArray::fromStdString(text)
                                                 << "line 7: parameter -4294967297 outside 1..64";
        const QString expected = "line 5: expected a parameter number and a 4-digit hex word";
        text = ValidFile();
        ReplaceLine(text, 5, "05 00G0");
        QTest::newRow("not hex") << QByteArray::fromStdString(text) << expected;
        text = ValidFile();
        ReplaceLine(text, 5, "05 000 ");
        QTest::newRow("three digits") << QByteArray::fromStdString(text) << expected;
        text = ValidFile();
        text.insert(8 * 4 + 7, "1");
        QTest::newRow("five digits") << QByteArray::fromStdString(text) << expected;
        QTest::newRow("empty file") << QByteArray() << "parameter 1 missing";
    }
    void parseRejects()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        std::string why;
        QVERIFY(!ParseBlock(text.toStdString(), why).has_value());
        QCOMPARE(QString::fromStdString(why), error);
    }

    void loadNamesTheFile()
    {
        QTemporaryDir dir;
        const std::string path = (dir.path() + "/bad.txt").toStdString();
        std::ofstream(path) << "01 00\n";
        Tq36Block block = DefaultBlock();
        std::string error;
        QVERIFY(!LoadBlockFile(path, block, error));
        QCOMPARE(error, path + ": line 1: expected a parameter number and a 4-digit hex word");
        QVERIFY(block == DefaultBlock());
        QVERIFY(!LoadBlockFile(path + ".none", block, error));
        QCOMPARE(error, path + ".none: No such file or directory");
    }
};

QTEST_GUILESS_MAIN(TstBlockFile)
#include "tst_blockfile.moc"
