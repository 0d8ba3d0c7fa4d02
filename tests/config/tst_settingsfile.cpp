#include "config/diskfile.h"
#include "config/settingsfile.h"
#include "config/values.h"
#include "sim/simulator.h"

#include <QtTest>

#ifndef Q_OS_WIN
#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace lk58;
using namespace lk58::config;

namespace {

SettingsBlock FactoryBlock()
{
    const Tq36Block b = DefaultBlock();
    return SettingsBlock(std::span<const std::uint8_t, kSettingsBlockSize>(b));
}

// A file of the current format with these members in its settings and
// these further members at the top.
QByteArray File(const QByteArray& settings, const QByteArray& top = {})
{
    return R"({"format": "tq36-settings", "version": 1, "settings": {)" + settings + "}" + top + "}";
}

#ifndef Q_OS_WIN
constexpr uid_t kNobody = 65534;
#endif

QStringList Messages(const std::vector<Problem>& problems)
{
    QStringList out;
    for (const Problem& p : problems)
        out << QString::fromStdString(p.Message());
    return out;
}

} // namespace

class TstSettingsFile : public QObject {
    Q_OBJECT
private slots:
    // A whole converter saved: every key in the file's order, numbers with
    // their field's decimals, two-space indent, the block word by word.
    void savedFileText()
    {
        const QDateTime saved = QDateTime::fromString("2026-12-07T22:40:00+01:00", Qt::ISODate);
        const QByteArray text = WriteSettingsFile(FileFromBlock(FactoryBlock(), saved, "LK58 0.2.1.7"));
        const QByteArray expected = "{\n"
                                    "  \"format\": \"tq36-settings\",\n"
                                    "  \"version\": 1,\n"
                                    "  \"saved\": \"2026-12-07T22:40:00+01:00\",\n"
                                    "  \"program\": \"LK58 0.2.1.7\",\n"
                                    "  \"settings\": {\n"
                                    "    \"type\": \"TQ36\",\n"
                                    "    \"serial\": \"36012345\",\n"
                                    "    \"label\": \"Boiler 2\",\n"
                                    "    \"calibration_date\": \"2026-03-14\",\n"
                                    "    \"calibrated_by\": \"Jan Nov\xC3\xA1k\",\n"
                                    "    \"input\": \"K\",\n"
                                    "    \"cold_end_compensation\": true,\n"
                                    "    \"set_temperature\": 25.0,\n"
                                    "    \"wiring_resistance\": 12.34,\n"
                                    "    \"output\": \"4-20mA\",\n"
                                    "    \"range_begin\": 0,\n"
                                    "    \"range_end\": 400,\n"
                                    "    \"output_limit\": false,\n"
                                    "    \"input_error\": \"pulsation\",\n"
                                    "    \"wiring\": \"2/4-wire\"\n"
                                    "  },\n"
                                    "  \"block\": \"0002 0000 0001 0001 0003 0000 0000 0000 0000 0000 0000 0000 0000 "
                                    "0000 0000 0000 0000 0000 0000 0000 0190 5451 3336 0000 0000 3336 3031 3233 3435 "
                                    "426F 696C 6572 2032 0000 3134 3033 3236 0000 4A61 6E20 4E6F 76E1 6B00 0000 0000 "
                                    "0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0001 "
                                    "00FA 0000 04D2\"\n"
                                    "}\n";
        QCOMPARE(text, expected);
    }

