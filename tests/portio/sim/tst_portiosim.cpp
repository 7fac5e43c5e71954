// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <dlfcn.h>
#include <unistd.h>

#include <QTest>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>

#include "portio/ioscmexports.h"

// The simulated library as the program meets it: opened with dlopen from beside the
// executable, its functions found by their export names. The library's UARTs live for the
// whole process, so the test functions run in order and build on each other.
class TestPortIoSim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void accessBeforeStartFails();
    void startSucceeds();
    void byteAccess_data();
    void byteAccess();
    void nullModemThroughTheLibrary();
    void wideAccessIsBytesLowFirst();
    void stopEndsAccessAndKeepsState();
    void lastErrorIsPerThread();
    void startFromTheEnvironment_data();
    void startFromTheEnvironment();
    void chipSwapResetsThatUartOnly();

private:
    QByteArray chipsSeen();

    IoscmExports m_lib;
};

void TestPortIoSim::initTestCase() {
    char exe[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    QVERIFY(length > 0);
    std::string path(exe, static_cast<std::size_t>(length));
    path = path.substr(0, path.rfind('/') + 1) + SIM_LIBRARY_FILE;
    QVERIFY2(m_lib.open(path), dlerror());
}

void TestPortIoSim::accessBeforeStartFails() {
    QCOMPARE(m_lib.outB(0x3FF, 0x55), -1);
    QVERIFY(m_lib.lastError() != nullptr);
    QVERIFY(std::string(m_lib.lastError()).find("IOSCM_Start") != std::string::npos);
    QCOMPARE(m_lib.inpB(0x3FD), 0);
    QVERIFY(m_lib.lastError() != nullptr);
    QCOMPARE(m_lib.inpW(0x3FD), 0);
    QCOMPARE(m_lib.outD(0x3F8, 0x01020304), -1);
    QVERIFY(m_lib.lastError() != nullptr);
}

void TestPortIoSim::startSucceeds() {
    QCOMPARE(m_lib.start() & 1, 0);
    QVERIFY(m_lib.lastError() == nullptr);
    QCOMPARE(m_lib.start() & 1, 0);  // again, while open
    QVERIFY(m_lib.lastError() == nullptr);
    QCOMPARE(m_lib.inpB(0x3FF), 0x00);  // the refused write did not happen
}

void TestPortIoSim::byteAccess_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("readBack");
    QTest::newRow("3FF 5A") << 0x3FF << 0x5A << 0x5A;
    QTest::newRow("2EF 1A5") << 0x2EF << 0x1A5 << 0xA5;
    QTest::newRow("3EF -1") << 0x3EF << -1 << 0xFF;
    QTest::newRow("2F9 FF") << 0x2F9 << 0xFF << 0x0F;      // IER keeps bits 0-3
    QTest::newRow("3FD 00") << 0x3FD << 0x00 << 0x60;      // LSR is not written
    QTest::newRow("300 00") << 0x300 << 0x00 << 0xFF;      // nothing there
    QTest::newRow("-1 00") << -1 << 0x00 << 0xFF;          // port FFFF
    QTest::newRow("-32768 00") << -32768 << 0x00 << 0xFF;  // port 8000
}

void TestPortIoSim::byteAccess() {
    QFETCH(int, port);
    QFETCH(int, data);
    QFETCH(int, readBack);
    const auto p = static_cast<int16_t>(port);
    QCOMPARE(m_lib.outB(p, static_cast<int16_t>(data)), 0);
    QVERIFY(m_lib.lastError() == nullptr);
    QCOMPARE(m_lib.inpB(p), readBack);
    QVERIFY(m_lib.lastError() == nullptr);
}

void TestPortIoSim::nullModemThroughTheLibrary() {
    // Instant timing: the machine's clock cannot be waited on here.
    setenv("REGWISE_SIM_TIMING", "instant", 1);
    QCOMPARE(m_lib.start() & 1, 0);
    unsetenv("REGWISE_SIM_TIMING");
    m_lib.outB(0x3FB, 0x03);
    m_lib.outB(0x2FB, 0x03);
    m_lib.outB(0x3F8, 0x41);
    QCOMPARE(m_lib.inpB(0x2FD), 0x61);
    QCOMPARE(m_lib.inpB(0x2F8), 0x41);
    QCOMPARE(m_lib.inpB(0x2FD), 0x60);
    QCOMPARE(m_lib.start() & 1, 0);  // back to line timing
}

