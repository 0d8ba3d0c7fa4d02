#include "config/settingsfile.h"
#include "report/report.h"
#include "report/reportcontent.h"
#include "settings/parammap.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

Q_DECLARE_METATYPE(lk58::ReportSettings)

using namespace lk58;
using namespace std::chrono;

namespace {

struct Converter {
    int output;                  // 0-10 V, 0-20 mA, 4-20 mA
    std::int32_t begin, end;     // range in degrees Celsius
};

// A converter as commissioned: identity, calibration and every setting.
SettingsBlock Block(const Converter& c)
{
    SettingsBlock b;
    StoreText(b, kType, EncodeTextField(kType, "TQ36"));
    StoreText(b, kSerial, EncodeTextField(kSerial, "36012345"));
    StoreText(b, kName, EncodeTextField(kName, "Kotel č. 3"));
    StoreText(b, kDate, EncodeDateField(year{2026} / March / 14));
    StoreText(b, kPerson, EncodeTextField(kPerson, "Šťěpán Dvořák"));
    StoreValue(b, kInputType, RadioValue(kInputType, 1));
    StoreValue(b, kColdComp, 1);
    StoreValue(b, kSetTemp, 250);
    StoreValue(b, kResComp, 1234);
    StoreValue(b, kOutputType, RadioValue(kOutputType, c.output));
    StoreValue(b, kRangeBegin, c.begin);
    StoreValue(b, kRangeEnd, c.end);
    StoreValue(b, kOutputLimit, 1);
    StoreValue(b, kInputError, 1);
    StoreValue(b, kWiring, RadioValue(kWiring, 1));
    return b;
}

ReportInput FromConverter(const Converter& c)
{
    return ReportFromConverter(Block(c), QStringLiteral("/dev/ttyUSB0"),
                               QDateTime(QDate(2026, 12, 7), QTime(23, 40)));
}

QString Tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// The tool's standard output, whitespace runs made single spaces.
QString Run(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

bool IsLine(QRgb c)
{
    // The characteristic's blue, allowing for antialiasing at its edge.
    return qAbs(qRed(c) - 0) < 40 && qAbs(qGreen(c) - 70) < 40 && qAbs(qBlue(c) - 130) < 40;
}

} // namespace

class TstReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(QStringLiteral("0.2.1.7")); }

    void pdfHoldsEveryValue_data()
    {
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("begin");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("lang");
        QTest::addColumn<QStringList>("expected");
        const QStringList cs{"TQ36", "36012345", "Kotel č. 3", "14. 3. 2026", "Šťěpán Dvořák", "Vstup K",
                             "Kompenzace studeného konce ano", "Pevně nastavená teplota 25,0 °C",
                             "Kompenzace odporu vedení 12,34 Ω", "Způsob zapojení 3 vodič",
                             "Nekorektní vstup pulsace 50% / 100%", "/dev/ttyUSB0", "7. 12. 2026 v 23:40",
                             "LK58 0.2.1.7", "Teplota [°C]", "výstup pulsuje"};
        const QStringList en{"TQ36", "36012345", "Kotel č. 3", "2026-03-14", "Šťěpán Dvořák", "Input K",
                             "Cold end compensation yes", "Fixed set temperature 25.0 °C",
                             "Wiring resist. compens. 12.34 Ω", "Input wiring selection 3 wire",
                             "Incorrect input indication pulsation 50% / 100%", "/dev/ttyUSB0",
                             "2026-12-07 at 23:40", "LK58 0.2.1.7", "Temperature [°C]", "output pulsates"};
        QTest::newRow("4-20 mA cs")
            << 2 << 0 << 400 << kReportCzech
            << cs + QStringList{"Výstup 4 - 20 mADC", "začátek 0 °C", "konec 400 °C", "(0 °C; 4 mA)",
                                "(400 °C; 20 mA)", "nepřekročí 20 mA", "Výstupní signál [mA]"};
        QTest::newRow("4-20 mA en")
            << 2 << 0 << 400 << kReportEnglish
            << en + QStringList{"Output 4 - 20 mADC", "begin 0 °C", "end 400 °C", "(0 °C, 4 mA)",
                                "(400 °C, 20 mA)", "does not exceed 20 mA", "Output signal [mA]"};
        QTest::newRow("0-10 V cs")
            << 0 << 100 << 1200 << kReportCzech
            << cs + QStringList{"Výstup 0 - 10 VDC", "začátek 100 °C", "konec 1200 °C", "(100 °C; 0 V)",
                                "(1200 °C; 10 V)", "nepřekročí 10 V", "Výstupní signál [V]"};
        QTest::newRow("0-10 V en")
            << 0 << 100 << 1200 << kReportEnglish
            << en + QStringList{"Output 0 - 10 VDC", "begin 100 °C", "end 1200 °C", "(100 °C, 0 V)",
                                "(1200 °C, 10 V)", "does not exceed 10 V", "Output signal [V]"};
        QTest::newRow("negative begin cs")
            << 1 << -50 << 150 << kReportCzech
            << cs + QStringList{"Výstup 0 - 20 mADC", "začátek -50 °C", "konec 150 °C", "(-50 °C; 0 mA)",
                                "(150 °C; 20 mA)"};
        QTest::newRow("negative begin en")
            << 1 << -50 << 150 << kReportEnglish
            << en + QStringList{"Output 0 - 20 mADC", "begin -50 °C", "end 150 °C", "(-50 °C, 0 mA)",
                                "(150 °C, 20 mA)"};
    }
    void pdfHoldsEveryValue()
    {
        QFETCH(int, output);
        QFETCH(int, begin);
        QFETCH(int, end);
        QFETCH(int, lang);
        QFETCH(QStringList, expected);
        const QString pdftotext = Tool("pdftotext");
        if (pdftotext.isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed; scripts/deps.sh installs it");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("record.pdf"));
        QCOMPARE(WriteSettingsReport(pdf, FromConverter({output, begin, end}), lang), QString());
        const QString text = Run(pdftotext, {pdf, QStringLiteral("-")});
        for (const QString& e : expected)
            QVERIFY2(text.contains(e), qPrintable(e + QStringLiteral(" not in: ") + text));
    }

    // The last changes under the characteristic, newest first, as many as
    // leave it room; the rest counted.
    void lastChanges_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("none recorded") << 0 << QStringList{"Last changes", "The converter's history records no change."}
                                       << QStringList{"do not fit"};
        QTest::newRow("three") << 3
                               << QStringList{"jan@bench2 range_end 402 → 403 verified",
                                              "range_end 400 → 401 verified"}
                               << QStringList{"do not fit", "records no change"};
        QTest::newRow("more than the page holds")
            << 40 << QStringList{"range_end 439 → 440 verified", "more changes do not fit the page."}
            << QStringList{"range_end 400 → 401"};
    }
    void lastChanges()
    {
        QFETCH(int, count);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, absent);
        const QString pdftotext = Tool("pdftotext");
        if (pdftotext.isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed; scripts/deps.sh installs it");
        ReportInput input = FromConverter({2, 0, 400});
        input.history.emplace();
        for (int i = count; i >= 1; --i)
            input.history->push_back({QDateTime(QDate(2026, 12, 8), QTime(10, i), QTimeZone::utc()), "jan@bench2",
                                      "range_end", QString::number(399 + i), QString::number(400 + i), "verified"});
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("record.pdf"));
        QCOMPARE(WriteSettingsReport(pdf, input, kReportEnglish), QString());
        const QString text = Run(pdftotext, {pdf, QStringLiteral("-")});
        for (const QString& e : expected)
            QVERIFY2(text.contains(e), qPrintable(e + QStringLiteral(" not in: ") + text));
        for (const QString& a : absent)
            QVERIFY2(!text.contains(a), qPrintable(a + QStringLiteral(" in: ") + text));
        QVERIFY(text.contains("/dev/ttyUSB0")); // the footer still on the page
    }

    // Czech letters print anywhere only with the font inside the file.
    void fontsEmbedded()
    {
        const QString pdffonts = Tool("pdffonts");
        if (pdffonts.isEmpty())
            QSKIP("pdffonts (poppler-utils) is not installed; scripts/deps.sh installs it");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("record.pdf"));
        QCOMPARE(WriteSettingsReport(pdf, FromConverter({2, 0, 400}), kReportCzech), QString());
        QProcess p;
        p.start(pdffonts, {pdf});
        QVERIFY(p.waitForFinished(30000));
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 2); // two header lines, then one per font
        for (const QString& font : lines.mid(2)) {
            QVERIFY2(font.contains(QStringLiteral("LiberationSans")), qPrintable(font));
            const QStringList columns = font.simplified().split(' ');
            QVERIFY2(columns.size() > 5 && columns[columns.size() - 5] == QStringLiteral("yes"),
                     qPrintable(font)); // the "emb" column
        }
    }

    // The line runs where the readings say: lowest signal at range begin,
    // highest at range end, and nowhere at the signals it never gives.
    void endPointsWhereReadingsSay_data()
    {
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("begin");
        QTest::addColumn<int>("end");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("4-20 mA, 0..400") << 2 << 0 << 400 << 4.0 << 20.0;
        QTest::newRow("0-10 V, 100..1200") << 0 << 100 << 1200 << 0.0 << 10.0;
        QTest::newRow("0-20 mA, -50..150") << 1 << -50 << 150 << 0.0 << 20.0;
    }
    void endPointsWhereReadingsSay()
    {
        QFETCH(int, output);
        QFETCH(int, begin);
        QFETCH(int, end);
        QFETCH(double, low);
        QFETCH(double, high);
        QImage image(840, 1240, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        const ReportLayout layout =
            RenderSettingsReport(painter, image.rect(), FromConverter({output, begin, end}), kReportEnglish);
        painter.end();
        QVERIFY(!layout.plot.isEmpty());
        const QRectF& r = layout.plot;
        auto at = [&](double t, double v) {
            return image.pixel(QPointF(r.left() + (t - begin) / (end - begin) * r.width(),
                                       r.bottom() - v / layout.signalTop * r.height())
                                   .toPoint());
        };
        QVERIFY(IsLine(at(begin, low)));
        QVERIFY(IsLine(at(end, high)));
        QVERIFY(IsLine(at((begin + end) / 2.0, (low + high) / 2)));
        QVERIFY(!IsLine(at(begin, low + (high - low) * 0.25)));
        QVERIFY(!IsLine(at(end, high - (high - low) * 0.25)));
        // Nothing is drawn beyond the range.
        QVERIFY(!IsLine(image.pixel(QPointF(r.right() + 0.04 * r.width(), r.top()).toPoint())));
    }

    void undrawableSettingsSayWhy_data()
    {
        QTest::addColumn<ReportSettings>("settings");
        QTest::addColumn<QString>("why");
        ReportSettings full = ReportSettingsFromBlock(Block({2, 0, 400}));
        ReportSettings none = full;
        none.output = -1;
        QTest::newRow("no output selected") << none << "The characteristic cannot be drawn: no output is selected.";
        ReportSettings reversed = full;
        reversed.rangeEnd = -20;
        QTest::newRow("end below begin")
            << reversed << "The characteristic cannot be drawn: the range end (-20 °C) is not above the "
                           "range begin (0 °C).";
        ReportSettings equal = full;
        equal.rangeEnd = 0;
        QTest::newRow("end at begin") << equal
                                      << "The characteristic cannot be drawn: the range end (0 °C) is not "
                                         "above the range begin (0 °C).";
        ReportSettings subset;
        subset.output = 2;
        subset.rangeEnd = 450;
        QTest::newRow("template without begin")
            << subset << "The characteristic cannot be drawn: the file does not hold the range begin.";
    }
    void undrawableSettingsSayWhy()
    {
        QFETCH(ReportSettings, settings);
        QFETCH(QString, why);
        const ReportInput input{settings, {ReportSource::Kind::File, QStringLiteral("t.json"), {}, {}}, {}};
        QCOMPARE(BuildReportContent(input, kReportEnglish).noPlot, why);
        QImage image(420, 620, QImage::Format_RGB32);
        QPainter painter(&image);
        QVERIFY(RenderSettingsReport(painter, image.rect(), input, kReportEnglish).plot.isEmpty());
    }

    // Bytes that hold no valid setting are stated as unreadable with the
    // number the converter holds, and nothing is drawn or said from them.
    void invalidBytesAreUnreadable_data()
    {
        QTest::addColumn<QString>("field"); // the setting's form field
        QTest::addColumn<int>("value");     // what its bytes hold
        QTest::addColumn<QString>("row");   // the row's name
        QTest::addColumn<QString>("said");  // in place of the plot, or among the statements
        QTest::newRow("input byte 9") << "RdGrpInput" << 9 << "Input" << "";
        QTest::newRow("output byte 4")
            << "RdGrpOutput" << 4 << "Output"
            << "The characteristic cannot be drawn: the converter's output (4) is unreadable.";
        QTest::newRow("output limit byte 2") << "ChckBxOutLimit" << 2 << "Limit output to max. 10 VDC, 20 mADC"
                                             << "Output limit: (unreadable: 2).";
        QTest::newRow("indication byte 3") << "RdGrpInErr" << 3 << "Incorrect input indication"
                                           << "Incorrect input indication: (unreadable: 3).";
        QTest::newRow("range end 10000 beyond its field")
            << "MskEdtTempEnd" << 10000 << "Output range in °C: end"
            << "The characteristic cannot be drawn: the converter's range end (10000) is unreadable.";
    }
    void invalidBytesAreUnreadable()
    {
        QFETCH(QString, field);
        QFETCH(int, value);
        QFETCH(QString, row);
        QFETCH(QString, said);
        SettingsBlock block = Block({2, 0, 400});
        for (const SettingInfo& setting : kSettings)
            if (field == QLatin1String(setting.field))
                StoreValue(block, setting, value);
        const ReportContent c =
            BuildReportContent(ReportFromConverter(block, QStringLiteral("/dev/ttyUSB0"), {}), kReportEnglish);
        const auto shown = std::find_if(c.settings.begin(), c.settings.end(),
                                        [&](const ReportRow& r) { return r.name == row; });
        QVERIFY(shown != c.settings.end());
        QCOMPARE(shown->value, QStringLiteral("(unreadable: %1)").arg(value));
        QVERIFY(!shown->missing);
        QCOMPARE(c.templateNote, QString()); // a converter's block lacks nothing
        if (said.startsWith(QStringLiteral("The characteristic"))) {
            QVERIFY(!c.plot);
            QCOMPARE(c.noPlot, said);
        } else {
            QVERIFY(c.plot);
            QVERIFY2(said.isEmpty() || c.statements.contains(said), qPrintable(c.statements.join('\n')));
        }
    }

    // A template shows what it holds and marks the rest, never a default.
    void templateMarksWhatItLacks()
    {
        const config::ReadResult read = config::ReadSettingsFile(R"({
          "format": "tq36-settings", "version": 1, "saved": "2026-12-07T22:40:00+01:00",
          "settings": {"label": "Kotel č. 3", "output": "4-20mA", "range_begin": -50, "range_end": 450,
                       "input_error": "2mA"}})");
        QVERIFY(read.file);
        const ReportContent c = BuildReportContent(ReportFromFile(*read.file, "/srv/t.json"), kReportCzech);
        QVERIFY(c.plot);
        QCOMPARE(c.plot->low, 4.0);
        QVERIFY(!c.templateNote.isEmpty());
        QStringList shown;
        int missing = 0;
        for (const auto* rows : {&c.identity, &c.calibration, &c.settings})
            for (const ReportRow& row : *rows) {
                QCOMPARE(row.value == QStringLiteral("není v souboru"), row.missing);
                missing += row.missing;
                if (!row.missing)
                    shown << row.value;
            }
        QCOMPARE(missing, 10);
        QCOMPARE(shown, QStringList({"Kotel č. 3", "4 - 20 mADC", "-50 °C", "450 °C", "výstup 2 mA"}));
        QCOMPARE(c.source, QStringLiteral("Ze souboru /srv/t.json (uložen 7. 12. 2026 v 22:40)."));
    }

    // The output limit and the incorrect-input indication, in words that
    // fit the output they act on.
    void statements_data()
    {
        QTest::addColumn<int>("output");
        QTest::addColumn<bool>("limit");
        QTest::addColumn<int>("indication");
        QTest::addColumn<QString>("statement");
        QTest::newRow("limit off, 4-20 mA") << 2 << false << 1
                                            << "Output limit off: the output signal is not limited to 20 mA.";
        QTest::newRow("limit on, 0-10 V") << 0 << true << 0
                                          << "Output limit on: the output signal does not exceed 10 V.";
        QTest::newRow("no indication") << 2 << true << 0 << "An incorrect input is not indicated at the output.";
        QTest::newRow("2 mA on 4-20 mA") << 2 << true << 2 << "On an incorrect input the output goes to 2 mA.";
        QTest::newRow("2 mA inside 0-20 mA")
            << 1 << true << 2
            << "On an incorrect input the output goes to 2 mA; with the 0 - 20 mA output, 2 mA is also the "
               "signal of a valid reading of -7.5 °C.";
        QTest::newRow("2 mA on a voltage output")
            << 0 << true << 2
            << "The incorrect input indication by an output of 2 mA is not active with the voltage output "
               "(0 - 10 V).";
    }
    void statements()
    {
        QFETCH(int, output);
        QFETCH(bool, limit);
        QFETCH(int, indication);
        QFETCH(QString, statement);
        ReportSettings s;
        s.output = output;
        s.rangeBegin = -50;
        s.rangeEnd = 375;
        s.outputLimit = limit;
        s.inputError = indication;
        const QStringList said = BuildReportContent({s, {}, {}}, kReportEnglish).statements;
        QVERIFY2(said.contains(statement), qPrintable(said.join('\n')));
    }

    void unwritablePathIsReported_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such folder en") << "/nonexistent-lk58/r.pdf" << kReportEnglish
                                           << "Cannot save the settings report to %1: ";
        QTest::newRow("no such folder cs") << "/nonexistent-lk58/r.pdf" << kReportCzech
                                           << "Protokol nastavení nelze uložit do %1: ";
        QTest::newRow("a folder") << QDir::tempPath() << kReportEnglish << "Cannot save the settings report to %1: ";
    }
    void unwritablePathIsReported()
    {
        QFETCH(QString, path);
        QFETCH(int, lang);
        QFETCH(QString, message);
        const QString error = WriteSettingsReport(path, FromConverter({2, 0, 400}), lang);
        // The path as the system writes it: C:\x\r.pdf on Windows.
        message = message.arg(QDir::toNativeSeparators(path));
        QVERIFY2(error.startsWith(message), qPrintable(error));
        QVERIFY2(error.size() > message.size() + 3, qPrintable(error)); // the reason follows
    }

    void niceTicks_data()
    {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<std::vector<double>>("ticks");
        QTest::newRow("0..400") << 0.0 << 400.0 << std::vector<double>{0, 50, 100, 150, 200, 250, 300, 350, 400};
        QTest::newRow("negative begin") << -50.0 << 150.0 << std::vector<double>{-50, 0, 50, 100, 150};
        QTest::newRow("odd ends") << -37.0 << 412.0 << std::vector<double>{0, 100, 200, 300, 400};
        QTest::newRow("whole degrees only") << 0.0 << 3.0 << std::vector<double>{0, 1, 2, 3};
        QTest::newRow("widest range") << -999.0 << 9999.0 << std::vector<double>{0, 2000, 4000, 6000, 8000};
        QTest::newRow("reversed") << 10.0 << 0.0 << std::vector<double>{};
    }
    void niceTicks()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(std::vector<double>, ticks);
        QCOMPARE(NiceTicks(lo, hi, 9, 1), ticks);
    }
};

QTEST_MAIN(TstReport)
#include "tst_report.moc"
