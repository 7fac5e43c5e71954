// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <cerrno>

#include "kernel/kernelports.h"
#include "tests/fakes/sysfstree.h"

namespace {

const char* verdictName(kernelports::Verdict verdict) {
    switch (verdict) {
        case kernelports::Verdict::ComWindow:
            return "com";
        case kernelports::Verdict::OtherWindow:
            return "other";
        case kernelports::Verdict::MemoryMapped:
            return "mmio";
        case kernelports::Verdict::Hub6:
            return "hub6";
        case kernelports::Verdict::RegShift:
            return "shift";
        case kernelports::Verdict::BadPort:
            return "bad";
        case kernelports::Verdict::Unreadable:
            return "unreadable";
        case kernelports::Verdict::SystemPorts:
            return "system";
        case kernelports::Verdict::OutsideResource:
            return "outside";
    }
    return "?";
}

template <typename T>
QString shown(const std::optional<T>& value, int base = 10) {
    return value ? QString::number(*value, base).toUpper() : QStringLiteral("?");
}

// Each port as "ttyS4 type 4 io 0 port C000 irq 17 other", "console" added for a console.
QString summary(const kernelports::Listing& listing) {
    QStringList ports;
    for (const kernelports::Port& port : listing.ports) {
        QString line = QString::fromStdString(port.tty) + QStringLiteral(" type ") +
                       shown(port.type) + QStringLiteral(" io ") + shown(port.ioType);
        if (port.ioType.value_or(0) >= 2)
            line += QStringLiteral(" mmio ") + shown(port.iomemBase, 16);
        else
            line += QStringLiteral(" port ") + shown(port.port, 16);
        line += QStringLiteral(" irq ") + shown(port.irq) + QLatin1Char(' ') +
                QLatin1String(verdictName(kernelports::verdictOf(port)));
        if (port.console)
            line += QStringLiteral(" console");
        ports << line;
    }
    return ports.join(QStringLiteral(" | "));
}

QString windows(const std::vector<uint16_t>& bases) {
    QStringList list;
    for (const uint16_t base : bases)
        list << QString::number(base, 16).toUpper();
    return list.join(QLatin1Char(' '));
}

}  // namespace

class TestKernelPorts : public QObject {
    Q_OBJECT

private slots:
    void readPorts_data();
    void readPorts();
    void manyEntriesAreCut_data();
    void manyEntriesAreCut();
    void deviceResources_data();
    void deviceResources();
    void realSysfs();
    void ttyAtPort_data();
    void ttyAtPort();
};