void TestPortIoSim::wideAccessIsBytesLowFirst() {
    // LCR at the first port, MCR at the second.
    QCOMPARE(m_lib.outW(0x2EB, 0x0A03), 0);
    QCOMPARE(m_lib.inpB(0x2EB), 0x03);
    QCOMPARE(m_lib.inpB(0x2EC), 0x0A);
    QCOMPARE(m_lib.inpW(0x2EB), 0x0A03);
    QCOMPARE(m_lib.inpW(0x2EF), static_cast<int16_t>(0xFFA5));  // SCR, then no port at 2F0

    // MCR, LSR and MSR (not writable), SCR.
    QCOMPARE(m_lib.outD(0x2EC, static_cast<int32_t>(0xC7FFFF01)), 0);
    QCOMPARE(m_lib.inpD(0x2EC), static_cast<int32_t>(0xC7006001));
    QVERIFY(m_lib.lastError() == nullptr);
}

void TestPortIoSim::stopEndsAccessAndKeepsState() {
    m_lib.outB(0x3EF, 0x3C);
    QCOMPARE(m_lib.stop(), 0);
    QVERIFY(m_lib.lastError() == nullptr);
    QCOMPARE(m_lib.stop(), 0);  // again, while none is open
    QCOMPARE(m_lib.inpB(0x3EF), 0);
    QVERIFY(m_lib.lastError() != nullptr);

    QCOMPARE(m_lib.start() & 1, 0);
    QCOMPARE(m_lib.inpB(0x3EF), 0x3C);  // a new session finds the UART as it was left
}

void TestPortIoSim::lastErrorIsPerThread() {
    QCOMPARE(m_lib.stop(), 0);
    QCOMPARE(m_lib.inpB(0x3F8), 0);
    QVERIFY(m_lib.lastError() != nullptr);

    const char* otherThreadError = "not run";
    std::thread([&] { otherThreadError = m_lib.lastError(); }).join();
    QVERIFY(otherThreadError == nullptr);
    QVERIFY(m_lib.lastError() != nullptr);
}

// How each COM port answers a short probe: IIR bits 4-7 after FCR 21 written with DLAB
// set, then what SCR gives back of 5A. Tells every chip apart: "00 FF" 8250, "00 5A" 16450,
// "80 5A" 16550, "C0 5A" 16550A, "E0 5A" 16750, "F0 FF" none. Leaves FCR 00 and SCR 00.
QByteArray TestPortIoSim::chipsSeen() {
    QByteArray seen;
    for (const int base : {0x3F8, 0x2F8, 0x3E8, 0x2E8}) {
        const auto port = [base](int offset) { return static_cast<int16_t>(base + offset); };
        const int16_t lcr = m_lib.inpB(port(3));
        m_lib.outB(port(3), 0x80);
        m_lib.outB(port(2), 0x21);
        m_lib.outB(port(3), lcr);
        const int iir = m_lib.inpB(port(2)) & 0xF0;
        m_lib.outB(port(7), 0x5A);
        const int scr = m_lib.inpB(port(7));
        m_lib.outB(port(2), 0x00);
        m_lib.outB(port(7), 0x00);
        seen += QByteArray::number(iir, 16).toUpper().rightJustified(2, '0') + ' ' +
                QByteArray::number(scr, 16).toUpper().rightJustified(2, '0');
        if (base != 0x2E8)
            seen += ", ";
    }
    return seen;
}