    // What is written reads back as the same settings and block, also for
    // negative numbers, halves and bytes Windows-1250 has no character for.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::newRow("issue example") << QByteArray(
            R"("type": "TQ36", "serial": "36012345", "label": "Boiler 2", "calibration_date": "2026-03-14",
               "calibrated_by": "Jan Novák", "input": "K", "cold_end_compensation": true, "set_temperature": 25.0,
               "wiring_resistance": 12.34, "output": "4-20mA", "range_begin": 0, "range_end": 400,
               "output_limit": true, "input_error": "pulsation", "wiring": "3-wire")");
        QTest::newRow("negatives") << QByteArray(
            R"("set_temperature": -99.9, "wiring_resistance": -0.05, "range_begin": -999, "range_end": -998)");
        QTest::newRow("limits") << QByteArray(
            R"("set_temperature": 999.9, "wiring_resistance": 999.99, "range_begin": 9998, "range_end": 9999)");
        QTest::newRow("unassigned bytes") << QByteArray(R"("label": "A\u0081B\u0098", "calibrated_by": "Příliš žluťouč")");
        QTest::newRow("dates at both ends") << QByteArray(R"("calibration_date": "1997-01-01")");
        QTest::newRow("template") << QByteArray(R"("output": "0-10V", "range_begin": 0, "range_end": 100)");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("zeros after the point, exponents")
            << QByteArray(R"("set_temperature": 25.50, "range_end": 450.0, "wiring_resistance": 1.25e1, "range_begin": -5E0)");
    }
    void roundTrip()
    {
        QFETCH(QByteArray, settings);
        const ReadResult first = ReadSettingsFile(File(settings));
        QVERIFY2(first.file, qPrintable(Messages(first.problems).join('\n')));
        const ReadResult second = ReadSettingsFile(WriteSettingsFile(*first.file));
        QVERIFY2(second.file, qPrintable(Messages(second.problems).join('\n')));
        QVERIFY(second.file->settings == first.file->settings);
    }

    // The values a file gives, as the converter would hold them.
    void values()
    {
        const ReadResult r = ReadSettingsFile(File(R"("label": "A\u0081", "calibrated_by": "Novák", "input": "PT100",
            "set_temperature": 25.5, "wiring_resistance": 12.34, "output": "4-20mA", "input_error": "none",
            "wiring": "3-wire", "range_end": -5, "output_limit": true, "calibration_date": "2096-12-31")"));
        QVERIFY2(r.file, qPrintable(Messages(r.problems).join('\n')));
        const Settings& s = r.file->settings;
        QCOMPARE(s.Count(), 11);
        QCOMPARE(std::get<Bytes>(*s[Key::Label]), (Bytes{'A', 0x81}));
        QCOMPARE(std::get<Bytes>(*s[Key::CalibratedBy]), (Bytes{'N', 'o', 'v', 0xE1, 'k'}));
        QCOMPARE(std::get<std::int32_t>(*s[Key::Input]), 5);
        QCOMPARE(std::get<std::int32_t>(*s[Key::SetTemperature]), 255);
        QCOMPARE(std::get<std::int32_t>(*s[Key::WiringResistance]), 1234);
        QCOMPARE(std::get<std::int32_t>(*s[Key::Output]), 3);
        QCOMPARE(std::get<std::int32_t>(*s[Key::InputError]), 0);
        QCOMPARE(std::get<std::int32_t>(*s[Key::Wiring]), 2);
        QCOMPARE(std::get<std::int32_t>(*s[Key::RangeEnd]), -5);
        QCOMPARE(std::get<std::int32_t>(*s[Key::OutputLimit]), 1);
        QVERIFY(*s[Key::CalibrationDate] == Value{kLastWritableDate});
    }

    // Whole numbers and truth values are written as Qt's JSON writer writes
    // them, every value their fields can hold.
    void numbersAsQtWritesThem()
    {
        auto qt = [](const QJsonValue& json) {
            const QByteArray array = QJsonDocument(QJsonArray{json}).toJson(QJsonDocument::Compact);
            return QString::fromUtf8(array.mid(1, array.size() - 2));
        };
        int checked = 0;
        for (Key key : kKeys) {
            const SettingInfo& s = KeySetting(key);
            for (std::int32_t v = s.minValue; s.kind == FieldKind::Integer && v <= s.maxValue; ++v, ++checked)
                QCOMPARE(QString::fromStdString(ValueJsonText(key, Value(v))), qt(v));
            for (std::int32_t v = 0; s.kind == FieldKind::Check && v <= 1; ++v, ++checked)
                QCOMPARE(QString::fromStdString(ValueJsonText(key, Value(v))), qt(v == 1));
        }
        QCOMPARE(checked, 2 * (9999 + 999 + 1) + 2 * 2);
    }

    // Every kind of rejection, each naming the key and what is allowed.
    void rejected_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("does not parse") << QByteArray("{\n  \"format\": \"tq36-settings\",\n  \"version\" 1\n}")
                                        << QStringList{"3:14: missing name separator"};
        QTest::newRow("not an object") << QByteArray("[1]") << QStringList{"a settings file is one JSON object"};
        QTest::newRow("another format") << QByteArray(R"({"format": "tq35-settings", "version": 1, "settings": {}})")
                                        << QStringList{R"(format = "tq35-settings": not a TQ36 settings file; must be "tq36-settings")"};
        QTest::newRow("no format") << QByteArray(R"({"version": 1, "settings": {}})")
                                   << QStringList{R"(format: missing; must be "tq36-settings")"};
        QTest::newRow("newer version") << QByteArray(R"({"format": "tq36-settings", "version": 2, "settings": {"x": 1}})")
                                       << QStringList{"version = 2: written by a newer program; this one reads versions up to 1"};
        QTest::newRow("version not whole") << QByteArray(R"({"format": "tq36-settings", "version": 0.5, "settings": {}})")
                                           << QStringList{"version = 0.5: a whole number from 1 to 1"};
        QTest::newRow("no settings") << QByteArray(R"({"format": "tq36-settings", "version": 1})")
                                     << QStringList{"settings: missing; an object of settings (it may be empty)"};
        QTest::newRow("unknown top key") << File("", R"(, "comment": "x")")
                                         << QStringList{"comment: unknown key; a settings file holds format, version, "
                                                        "saved, program, settings and block"};
        QTest::newRow("unknown setting") << File(R"("range_start": 0)")
                                         << QStringList{"settings.range_start: not a setting of the TQ36; the settings are "
                                                        "type, serial, label, calibration_date, calibrated_by, input, "
                                                        "cold_end_compensation, set_temperature, wiring_resistance, output, "
                                                        "range_begin, range_end, output_limit, input_error, wiring"};
        QTest::newRow("number as text") << File(R"("range_end": "400")")
                                        << QStringList{R"(settings.range_end = "400": a whole number of °C from -999 to 9999)"};
        QTest::newRow("number for a check") << File(R"("output_limit": 1)")
                                            << QStringList{"settings.output_limit = 1: true or false"};
        QTest::newRow("number for a text") << File(R"("label": 2)")
                                           << QStringList{"settings.label = 2: a text of at most 10 characters that "
                                                          "Windows-1250 has"};
        QTest::newRow("unknown choice") << File(R"("output": "4-20 mA")")
                                        << QStringList{R"(settings.output = "4-20 mA": one of "0-10V", "0-20mA", "4-20mA")"};
        QTest::newRow("choice in lower case") << File(R"("input": "k")")
                                              << QStringList{R"(settings.input = "k": one of "J", "K", "S", "B", "PT100")"};
        QTest::newRow("range above mask") << File(R"("range_end": 10000)")
                                          << QStringList{"settings.range_end = 10000: a whole number of °C from -999 to 9999"};
        QTest::newRow("range with decimals") << File(R"("range_begin": 10.5)")
                                             << QStringList{"settings.range_begin = 10.5: too many decimals; a whole number "
                                                            "of °C from -999 to 9999"};
        QTest::newRow("set temperature decimals") << File(R"("set_temperature": 25.05)")
                                                  << QStringList{"settings.set_temperature = 25.05: too many decimals; a number "
                                                                 "of °C from -99.9 to 999.9 with at most 1 decimal"};
        QTest::newRow("whole number with a far decimal") << File(R"("range_end": 450.0000001)")
                                                         << QStringList{"settings.range_end = 450.0000001: too many "
                                                                        "decimals; a whole number of °C from -999 to 9999"};
        QTest::newRow("set temperature with a far decimal")
            << File(R"("set_temperature": 999.90000001)")
            << QStringList{"settings.set_temperature = 999.90000001: too many decimals; a number of °C from -99.9 to "
                           "999.9 with at most 1 decimal"};
        QTest::newRow("set temperature in hundredths") << File(R"("set_temperature": 23.55)")
                                                       << QStringList{"settings.set_temperature = 23.55: too many decimals; "
                                                                      "a number of °C from -99.9 to 999.9 with at most 1 "
                                                                      "decimal"};
        QTest::newRow("decimals hidden by an exponent") << File(R"("range_begin": 4505e-1)")
                                                        << QStringList{"settings.range_begin = 4505e-1: too many decimals; "
                                                                       "a whole number of °C from -999 to 9999"};
        QTest::newRow("key given twice")
            << QByteArray("{\"format\": \"tq36-settings\", \"version\": 1,\n\"settings\": {\"output\": \"4-20mA\",\n"
                          "  \"label\": \"B\",\n  \"output\": \"0-10V\"}}")
            << QStringList{"settings.output: given twice, on lines 2 and 4; give each key once"};
        QTest::newRow("key given twice, once escaped") << File(R"("output": "4-20mA", "outp\u0075t": "0-10V")")
                                                       << QStringList{"settings.output: given twice on line 1; give each "
                                                                      "key once"};
        QTest::newRow("settings given twice")
            << QByteArray("{\"format\": \"tq36-settings\", \"version\": 1,\n\"settings\": {\"output\": \"4-20mA\"},\n"
                          "\"settings\": {\"label\": \"B\"}}")
            << QStringList{"settings: given twice, on lines 2 and 3; give each key once"};
        QTest::newRow("resistance below mask") << File(R"("wiring_resistance": -100)")
                                               << QStringList{"settings.wiring_resistance = -100: a number of ohms from "
                                                              "-99.99 to 999.99 with at most 2 decimals"};
        QTest::newRow("label too long") << File(R"("label": "Boiler 2 ab")")
                                        << QStringList{R"(settings.label = "Boiler 2 ab": too long; a text of at most 10 )"
                                                       "characters that Windows-1250 has"};
        QTest::newRow("character Windows-1250 lacks") << File(R"("calibrated_by": "Jan → Novák")")
                                                      << QStringList{"settings.calibrated_by = \"Jan → Novák\": \"→\" is not a "
                                                                     "Windows-1250 character; a text of at most 15 characters "
                                                                     "that Windows-1250 has"};
        QTest::newRow("zero character") << File(R"("label": "a\u0000b")")
                                        << QStringList{"settings.label = \"a\\u0000b\": \"\\u0000\" is not a Windows-1250 "
                                                       "character; a text of at most 10 characters that Windows-1250 has"};
        QTest::newRow("empty serial") << File(R"("serial": "")")
                                      << QStringList{"settings.serial = \"\": empty: it would erase the converter's identity; "
                                                     "a text of at most 8 characters that Windows-1250 has, not empty"};
        QTest::newRow("date before 1997") << File(R"("calibration_date": "1996-12-31")")
                                          << QStringList{"settings.calibration_date = \"1996-12-31\": its two-digit year would "
                                                         "not read back; a date YYYY-MM-DD from 1997-01-01 to 2096-12-31"};
        QTest::newRow("date after 2096") << File(R"("calibration_date": "2097-01-01")")
                                         << QStringList{"settings.calibration_date = \"2097-01-01\": its two-digit year would "
                                                        "not read back; a date YYYY-MM-DD from 1997-01-01 to 2096-12-31"};
        QTest::newRow("no such day") << File(R"("calibration_date": "2026-02-30")")
                                     << QStringList{"settings.calibration_date = \"2026-02-30\": a date YYYY-MM-DD from "
                                                    "1997-01-01 to 2096-12-31"};
        QTest::newRow("Czech date") << File(R"("calibration_date": "14.03.2026")")
                                    << QStringList{"settings.calibration_date = \"14.03.2026\": a date YYYY-MM-DD from "
                                                   "1997-01-01 to 2096-12-31"};
        QTest::newRow("month without its zero") << File(R"("calibration_date": "2026-3-14")")
                                                << QStringList{"settings.calibration_date = \"2026-3-14\": a date YYYY-MM-DD "
                                                               "from 1997-01-01 to 2096-12-31"};
        QTest::newRow("equal range ends") << File(R"("range_begin": 200, "range_end": 200)")
                                          << QStringList{"settings.range_end = 200: must be above range_begin (200)"};
        QTest::newRow("short block") << File("", R"(, "block": "0002 0001")")
                                     << QStringList{R"(block = "0002 0001": 64 words of 4 hex digits, one space between them)"};
        QTest::newRow("block word in other digits")
            << File("", ", \"block\": \"\\u0660\\u0660\\u0660\\u0662" + QByteArray(" 0000").repeated(63) + "\"")
            << QStringList{"block = \"٠٠٠٢" + QString(" 0000").repeated(63)
                           + "\": 64 words of 4 hex digits, one space between them"};
        QTest::newRow("huge version") << QByteArray(R"({"format": "tq36-settings", "version": 1e300, "settings": {}})")
                                      << QStringList{"version = 1e+300: a whole number from 1 to 1"};
        QTest::newRow("saved not a time") << File("", R"(, "saved": "yesterday")")
                                          << QStringList{R"(saved = "yesterday": a date and time such as )"
                                                         R"("2026-12-07T22:40:00+01:00")"};
        QTest::newRow("all at once") << File(R"("range_end": 10000, "input": "X", "wiring": "3-wire")", R"(, "extra": 1)")
                                     << QStringList{"extra: unknown key; a settings file holds format, version, saved, "
                                                    "program, settings and block",
                                                    R"(settings.input = "X": one of "J", "K", "S", "B", "PT100")",
                                                    "settings.range_end = 10000: a whole number of °C from -999 to 9999"};
    }
    void rejected()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, messages);
        const ReadResult r = ReadSettingsFile(file);
        QVERIFY(!r.file);
        QCOMPARE(Messages(r.problems), messages);
    }

    // Values the form could not write back are left out of a saved file,
    // so that the file reads; the block keeps them on record.
    void blockValuesLeftOut_data()
    {
        QTest::addColumn<bool>("blank");
        QTest::addColumn<std::vector<Key>>("unreadable");
        QTest::newRow("odd values") << false
                                    << std::vector<Key>{Key::Serial, Key::CalibrationDate, Key::Input, Key::RangeEnd,
                                                        Key::OutputLimit};
        // All zero: no identity, date or choices, and a range of 0..0.
        QTest::newRow("blank converter") << true
                                         << std::vector<Key>{Key::Type, Key::Serial, Key::CalibrationDate, Key::Input,
                                                             Key::Output, Key::Wiring, Key::RangeBegin, Key::RangeEnd};
    }
    void blockValuesLeftOut()
    {
        QFETCH(bool, blank);
        QFETCH(std::vector<Key>, unreadable);
        SettingsBlock block = FactoryBlock();
        block.SetWord(1, 9);         // no input type 9
        block.SetWord(2, 2);         // a check box holds 0 or 1
        block.SetWord(21, 10000);    // range end beyond its field
        block.SetWords(35, std::vector<std::uint16_t>{0x3331, 0x3133, 0x3236, 0}); // "311326": no month 13
        block.SetWords(26, std::vector<std::uint16_t>{0, 0, 0, 0}); // no serial number
        if (blank)
            block = SettingsBlock();
        std::vector<Key> left;
        const Settings s = FromBlock(block, &left);
        QCOMPARE(left, unreadable);
        QCOMPARE(s.Count(), kKeyCount - int(unreadable.size()));
        const ReadResult r = ReadSettingsFile(WriteSettingsFile(FileFromBlock(block, {}, {})));
        QVERIFY2(r.file, qPrintable(Messages(r.problems).join('\n')));
        QVERIFY(r.file->block == block);
    }

    void proposedName_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QByteArray("36012345") << "36012345-2026-12-07.json";
        QTest::newRow("slash and space") << QByteArray("../a b") << "converter.._a_b-2026-12-07.json";
        QTest::newRow("empty") << QByteArray() << "converter-2026-12-07.json";
    }
    void proposedName()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QString, name);
        QCOMPARE(ProposedFileName(Bytes(serial.begin(), serial.end()), QDate(2026, 12, 7)), name);
    }

