#include "serial/serialdevice.h"

#include <QtTest>

#include <filesystem>
#include <fstream>

using namespace lk58;
namespace fs = std::filesystem;

namespace {

// Builds a tty class directory as the kernel shows it: each entry's device
// link leads to the hardware (or into virtual), legacy UART slots have a type.
class TFakeSysfs {
public:
    TFakeSysfs() : root_(dir_.path().toStdString()) { fs::create_directories(root_ / "class/tty"); }
    std::string ClassDir() const { return (root_ / "class/tty").string(); }
    void Add(const std::string& name, const std::string& device, const char* type = nullptr)
    {
        const fs::path entry = root_ / "class/tty" / name;
        fs::create_directories(entry);
        if (!device.empty()) {
            fs::create_directories(root_ / "devices" / device);
            fs::create_directory_symlink(root_ / "devices" / device, entry / "device");
        }
        if (type)
            std::ofstream(entry / "type") << type << "\n";
    }

private:
    QTemporaryDir dir_;
    fs::path root_;
};

} // namespace

class TstPortList : public QObject {
    Q_OBJECT
private slots:
    void realPortsInNaturalOrder()
    {
        TFakeSysfs sys;
        sys.Add("ttyS10", "pnp0/00:0a", "4");
        sys.Add("ttyS2", "pnp0/00:02", "4");
        sys.Add("ttyS0", "pnp0/00:00", "4");
        sys.Add("ttyS1", "platform/serial8250", "0"); // a slot with no UART behind it
        sys.Add("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0");
        sys.Add("ttyACM0", "pci0000:00/usb1/1-2/1-2:1.0");
        sys.Add("tty0", "virtual/tty/tty0");
        sys.Add("ptmx", "virtual/tty/ptmx");
        sys.Add("console", ""); // no device at all
        std::vector<std::string> names{"typed by the user"};
        platform::ListSerialDevicesIn(sys.ClassDir(), names);
        QCOMPARE(names, (std::vector<std::string>{"typed by the user", "/dev/ttyACM0", "/dev/ttyS0",
                                                   "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0"}));
    }

    void unreadableListAddsNothing()
    {
        std::vector<std::string> names{"kept"};
        platform::ListSerialDevicesIn("/nonexistent/class/tty", names);
        QCOMPARE(names, std::vector<std::string>{"kept"});
    }

    void naturalOrder_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::newRow("2 before 10") << "ttyS2" << "ttyS10";
        QTest::newRow("prefix first") << "ttyS" << "ttyS0";
        QTest::newRow("letters") << "ttyACM0" << "ttyS0";
        QTest::newRow("leading zero") << "ttyS007" << "ttyS8";
        QTest::newRow("second number") << "ttyUSB1x2" << "ttyUSB1x10";
    }
    void naturalOrder()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(platform::NaturalNameLess(a.toStdString(), b.toStdString()));
        QVERIFY(!platform::NaturalNameLess(b.toStdString(), a.toStdString()));
    }
};

QTEST_GUILESS_MAIN(TstPortList)
#include "tst_portlist.moc"