// A tree of ttyS entries (see SysfsTree): the ports read, and the windows besides the COM
// windows that the helper would open for them.
void TestKernelPorts::readPorts_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("active");
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QString>("windows");

    const QString legacy = QStringLiteral("ttyS0 type=4 io_type=0 port=0x3F8 irq=4");
    const auto pci = [](const char* tty, const char* port) {
        return QStringLiteral("%1 type=4 io_type=0 port=%2 irq=17")
            .arg(QLatin1String(tty), QLatin1String(port));
    };
    const auto row = [](const char* name, QStringList entries, const char* ports, const char* bases,
                        const QString& active = {}) {
        QTest::newRow(name) << entries << active << QString::fromUtf8(ports)
                            << QString::fromUtf8(bases);
    };

    row("no serial port at all", {}, "", "");
    row("placeholders of type 0 are no UART",
        {"ttyS0 type=0 io_type=0 port=0x0 irq=0", "ttyS1 type=0 io_type=0 port=0x0 irq=0"}, "", "");
    row("legacy only", {legacy, "ttyS1 type=0 io_type=0 port=0x0 irq=0"},
        "ttyS0 type 4 io 0 port 3F8 irq 4 com", "");
    row("a COM base is no window of its own", {pci("ttyS1", "0x2F8")},
        "ttyS1 type 4 io 0 port 2F8 irq 17 com", "");
    row("PCI port I/O", {legacy, pci("ttyS4", "0xC000"), pci("ttyS5", "0xD010")},
        "ttyS0 type 4 io 0 port 3F8 irq 4 com | ttyS4 type 4 io 0 port C000 irq 17 other | "
        "ttyS5 type 4 io 0 port D010 irq 17 other",
        "C000 D010");
    row("by number, each window once", {pci("ttyS10", "0xC000"), pci("ttyS2", "0xC000")},
        "ttyS2 type 4 io 0 port C000 irq 17 other | ttyS10 type 4 io 0 port C000 irq 17 other",
        "C000");
    row("other names are not serial ports",
        {pci("tty0", "0xC000"), pci("ttyS", "0xC008"), pci("ttyS01", "0xC010"),
         pci("ttySX", "0xC018"), pci("ttyS4x", "0xC020"), pci("ttyUSB0", "0xC028")},
        "", "");
    row("the highest window", {pci("ttyS4", "0xFFF8")}, "ttyS4 type 4 io 0 port FFF8 irq 17 other",
        "FFF8");
    row("a window past 0xFFFF", {pci("ttyS4", "0xFFFC")}, "ttyS4 type 4 io 0 port FFFC irq 17 bad",
        "");
    row("a port past 0xFFFF", {pci("ttyS4", "0x10000")}, "ttyS4 type 4 io 0 port 10000 irq 17 bad",
        "");
    row("a port whose window wraps past 64 bits", {pci("ttyS4", "0xFFFFFFFFFFFFFFF8")},
        "ttyS4 type 4 io 0 port FFFFFFFFFFFFFFF8 irq 17 bad", "");
    row("the PC's own chips and the PCI configuration ports",
        {pci("ttyS4", "0x20"), pci("ttyS5", "0x60"), pci("ttyS6", "0x70"), pci("ttyS7", "0xF8"),
         pci("ttyS8", "0xCF8")},
        "ttyS4 type 4 io 0 port 20 irq 17 system | ttyS5 type 4 io 0 port 60 irq 17 system | "
        "ttyS6 type 4 io 0 port 70 irq 17 system | ttyS7 type 4 io 0 port F8 irq 17 system | "
        "ttyS8 type 4 io 0 port CF8 irq 17 system",
        "");
    row("next to the PC's own chips and the PCI configuration ports",
        {pci("ttyS4", "0x100"), pci("ttyS5", "0xCF0"), pci("ttyS6", "0xD00")},
        "ttyS4 type 4 io 0 port 100 irq 17 other | ttyS5 type 4 io 0 port CF0 irq 17 other | "
        "ttyS6 type 4 io 0 port D00 irq 17 other",
        "100 CF0 D00");
    row("a base that is not 8-aligned", {pci("ttyS4", "0xC004")},
        "ttyS4 type 4 io 0 port C004 irq 17 bad", "");
    row("a UART at port 0", {pci("ttyS4", "0x0")}, "ttyS4 type 4 io 0 port 0 irq 17 bad", "");
    row("memory-mapped",
        {"ttyS4 type=4 io_type=2 port=0x0 iomem_base=0xFE030000 irq=20",
         "ttyS5 type=14 io_type=3 port=0x0 iomem_base=0xFE031000 irq=21"},
        "ttyS4 type 4 io 2 mmio FE030000 irq 20 mmio | ttyS5 type 14 io 3 mmio FE031000 irq 21 "
        "mmio",
        "");
    row("a HUB6 card", {"ttyS4 type=4 io_type=1 port=0x302 irq=3"},
        "ttyS4 type 4 io 1 port 302 irq 3 hub6", "");
    row("registers four ports apart",
        {"ttyS4 type=4 io_type=0 port=0xC000 irq=17 iomem_reg_shift=2"},
        "ttyS4 type 4 io 0 port C000 irq 17 shift", "");
    row("an unparsable type", {"ttyS4 type=abc io_type=0 port=0xC000 irq=17"},
        "ttyS4 type ? io 0 port C000 irq 17 unreadable", "");
    row("a negative type", {"ttyS4 type=-1 io_type=0 port=0xC000 irq=17"},
        "ttyS4 type ? io 0 port C000 irq 17 unreadable", "");
    row("no type file", {"ttyS4 io_type=0 port=0xC000 irq=17"},
        "ttyS4 type ? io 0 port C000 irq 17 unreadable", "");
    row("a port without 0x", {pci("ttyS4", "C000")}, "ttyS4 type 4 io 0 port ? irq 17 unreadable",
        "");
    row("a port that is no number", {pci("ttyS4", "0xC0O0")},
        "ttyS4 type 4 io 0 port ? irq 17 unreadable", "");
    row("a port of more than 64 bits", {pci("ttyS4", "0x1000000000000C000")},
        "ttyS4 type 4 io 0 port ? irq 17 unreadable", "");
    // The file holds the value and a line feed: 255 characters fill the bound exactly.
    const QByteArray filling = "0x" + QByteArray(249, '0') + "C000";
    const QByteArray past = "0x" + QByteArray(250, '0') + "C000";
    row("an attribute at its bound", {pci("ttyS4", filling.constData())},
        "ttyS4 type 4 io 0 port C000 irq 17 other", "C000");
    row("an attribute one byte past its bound", {pci("ttyS4", past.constData())},
        "ttyS4 type 4 io 0 port ? irq 17 unreadable", "");
    const QByteArray huge = "0x" + QByteArray(300, '0') + "C000";
    row("an attribute longer than its bound", {pci("ttyS4", huge.constData())},
        "ttyS4 type 4 io 0 port ? irq 17 unreadable", "");
    row("an attribute that is a pipe is not waited on", {pci("ttyS4", "<fifo>")},
        "ttyS4 type 4 io 0 port ? irq 17 unreadable", "");
    row("an attribute that is a folder", {pci("ttyS4", "<dir>")},
        "ttyS4 type 4 io 0 port ? irq 17 unreadable", "");
    row("an attribute that is a symbolic link", {pci("ttyS4", "<link>")},
        "ttyS4 type 4 io 0 port ? irq 17 unreadable", "");
    row("an unparsable register shift",
        {"ttyS4 type=4 io_type=0 port=0xC000 irq=17 iomem_reg_shift=x"},
        "ttyS4 type 4 io 0 port C000 irq 17 unreadable", "");
    row("an unparsable IRQ still leaves a window", {"ttyS4 type=4 io_type=0 port=0xC000 irq=?"},
        "ttyS4 type 4 io 0 port C000 irq ? other", "C000");
    row("the console", {legacy, pci("ttyS1", "0x2F8")},
        "ttyS0 type 4 io 0 port 3F8 irq 4 com console | ttyS1 type 4 io 0 port 2F8 irq 17 com", "",
        QStringLiteral("tty0 ttyS0"));
    row("a console name matches whole", {pci("ttyS10", "0xC000")},
        "ttyS10 type 4 io 0 port C000 irq 17 other", "C000", QStringLiteral("ttyS1"));
}

