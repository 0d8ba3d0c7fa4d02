// The factory block and the block file the simulator loads and saves.

#include "sim/blockfile.h"
#include "sim/protocol.h"

#include <QtTest>

#include <fstream>

using namespace lk58;

namespace {
std::string Text(const Tq36Block& block, int first, int count)
{
    std::string out;
    for (int n = first; n < first + count; ++n) {
        const std::uint16_t w = sim::GetWord(block, n);
        out += char(w >> 8);
        out += char(w & 0xFF);
    }
    return out;
}

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
    void factorySettings()
    {
        const Tq36Block b = DefaultBlock();
        QCOMPARE(sim::GetWord(b, 1), std::uint16_t(2));  // K
        QCOMPARE(sim::GetWord(b, 5), std::uint16_t(3));  // 4-20 mA
        QCOMPARE(sim::GetWord(b, 21), std::uint16_t(400));
        QCOMPARE(Text(b, 22, 4), std::string("TQ36\0\0\0\0", 8));
        QCOMPARE(Text(b, 35, 4), std::string("140326\0\0", 8));
        QCOMPARE(Text(b, 39, 8), std::string("Jan Nov\xE1k\0\0\0\0\0\0\0", 16));
        QCOMPARE(sim::GetWord(b, 64), std::uint16_t(1234));
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
        QVERIFY(SaveBlockFile(path, block, error));
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
