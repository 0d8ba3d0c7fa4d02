// The tq36-sim program: its command line, the line it offers, the link it
// makes and removes, the block file it loads and saves.

#include "rawclient.h"
#include "sim/simulator.h"

#include <QtTest>

#include <csignal>

using namespace lk58;
using namespace std::chrono_literals;
using test::HexBytes;
using test::RawClient;

namespace {
constexpr auto kReplyLimit = 3000ms;

QString ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray BlockFile(int number, const char* word)
{
    QByteArray text;
    for (int n = 1; n <= 64; ++n)
        text += QByteArray::number(n) + ' ' + (n == number ? QByteArray(word) : QByteArray("0000")) + '\n';
    return text;
}
} // namespace

class TstSimProgram : public QObject {
    Q_OBJECT

    // Starts the program and returns the device path it printed.
    QString Launch(QProcess& p, const QStringList& args)
    {
        p.start(TQ36_SIM, args);
        if (!p.waitForStarted(5000) || !p.waitForReadyRead(5000))
            return {};
        return QString::fromLocal8Bit(p.readLine()).trimmed();
    }

private slots:
    void helpNamesEveryOption()
    {
        QProcess p;
        p.start(TQ36_SIM, {"--help"});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
        for (const char* option : {"--link PATH", "--device PATH", "--load FILE", "--save FILE", "--verbose",
                                   "--no-pacing", "--gap MS", "--silent[=COUNT]", "--answer-from N",
                                   "--corrupt-checksum[=COUNT]", "--wrong-first-byte[=COUNT]",
                                   "--split[=COUNT]", "--split-at BYTES", "--split-pause MS",
                                   "--extra[=COUNT]", "--extra-bytes HEX", "--delay[=COUNT]", "--delay-ms MS",
                                   "--cut[=COUNT]", "--cut-at BYTES", "--late[=COUNT]", "--surplus[=COUNT]",
                                   "--faults-on KINDS", "--random-faults PERCENT", "--seed N", "--help"})
            QVERIFY2(help.contains(option), option);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "tq36-sim: unknown option --bogus\n";
        QTest::newRow("missing value") << QStringList{"--gap"} << "tq36-sim: option --gap needs a value\n";
        QTest::newRow("bad number") << QStringList{"--gap", "10x"} << "tq36-sim: invalid value for --gap: '10x'\n";
        QTest::newRow("zero count") << QStringList{"--silent=0"} << "tq36-sim: invalid value for --silent: '0'\n";
        QTest::newRow("bad kind") << QStringList{"--faults-on", "ping,pong"}
                                  << "tq36-sim: invalid value for --faults-on: 'ping,pong'\n";
        QTest::newRow("chance over 100 per cent") << QStringList{"--random-faults", "101"}
                                                  << "tq36-sim: invalid value for --random-faults: '101'\n";
        QTest::newRow("odd hex") << QStringList{"--extra-bytes", "ABC"}
                                 << "tq36-sim: invalid value for --extra-bytes: 'ABC'\n";
        QTest::newRow("link and device") << QStringList{"--link", "a", "--device", "b"}
                                         << "tq36-sim: --link and --device exclude each other\n";
        QTest::newRow("stray argument") << QStringList{"now"} << "tq36-sim: unexpected argument 'now'\n";
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QProcess p;
        p.start(TQ36_SIM, args);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()), message + "Try 'tq36-sim --help'.\n");
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("block file missing") << QStringList{"--load", "@/none.txt"}
                                            << "tq36-sim: @/none.txt: No such file or directory\n";
        QTest::newRow("block file invalid") << QStringList{"--load", "@/bad.txt"}
                                            << "tq36-sim: @/bad.txt: line 1: parameter 99 outside 1..64\n";
        QTest::newRow("device missing") << QStringList{"--device", "@/ttyNONE"}
                                        << "tq36-sim: @/ttyNONE: No such file or directory\n";
        QTest::newRow("link over a file") << QStringList{"--link", "@/bad.txt"}
                                          << "tq36-sim: @/bad.txt (not a symbolic link): File exists\n";
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QTemporaryDir dir;
        WriteFile(dir.path() + "/bad.txt", "99 0000\n");
        args.replaceInStrings("@", dir.path());
        QProcess p;
        p.start(TQ36_SIM, args);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()), message.replace("@", dir.path()));
        QCOMPARE(ReadAll(dir.path() + "/bad.txt"), QString("99 0000\n"));
    }

    void runAndStop_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void runAndStop()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString link = dir.path() + "/tq36";
        const QString load = dir.path() + "/in.txt";
        const QString save = dir.path() + "/out.txt";
        WriteFile(load, BlockFile(30, "4142"));
        QFile::link("/dev/null", link); // a stale link of an earlier run
        QProcess p;
        const QString path = Launch(p, {"--link", link, "--load", load, "--save", save, "--no-pacing"});
        QVERIFY(path.startsWith("/dev/pts/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), path);
        {
            RawClient client(link.toStdString());
            client.Write(ReadAllRequest());
            const Bytes reply = client.Read(kReadAllReplySize, kReplyLimit);
            QCOMPARE(reply.size(), kReadAllReplySize);
            QCOMPARE(reply[59], std::uint8_t(0x41)); // word 30 from the loaded file
            QCOMPARE(reply[60], std::uint8_t(0x42));
            client.Write(WriteRequest32(63, 99999));
            QCOMPARE(client.Read(kShortReplySize, kReplyLimit), ShortReply(0x3E));
        }
        // Saved after the write, before the program ends.
        QTRY_VERIFY_WITH_TIMEOUT(ReadAll(save).contains("\n63 0001  |..|\n64 869F  |..|\n"), 3000);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
        QVERIFY(ReadAll(save).contains("\n30 4142  |AB|\n"));
    }

    void faultsAndTrafficFromTheCommandLine()
    {
        QProcess p;
        const QString path = Launch(p, {"--answer-from", "3", "--faults-on", "ping", "--corrupt-checksum=1",
                                        "--faults-on", "ping", "--verbose"});
        QVERIFY(!path.isEmpty());
        RawClient client(path.toStdString());
        for (int i = 0; i < 2; ++i) {
            client.Write(PingRequest());
            QVERIFY(client.Read(1, 200ms).empty());
        }
        client.Write(PingRequest());
        QCOMPARE(client.Read(kShortReplySize, kReplyLimit), HexBytes("FF 54 51 33 36 3E 13"));
        client.Write(PingRequest());
        QCOMPARE(client.Read(kShortReplySize, kReplyLimit), HexBytes("FF 54 51 33 36 3E EC"));
        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        const QString traffic = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(traffic.count("request  FF BF BF  ping, silent: ignored\n"), 2);
        QVERIFY(traffic.contains("reply    FF 54 51 33 36 3E 13  ping reply, corrupt checksum\n"));
        QVERIFY(traffic.contains("reply    FF 54 51 33 36 3E EC  ping reply\n"));
    }

    void servesADevice()
    {
        // The test plays the program on the master; the simulator serves the slave as a device.
        PtyPair pty = OpenPtyPair();
        const QString device = QString::fromStdString(pty.slavePath);
        QProcess p;
        QCOMPARE(Launch(p, {"--device", device}), device);
        RawClient program(std::move(pty.master));
        program.Write(WriteRequest16(20, -50));
        // Raw: no echo of the request, no byte altered on the way.
        QCOMPARE(program.Read(kShortReplySize + 1, 500ms), ShortReply(19));

        QProcess second;
        second.start(TQ36_SIM, {"--device", device});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(second.readAllStandardError()),
                 "tq36-sim: " + device + ": Device or resource busy\n");

        p.terminate();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TstSimProgram)
#include "tst_simprogram.moc"