void TestPortIoSim::startFromTheEnvironment_data() {
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<bool>("set");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("lsr");           // COM3 in loopback right after a write at divisor FFFF
    QTest::addColumn<QByteArray>("chips");  // then chipsSeen()
    QTest::addColumn<QByteArray>("shown");  // for a refused value: how the message shows it
    const QByteArray timing = "REGWISE_SIM_TIMING";
    const QByteArray uarts = "REGWISE_SIM_UARTS";
    const QByteArray all16550A = "C0 5A, C0 5A, C0 5A, C0 5A";
    // At divisor FFFF a byte reaches the shift register 0.85 s after the write: still in THR
    // when LSR is read.
    QTest::newRow("timing unset") << timing << false << QByteArray() << 0x00 << all16550A
                                  << QByteArray();
    QTest::newRow("line") << timing << true << QByteArray("line") << 0x00 << all16550A
                          << QByteArray();
    QTest::newRow("instant") << timing << true << QByteArray("instant") << 0x61 << all16550A
                             << QByteArray();
    QTest::newRow("timing empty") << timing << true << QByteArray() << -1 << QByteArray()
                                  << QByteArray("「」");
    QTest::newRow("LINE") << timing << true << QByteArray("LINE") << -1 << QByteArray()
                          << QByteArray("「LINE」");
    QTest::newRow("instant and a newline") << timing << true << QByteArray("instant\n") << -1
                                           << QByteArray() << QByteArray("「instant\\x0A」");
    QTest::newRow("timing escape sequence")
        << timing << true << QByteArray("\x1b[2J\x1b]0;x\x07") << -1 << QByteArray()
        << QByteArray("「\\x1B[2J\\x1B]0;x\\x07」");
    // REGWISE_SIM_UARTS: exactly four names from the list, as written there, comma-separated.
    QTest::newRow("chips unset") << uarts << false << QByteArray() << 0x00 << all16550A
                                 << QByteArray();
    QTest::newRow("16550A x4") << uarts << true << QByteArray("16550A,16550A,16550A,16550A") << 0x00
                               << all16550A << QByteArray();
    QTest::newRow("8250,16450,16550,16750")
        << uarts << true << QByteArray("8250,16450,16550,16750") << 0x00
        << QByteArray("00 FF, 00 5A, 80 5A, E0 5A") << QByteArray();
    QTest::newRow("16750,none,16450,none")
        << uarts << true << QByteArray("16750,none,16450,none") << 0x00
        << QByteArray("E0 5A, F0 FF, 00 5A, F0 FF") << QByteArray();
    QTest::newRow("none x4") << uarts << true << QByteArray("none,none,none,none") << 0xFF
                             << QByteArray("F0 FF, F0 FF, F0 FF, F0 FF") << QByteArray();
    QTest::newRow("chips empty") << uarts << true << QByteArray() << -1 << QByteArray()
                                 << QByteArray("「」");
    QTest::newRow("three names") << uarts << true << QByteArray("16550A,16550A,16550A") << -1
                                 << QByteArray() << QByteArray("「16550A,16550A,16550A」");
    QTest::newRow("five names") << uarts << true << QByteArray("8250,8250,8250,8250,8250") << -1
                                << QByteArray() << QByteArray("「8250,8250,8250,8250,8250」");
    QTest::newRow("trailing comma") << uarts << true << QByteArray("8250,8250,8250,8250,") << -1
                                    << QByteArray() << QByteArray("「8250,8250,8250,8250,」");
    QTest::newRow("empty name") << uarts << true << QByteArray("8250,,8250,8250") << -1
                                << QByteArray() << QByteArray("「8250,,8250,8250」");
    QTest::newRow("lower case") << uarts << true << QByteArray("16550a,16550A,16550A,16550A") << -1
                                << QByteArray() << QByteArray("「16550a,16550A,16550A,16550A」");
    QTest::newRow("blank after a comma")
        << uarts << true << QByteArray("16550A, 16550A,16550A,16550A") << -1 << QByteArray()
        << QByteArray("「16550A, 16550A,16550A,16550A」");
    // A chip the probe knows but the simulator does not have.
    QTest::newRow("unknown chip") << uarts << true << QByteArray("16550A,XR16C850,16550A,16550A")
                                  << -1 << QByteArray()
                                  << QByteArray("「16550A,XR16C850,16550A,16550A」");
    QTest::newRow("chips escape sequence")
        << uarts << true << QByteArray("none,none,none,\x1b]0;x\x07") << -1 << QByteArray()
        << QByteArray("「none,none,none,\\x1B]0;x\\x07」");
    QTest::newRow("floating,16450,16550A,floating")
        << uarts << true << QByteArray("floating,16450,16550A,floating") << 0x00
        << QByteArray("F0 5A, 00 5A, C0 5A, F0 5A") << QByteArray();
    QTest::newRow("16650,16C950,16550A,16550A")
        << uarts << true << QByteArray("16650,16C950,16550A,16550A") << 0x00
        << QByteArray("C0 5A, C0 5A, C0 5A, C0 5A") << QByteArray();
    // A chip's name may carry its clock: 1 to 100 MHz, whole hertz, in Hz, kHz or MHz.
    QTest::newRow("16550A@14.7456MHz,16550A,16650@7.3728MHz,none")
        << uarts << true << QByteArray("16550A@14.7456MHz,16550A,16650@7.3728MHz,none") << 0x00
        << QByteArray("C0 5A, C0 5A, C0 5A, F0 FF") << QByteArray();
    QTest::newRow("16550A@14.7456MHz,16450@1843200,16750@7372.8kHz,none")
        << uarts << true << QByteArray("16550A@14.7456MHz,16450@1843200,16750@7372.8kHz,none")
        << 0x00 << QByteArray("C0 5A, 00 5A, E0 5A, F0 FF") << QByteArray();
    QTest::newRow("1000000Hz and 100MHz")
        << uarts << true << QByteArray("16550A@100MHz,16550A,16550A@1000000Hz,16550A") << 0x00
        << all16550A << QByteArray();
    for (const char* bad :
         {"16550A@999999,16550A,16550A,16550A", "16550A@100.000001MHz,16550A,16550A,16550A",
          "16550A@1843200.5,16550A,16550A,16550A", "16550A@1843.2001kHz,16550A,16550A,16550A",
          "16550A@,16550A,16550A,16550A", "16550A@14.7456mhz,16550A,16550A,16550A",
          "16550A@14.7456 MHz,16550A,16550A,16550A", "16550A@.5MHz,16550A,16550A,16550A",
          "16550A@2.MHz,16550A,16550A,16550A", "16550A@MHz,16550A,16550A,16550A",
          "16550A@-2MHz,16550A,16550A,16550A", "16550A@2MHz@2MHz,16550A,16550A,16550A",
          "16550A@18446744073709551617,16550A,16550A,16550A", "none@1843200,16550A,16550A,16550A",
          "floating@1843200,16550A,16550A,16550A"}) {
        QTest::newRow(bad) << uarts << true << QByteArray(bad) << -1 << QByteArray()
                           << QByteArray("「") + QByteArray(bad).split(',').at(0);
    }
    QTest::newRow("Floating") << uarts << true << QByteArray("16550A,16550A,16550A,Floating") << -1
                              << QByteArray() << QByteArray("「16550A,16550A,16550A,Floating」");
    // REGWISE_SIM_FAULTS: PORT:FAULT, comma-separated, the port in hexadecimal.
    const QByteArray faults = "REGWISE_SIM_FAULTS";
    QTest::newRow("faults empty") << faults << true << QByteArray() << 0x00 << all16550A
                                  << QByteArray();
    QTest::newRow("3E8:temt-stuck,2e8:scratch-bit7-stuck")
        << faults << true << QByteArray("3E8:temt-stuck,2e8:scratch-bit7-stuck") << 0x40
        << QByteArray("C0 5A, C0 5A, C0 5A, C0 DA") << QByteArray();
    QTest::newRow("0x3E8:temt-stuck,3E8:no-interrupt")
        << faults << true << QByteArray("0x3E8:temt-stuck,3E8:no-interrupt") << 0x40 << all16550A
        << QByteArray();
    QTest::newRow("fault without a port") << faults << true << QByteArray("temt-stuck") << -1
                                          << QByteArray() << QByteArray("「temt-stuck」");
    QTest::newRow("port without a fault")
        << faults << true << QByteArray("3F8:") << -1 << QByteArray() << QByteArray("「3F8:」");
    QTest::newRow("no COM base") << faults << true << QByteArray("3F0:temt-stuck") << -1
                                 << QByteArray() << QByteArray("「3F0:temt-stuck」");
    QTest::newRow("13F8") << faults << true << QByteArray("13F8:temt-stuck") << -1 << QByteArray()
                          << QByteArray("「13F8:temt-stuck」");
    QTest::newRow("upper-case fault") << faults << true << QByteArray("3F8:TEMT-STUCK") << -1
                                      << QByteArray() << QByteArray("「3F8:TEMT-STUCK」");
    QTest::newRow("faults trailing comma") << faults << true << QByteArray("3F8:temt-stuck,") << -1
                                           << QByteArray() << QByteArray("「3F8:temt-stuck,」");
    QTest::newRow("faults blank") << faults << true << QByteArray("3F8: temt-stuck") << -1
                                  << QByteArray() << QByteArray("「3F8: temt-stuck」");
    QTest::newRow("faults escape sequence") << faults << true << QByteArray("3F8:\x1b[2J") << -1
                                            << QByteArray() << QByteArray("「3F8:\\x1B[2J」");
    // Long values are refused as any other, and shown cut.
    QTest::newRow("long value") << uarts << true << QByteArray(100000, ',') << -1 << QByteArray()
                                << QByteArray("「,,,,,,,,,,");
}