#ifndef Q_OS_WIN
    // Full disks, file modes, other users and pipes are POSIX's (the
    // Windows side is tests/wine's).
    // An output takes the place of the file before it only when proven on
    // disk; a failed save gives the system's reason and leaves the old file,
    // and no other, behind.
    void savedOnlyWhenProven_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason"); // empty: saved
        QTest::newRow("saved") << "" << "";
        QTest::newRow("disk full") << "file size limit" << "File too large";
        QTest::newRow("cut short on disk") << "truncate" << "read back from disk, it holds 0 of 14 bytes";
        QTest::newRow("changed on disk") << "alter" << "read back from disk, it differs from what was written";
        QTest::newRow("refused by its reader") << "check" << "not what was meant";
        QTest::newRow("no such folder") << "no folder" << "No such file or directory";
        QTest::newRow("a folder in its place") << "folder" << "it is a folder";
        QTest::newRow("a pipe in its place") << "pipe" << "not a regular file";
        // Root included, whom no permission stops: the owner's word holds.
        QTest::newRow("made read-only") << "read-only" << "the file is read-only";
        QTest::newRow("made read-only, saved by its owner") << "read-only as nobody" << "the file is read-only";
        QTest::newRow("another user's file in one's own folder")
            << "another's" << "the file is read-only to you: its permissions do not let you write it";
    }
    void savedOnlyWhenProven()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString path = dir.filePath("out.json");
        const QByteArray old = "old contents\n", bytes = "fourteen bytes";
        QFile before(path);
        QVERIFY(before.open(QIODevice::WriteOnly) && before.write(old) == old.size());
        before.close();
        QFile::Permissions kept = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        if (fault.startsWith("read-only"))
            kept = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        QVERIFY(before.setPermissions(kept));
        // Permissions stop root from nothing: these saves are made as the
        // unprivileged user nobody, in a folder of their own; "another's"
        // file stays root's.
        const bool asNobody = fault.endsWith("as nobody") || fault == "another's";
        if (asNobody && ::geteuid() != 0)
            QSKIP("needs root, to save as another user");
        if (asNobody) {
            QVERIFY(::chown(QFile::encodeName(dir.path()).constData(), kNobody, uid_t(-1)) == 0);
            if (fault != "another's")
                QVERIFY(::chown(QFile::encodeName(path).constData(), kNobody, uid_t(-1)) == 0);
        }
        if (fault == "no folder")
            path = dir.filePath("none/out.json");
        else if (fault == "folder")
            path = dir.path();
        else if (fault == "pipe") // like a device node: never to be replaced by a file
            path = dir.filePath("fifo");
        if (fault == "pipe")
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        testing::SetBeforeReadBack([&](const QString& written) {
            QFile f(written);
            if (fault == "truncate")
                f.resize(0);
            else if (fault == "alter" && f.open(QIODevice::ReadWrite))
                f.write("F");
        });
        const auto check = [&](const QByteArray&) { return fault == "check" ? QString("not what was meant") : QString(); };
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        if (fault == "file size limit") {
            // The kernel refuses to grow a file past the limit, as a full disk does.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit small{4, limit.rlim_max};
            setrlimit(RLIMIT_FSIZE, &small);
        }
        if (asNobody)
            QVERIFY(::seteuid(kNobody) == 0);
        const QString said = SaveProven(path, bytes, check);
        if (asNobody && ::seteuid(0) != 0)
            qFatal("cannot become root again");
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_DFL);
        testing::SetBeforeReadBack({});

        QCOMPARE(said, reason);
        QFile after(dir.filePath("out.json"));
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), reason.isEmpty() ? bytes : old);
        const QFile::Permissions ownerGroupOther = ~QFile::Permissions(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(after.permissions() & ownerGroupOther, kept);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 (fault == "pipe" ? QStringList{"fifo", "out.json"} : QStringList{"out.json"}));
        QVERIFY(fault != "pipe" || !QFileInfo(path).isFile());
    }