void TestKernelPorts::readPorts() {
    QFETCH(QStringList, entries);
    QFETCH(QString, active);
    QFETCH(QString, ports);
    QFETCH(QString, windows);

    const SysfsTree tree(entries, active);
    QVERIFY(tree.ok());
    const kernelports::Listing listing = kernelports::readPorts(tree.root().toStdString());
    QCOMPARE(listing.error, 0);
    QVERIFY(!listing.cut);
    QCOMPARE(summary(listing), ports);
    QCOMPARE(::windows(kernelports::otherWindows(listing)), windows);
    QCOMPARE(::windows(kernelports::otherWindows(tree.root().toStdString())), windows);
    // The helper's read takes nothing from a tree that is not on sysfs.
    const kernelports::Listing offSysfs =
        kernelports::readPorts(tree.root().toStdString(), kernelports::Source::SysfsOnly);
    QCOMPARE(offSysfs.error, EXDEV);
    QVERIFY(offSysfs.ports.empty());
}

// However many ttyS entries there are, only the lowest-numbered ones are read; a missing
// tree reads as no port, with the reason.
void TestKernelPorts::manyEntriesAreCut_data() {
    QTest::addColumn<int>("entries");
    QTest::newRow("256") << 256;
    QTest::newRow("257") << 257;
    QTest::newRow("300") << 300;
}

void TestKernelPorts::manyEntriesAreCut() {
    QFETCH(int, entries);
    QStringList lines;
    for (int i = 0; i < entries; ++i)
        lines << QStringLiteral("ttyS%1 type=4 io_type=0 port=0x%2")
                     .arg(i)
                     .arg(0x8000 + 8 * i, 0, 16);
    const SysfsTree tree(lines, {});
    QVERIFY(tree.ok());
    const kernelports::Listing listing = kernelports::readPorts(tree.root().toStdString());
    const std::size_t kept = std::min<std::size_t>(entries, kernelports::kMostTtys);
    QCOMPARE(listing.cut, std::size_t(entries) > kernelports::kMostTtys);
    QCOMPARE(listing.ports.size(), kept);
    QCOMPARE(listing.ports.back().tty, "ttyS" + std::to_string(kept - 1));
    QCOMPARE(kernelports::otherWindows(listing).size(), kept);

    const kernelports::Listing none = kernelports::readPorts(tree.root().toStdString() + "/none");
    QCOMPARE(none.error, ENOENT);
    QVERIFY(none.ports.empty());
}