void TestPortIoSim::startFromTheEnvironment() {
    QFETCH(QByteArray, variable);
    QFETCH(bool, set);
    QFETCH(QByteArray, value);
    QFETCH(int, lsr);
    QFETCH(QByteArray, chips);
    QFETCH(QByteArray, shown);
    if (set)
        setenv(variable.constData(), value.constData(), 1);
    else
        unsetenv(variable.constData());
    const int32_t started = m_lib.start();
    const char* error = m_lib.lastError();
    const std::string message = error ? error : "";
    unsetenv("REGWISE_SIM_TIMING");

    if (lsr < 0) {
        unsetenv("REGWISE_SIM_UARTS");
        unsetenv("REGWISE_SIM_FAULTS");
        QCOMPARE(started & 1, 1);
        const QList<QByteArray> names =
            variable == "REGWISE_SIM_TIMING" ? QList<QByteArray>{"line", "instant"}
            : variable == "REGWISE_SIM_FAULTS"
                ? QList<QByteArray>{"3F8",
                                    "2E8",
                                    "temt-stuck",
                                    "fifo-short",
                                    "dsr-open",
                                    "data-bit3-stuck",
                                    "scratch-bit7-stuck",
                                    "no-interrupt"}
                : QList<QByteArray>{"8250",  "16450",  "16550", "16550A",  "16750",
                                    "16650", "16C950", "none",  "floating"};
        QVERIFY2(message.find(variable.constData()) != std::string::npos, message.c_str());
        QVERIFY2(message.find(shown.constData()) != std::string::npos, message.c_str());
        for (const QByteArray& name : names)
            QVERIFY2(message.find(name.constData()) != std::string::npos, message.c_str());
        QCOMPARE(m_lib.inpB(0x3EF), 0);  // no session is left open
        QVERIFY(m_lib.lastError() != nullptr);
        return;
    }
    QCOMPARE(started & 1, 0);
    QVERIFY(error == nullptr);
    m_lib.outB(0x3EB, 0x83);
    m_lib.outB(0x3E8, 0xFF);
    m_lib.outB(0x3E9, 0xFF);
    m_lib.outB(0x3EB, 0x03);
    m_lib.outB(0x3EC, 0x10);
    m_lib.outB(0x3E8, 0x41);
    QCOMPARE(m_lib.inpB(0x3ED), lsr);

    // Switching to instant timing completes the character in flight; the chips stay.
    setenv("REGWISE_SIM_TIMING", "instant", 1);
    QCOMPARE(m_lib.start() & 1, 0);
    unsetenv("REGWISE_SIM_TIMING");
    const bool com3 = lsr != 0xFF;
    QCOMPARE(m_lib.inpB(0x3ED), com3 ? 0x61 : 0xFF);
    QCOMPARE(m_lib.inpB(0x3E8), com3 ? 0x41 : 0xFF);
    m_lib.outB(0x3EC, 0x00);
    m_lib.outB(0x3EB, 0x83);
    m_lib.outB(0x3E8, 0x00);
    m_lib.outB(0x3E9, 0x00);
    m_lib.outB(0x3EB, 0x00);
    QCOMPARE(m_lib.inpB(0x3ED), com3 ? 0x60 : 0xFF);
    QCOMPARE(chipsSeen(), chips);
    unsetenv("REGWISE_SIM_UARTS");
    unsetenv("REGWISE_SIM_FAULTS");
    QCOMPARE(m_lib.start() & 1, 0);
    QCOMPARE(chipsSeen(), QByteArray("C0 5A, C0 5A, C0 5A, C0 5A"));
}