#endif

    // Settings that no file may hold are not saved, and the reason says
    // which setting, not that the disk gave something else back.
    void unsavableSettingsNamed()
    {
        QTemporaryDir dir;
        SettingsFile file;
        file.settings[Key::RangeBegin] = Value(std::int32_t(1));
        file.settings[Key::RangeEnd] = Value(std::int32_t(1));
        const QString reason = SaveSettingsFile(dir.filePath("before.json"), file);
        QVERIFY2(reason.contains("refused") && reason.contains("range_"), qPrintable(reason));
        QVERIFY(!QFile::exists(dir.filePath("before.json")));
    }

    // A settings file is read whole up to 1 MiB; beyond that, and from a
    // device that never ends, it is refused without being read whole.
    void settingsFileSize_data()
    {
        QTest::addColumn<QString>("path"); // @dir: a folder holding "small", "limit" and "over"
        QTest::addColumn<qint64>("size");  // -1: refused
        QTest::addColumn<QString>("reason");
        QTest::newRow("small") << "@dir/small" << qint64(100) << "";
        QTest::newRow("exactly 1 MiB") << "@dir/limit" << kSettingsFileLimit << "";
        QTest::newRow("one byte over") << "@dir/over" << qint64(-1) << "larger than 1 MiB: not a settings file";
#ifndef Q_OS_WIN
        QTest::newRow("device without end") << "/dev/zero" << qint64(-1) << "larger than 1 MiB: not a settings file";
        QTest::newRow("missing") << "@dir/none" << qint64(-1) << "No such file or directory";
#endif
        QTest::newRow("a folder") << "@dir" << qint64(-1) << "a folder, not a settings file";
    }
    void settingsFileSize()
    {
        QFETCH(QString, path);
        QFETCH(qint64, size);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        for (const auto& [name, length] : {std::pair{"small", qint64(100)}, std::pair{"limit", kSettingsFileLimit},
                                           std::pair{"over", kSettingsFileLimit + 1}}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(length, ' ')) == length);
        }
        const auto read = ReadSettingsBytes(path.replace("@dir", dir.path()));
        if (size >= 0)
            QCOMPARE(std::get<QByteArray>(read).size(), size);
        else
            QCOMPARE(std::get<QString>(read), reason);
    }

#ifndef Q_OS_WIN
    // Links as POSIX makes them.
    void sameFile_data()
    {
        QTest::addColumn<QString>("other"); // beside "a"
        QTest::addColumn<bool>("same");
        QTest::newRow("another spelling") << "./a" << true;
        QTest::newRow("symbolic link") << "link" << true;
        QTest::newRow("hard link") << "hard" << true;
        QTest::newRow("a copy") << "copy" << false;
        QTest::newRow("missing") << "none" << false;
    }
    void sameFile()
    {
        QFETCH(QString, other);
        QFETCH(bool, same);
        QTemporaryDir dir;
        QFile a(dir.filePath("a"));
        QVERIFY(a.open(QIODevice::WriteOnly) && a.write("{}") == 2);
        a.close();
        QVERIFY(a.link(dir.filePath("link")) && a.copy(dir.filePath("copy")));
        QVERIFY(::link(QFile::encodeName(dir.filePath("a")).constData(), QFile::encodeName(dir.filePath("hard")).constData()) == 0);
        QCOMPARE(SameFile(dir.filePath("a"), dir.path() + "/" + other), same);
    }
#endif
};

QTEST_GUILESS_MAIN(TstSettingsFile)
#include "tst_settingsfile.moc"