// A window of its own lies inside an I/O range of the tty's device where sysfs lists them:
// a PCI device's resource (start, end, flags; IORESOURCE_IO is 0x100), a PnP device's
// resources. A listing that cannot be read leaves no window.
void TestKernelPorts::deviceResources_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QString>("verdict");

    const auto region = [](const char* first, const char* last, const char* flags) {
        return QByteArray("0x") + QByteArray(first).rightJustified(16, '0') + " 0x" +
               QByteArray(last).rightJustified(16, '0') + " 0x" +
               QByteArray(flags).rightJustified(16, '0') + "\n";
    };
    const QByteArray unused = region("0", "0", "0");
    const QByteArray memory = region("fe000000", "fe000fff", "40200");
    QTest::newRow("PCI, at the start of its I/O region")
        << "0xC000"
        << "resource" << region("c000", "c01f", "40101") + memory + unused << "other";
    QTest::newRow("PCI, at the end of its I/O region")
        << "0xC018"
        << "resource" << memory + region("c000", "c01f", "40101") << "other";
    QTest::newRow("PCI, one port past its I/O region")
        << "0xC018"
        << "resource" << region("c000", "c01e", "40101") << "outside";
    QTest::newRow("PCI, before its I/O region")
        << "0xC000"
        << "resource" << region("c008", "c01f", "40101") << "outside";
    QTest::newRow("PCI, a memory region over the window")
        << "0xC000"
        << "resource" << region("c000", "c01f", "40200") << "outside";
    QTest::newRow("PCI, no region at all") << "0xC000"
                                           << "resource" << unused << "outside";
    QTest::newRow("PCI, a listing that does not parse")
        << "0xC000"
        << "resource" << QByteArray("0xc000 0xc01f\n") << "outside";
    QTest::newRow("PCI, a listing past its bound")
        << "0xC000"
        << "resource"
        << region("c000", "c01f", "40101").repeated(int(kernelports::kLargestResourceList / 57) + 1)
        << "outside";
    QTest::newRow("PnP, inside its I/O range")
        << "0x2A0"
        << "resources" << QByteArray("state = active\nio 0x2a0-0x2a7\nirq 5\n") << "other";
    QTest::newRow("PnP, a range that is off, then the window's")
        << "0x2A0"
        << "resources" << QByteArray("state = active\nio disabled\nio 0x2a0-0x2a7 window\nirq 5\n")
        << "other";
    QTest::newRow("PnP, the window one port past its range")
        << "0x2A0"
        << "resources" << QByteArray("state = active\nio 0x2a1-0x2a7\n") << "outside";
    QTest::newRow("PnP, memory only")
        << "0x2A0"
        << "resources" << QByteArray("state = active\nmem 0x2a0-0x2a7\n") << "outside";
    QTest::newRow("a COM base keeps its window whatever the device lists")
        << "0x2F8"
        << "resources" << QByteArray("state = active\nio 0x3f8-0x3ff\n") << "com";
}

void TestKernelPorts::deviceResources() {
    QFETCH(QString, port);
    QFETCH(QString, file);
    QFETCH(QByteArray, listing);
    QFETCH(QString, verdict);

    const SysfsTree tree({QStringLiteral("ttyS4 type=4 io_type=0 port=") + port}, {});
    QVERIFY(tree.ok());
    const QString device = tree.root() + QStringLiteral("/class/tty/ttyS4/device");
    QVERIFY(QDir().mkpath(device));
    QFile resources(device + QLatin1Char('/') + file);
    QVERIFY(resources.open(QIODevice::WriteOnly) && resources.write(listing) == listing.size());
    resources.close();

    const kernelports::Listing read = kernelports::readPorts(tree.root().toStdString());
    QCOMPARE(read.ports.size(), std::size_t(1));
    QCOMPARE(QLatin1String(verdictName(kernelports::verdictOf(read.ports.front()))), verdict);
}

// The kernel's own /sys passes the sysfs check (where this machine lists any tty).
void TestKernelPorts::realSysfs() {
    if (!QFileInfo::exists(QStringLiteral("/sys/class/tty")))
        QSKIP("no /sys/class/tty here");
    QCOMPARE(kernelports::readPorts("/sys", kernelports::Source::SysfsOnly).error, 0);
}

// Which tty the kernel registered at a port: one whose eight ports, at a COM base or a
// window of its own, hold it.
void TestKernelPorts::ttyAtPort_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("tty");

    QTest::newRow("3F8") << 0x3F8 << "ttyS0";
    QTest::newRow("3FF") << 0x3FF << "ttyS0";
    QTest::newRow("3F7") << 0x3F7 << "";
    QTest::newRow("2F8, a placeholder") << 0x2F8 << "";
    QTest::newRow("C007") << 0xC007 << "ttyS4";
    QTest::newRow("C008") << 0xC008 << "";
    QTest::newRow("0, the port a memory-mapped UART lists") << 0 << "";
    QTest::newRow("-1") << -1 << "";
}

void TestKernelPorts::ttyAtPort() {
    QFETCH(int, port);
    QFETCH(QString, tty);

    const SysfsTree tree(
        {"ttyS0 type=4 io_type=0 port=0x3F8", "ttyS1 type=0 io_type=0 port=0x2F8",
         "ttyS4 type=4 io_type=0 port=0xC000", "ttyS5 type=4 io_type=2 port=0x0 iomem_base=0xD010"},
        {});
    QVERIFY(tree.ok());
    const kernelports::Listing listing = kernelports::readPorts(tree.root().toStdString());
    const kernelports::Port* found = kernelports::ttyAtPort(listing, port);
    QCOMPARE(found ? QString::fromStdString(found->tty) : QString(), tty);
}

QTEST_APPLESS_MAIN(TestKernelPorts)
#include "tst_kernelports.moc"