void TestPortIoSim::chipSwapResetsThatUartOnly() {
    QCOMPARE(m_lib.start() & 1, 0);
    for (const int16_t scr : {0x3FF, 0x2FF, 0x3EF, 0x2EF})
        m_lib.outB(scr, 0x77);
    m_lib.outB(0x2FC, 0x01);  // COM2 raises DTR
    QCOMPARE(m_lib.inpB(0x3FE) & 0xF0, 0xA0);

    // COM1 becomes a 16750: a fresh chip on the same cable; COM2-COM4 keep their state.
    setenv("REGWISE_SIM_UARTS", "16750,16550A,16550A,16550A", 1);
    QCOMPARE(m_lib.start() & 1, 0);
    QCOMPARE(m_lib.inpB(0x3FF), 0x00);
    QCOMPARE(m_lib.inpB(0x3FE), 0xA0);  // COM2's DTR, with no change to report
    QCOMPARE(m_lib.inpB(0x2FF), 0x77);
    QCOMPARE(m_lib.inpB(0x3EF), 0x77);
    QCOMPARE(m_lib.inpB(0x2EF), 0x77);
    m_lib.outB(0x3FF, 0x33);

    // The same names again change nothing.
    QCOMPARE(m_lib.start() & 1, 0);
    QCOMPARE(m_lib.inpB(0x3FF), 0x33);

    // COM2 taken away: COM1 sees its lines drop.
    setenv("REGWISE_SIM_UARTS", "16750,none,16550A,16550A", 1);
    QCOMPARE(m_lib.start() & 1, 0);
    QCOMPARE(m_lib.inpB(0x3FE), 0x0A);
    QCOMPARE(m_lib.inpB(0x3FF), 0x33);

    // A fault needs a UART to act on.
    setenv("REGWISE_SIM_FAULTS", "3F8:no-interrupt,2F8:temt-stuck", 1);
    QCOMPARE(m_lib.start() & 1, 1);
    const std::string refused = m_lib.lastError() ? m_lib.lastError() : "";
    QVERIFY2(refused.find("REGWISE_SIM_FAULTS") != std::string::npos &&
                 refused.find("2F8") != std::string::npos,
             refused.c_str());
    // A new fault at a port is a new UART there.
    setenv("REGWISE_SIM_FAULTS", "3F8:no-interrupt", 1);
    QCOMPARE(m_lib.start() & 1, 0);
    QCOMPARE(m_lib.inpB(0x3FF), 0x00);
    QCOMPARE(m_lib.inpB(0x3EF), 0x77);
    unsetenv("REGWISE_SIM_FAULTS");

    // Back to the default: COM1 and COM2 start afresh.
    unsetenv("REGWISE_SIM_UARTS");
    QCOMPARE(m_lib.start() & 1, 0);
    QCOMPARE(m_lib.inpB(0x3FF), 0x00);
    QCOMPARE(m_lib.inpB(0x2FF), 0x00);
    QCOMPARE(m_lib.inpB(0x2FC), 0x00);
    QCOMPARE(m_lib.inpB(0x3EF), 0x77);
}

QTEST_APPLESS_MAIN(TestPortIoSim)
#include "tst_portiosim.moc"
