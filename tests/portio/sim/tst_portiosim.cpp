// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <dlfcn.h>
#include <unistd.h>

#include <QTest>
#include <climits>
#include <cstdlib>
#include <string>
#include <thread>

#include "portio/ioscm.h"

// The simulated library as the program meets it: opened with dlopen from beside the
// executable, its functions found by their export names. The library's UARTs live for the
// whole process, so the test functions run in order and build on each other.
class TestPortIoSim : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void accessBeforeStartFails();
    void startSucceeds();
    void byteAccess_data();
    void byteAccess();
    void nullModemThroughTheLibrary();
    void wideAccessIsBytesLowFirst();
    void stopEndsAccessAndKeepsState();
    void lastErrorIsPerThread();
    void timingFromTheEnvironment_data();
    void timingFromTheEnvironment();

private:
    template <typename F>
    F resolve(const char* name) {
        void* symbol = dlsym(m_handle, name);
        if (!symbol)
            qFatal("%s missing: %s", name, dlerror());
        return reinterpret_cast<F>(symbol);
    }

    void* m_handle = nullptr;
    IOSCM_StartFn m_start = nullptr;
    IOSCM_StopFn m_stop = nullptr;
    IOSCM_InpBFn m_inpB = nullptr;
    IOSCM_OutBFn m_outB = nullptr;
    IOSCM_InpWFn m_inpW = nullptr;
    IOSCM_InpDFn m_inpD = nullptr;
    IOSCM_OutWFn m_outW = nullptr;
    IOSCM_OutDFn m_outD = nullptr;
    IOSCM_LastErrorFn m_lastError = nullptr;
};

void TestPortIoSim::initTestCase() {
    char exe[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    QVERIFY(length > 0);
    std::string path(exe, static_cast<std::size_t>(length));
    path = path.substr(0, path.rfind('/') + 1) + SIM_LIBRARY_FILE;
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_handle, dlerror());

    m_start = resolve<decltype(m_start)>("IOSCM_Start");
    m_stop = resolve<decltype(m_stop)>("IOSCM_Stop");
    m_inpB = resolve<decltype(m_inpB)>("InpB");
    m_outB = resolve<decltype(m_outB)>("OutB");
    m_inpW = resolve<decltype(m_inpW)>("InpW");
    m_inpD = resolve<decltype(m_inpD)>("InpD");
    m_outW = resolve<decltype(m_outW)>("OutW");
    m_outD = resolve<decltype(m_outD)>("OutD");
    m_lastError = resolve<decltype(m_lastError)>("IOSCM_LastError");
}

void TestPortIoSim::cleanupTestCase() {
    if (m_handle)
        dlclose(m_handle);
}

void TestPortIoSim::accessBeforeStartFails() {
    QCOMPARE(m_outB(0x3FF, 0x55), -1);
    QVERIFY(m_lastError() != nullptr);
    QVERIFY(std::string(m_lastError()).find("IOSCM_Start") != std::string::npos);
    QCOMPARE(m_inpB(0x3FD), 0);
    QVERIFY(m_lastError() != nullptr);
    QCOMPARE(m_inpW(0x3FD), 0);
    QCOMPARE(m_outD(0x3F8, 0x01020304), -1);
    QVERIFY(m_lastError() != nullptr);
}

void TestPortIoSim::startSucceeds() {
    QCOMPARE(m_start() & 1, 0);
    QVERIFY(m_lastError() == nullptr);
    QCOMPARE(m_start() & 1, 0);  // again, while open
    QVERIFY(m_lastError() == nullptr);
    QCOMPARE(m_inpB(0x3FF), 0x00);  // the refused write did not happen
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
    QCOMPARE(m_outB(p, static_cast<int16_t>(data)), 0);
    QVERIFY(m_lastError() == nullptr);
    QCOMPARE(m_inpB(p), readBack);
    QVERIFY(m_lastError() == nullptr);
}

void TestPortIoSim::nullModemThroughTheLibrary() {
    m_outB(0x3FB, 0x03);
    m_outB(0x2FB, 0x03);
    m_outB(0x3F8, 0x41);
    QCOMPARE(m_inpB(0x2FD), 0x61);
    QCOMPARE(m_inpB(0x2F8), 0x41);
    QCOMPARE(m_inpB(0x2FD), 0x60);
}

void TestPortIoSim::wideAccessIsBytesLowFirst() {
    // LCR at the first port, MCR at the second.
    QCOMPARE(m_outW(0x2EB, 0x0A03), 0);
    QCOMPARE(m_inpB(0x2EB), 0x03);
    QCOMPARE(m_inpB(0x2EC), 0x0A);
    QCOMPARE(m_inpW(0x2EB), 0x0A03);
    QCOMPARE(m_inpW(0x2EF), static_cast<int16_t>(0xFFA5));  // SCR, then no port at 2F0

    // MCR, LSR and MSR (not writable), SCR.
    QCOMPARE(m_outD(0x2EC, static_cast<int32_t>(0xC7FFFF01)), 0);
    QCOMPARE(m_inpD(0x2EC), static_cast<int32_t>(0xC7006001));
    QVERIFY(m_lastError() == nullptr);
}

void TestPortIoSim::stopEndsAccessAndKeepsState() {
    m_outB(0x3EF, 0x3C);
    QCOMPARE(m_stop(), 0);
    QVERIFY(m_lastError() == nullptr);
    QCOMPARE(m_stop(), 0);  // again, while none is open
    QCOMPARE(m_inpB(0x3EF), 0);
    QVERIFY(m_lastError() != nullptr);

    QCOMPARE(m_start() & 1, 0);
    QCOMPARE(m_inpB(0x3EF), 0x3C);  // a new session finds the UART as it was left
}

void TestPortIoSim::lastErrorIsPerThread() {
    QCOMPARE(m_stop(), 0);
    QCOMPARE(m_inpB(0x3F8), 0);
    QVERIFY(m_lastError() != nullptr);

    const char* otherThreadError = "not run";
    std::thread([&] { otherThreadError = m_lastError(); }).join();
    QVERIFY(otherThreadError == nullptr);
    QVERIFY(m_lastError() != nullptr);
}

void TestPortIoSim::timingFromTheEnvironment_data() {
    QTest::addColumn<bool>("set");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("lsr");           // COM3 in loopback right after a write at divisor FFFF
    QTest::addColumn<QByteArray>("shown");  // for a refused value: how the message shows it
    // One character at divisor FFFF takes 5.7 s: still in the shift register when LSR is read.
    QTest::newRow("unset") << false << QByteArray() << 0x20 << QByteArray();
    QTest::newRow("line") << true << QByteArray("line") << 0x20 << QByteArray();
    QTest::newRow("instant") << true << QByteArray("instant") << 0x61 << QByteArray();
    QTest::newRow("empty") << true << QByteArray() << -1 << QByteArray("「」");
    QTest::newRow("LINE") << true << QByteArray("LINE") << -1 << QByteArray("「LINE」");
    QTest::newRow("instant and a newline")
        << true << QByteArray("instant\n") << -1 << QByteArray("「instant\\x0A」");
    QTest::newRow("escape sequence") << true << QByteArray("\x1b[2J\x1b]0;x\x07") << -1
                                     << QByteArray("「\\x1B[2J\\x1B]0;x\\x07」");
}

void TestPortIoSim::timingFromTheEnvironment() {
    QFETCH(bool, set);
    QFETCH(QByteArray, value);
    QFETCH(int, lsr);
    QFETCH(QByteArray, shown);
    if (set)
        setenv("REGWISE_SIM_TIMING", value.constData(), 1);
    else
        unsetenv("REGWISE_SIM_TIMING");
    const int32_t started = m_start();
    const char* error = m_lastError();
    const std::string message = error ? error : "";
    unsetenv("REGWISE_SIM_TIMING");

    if (lsr < 0) {
        QCOMPARE(started & 1, 1);
        for (const char* part : {"REGWISE_SIM_TIMING", "line", "instant", shown.constData()})
            QVERIFY2(message.find(part) != std::string::npos, message.c_str());
        QCOMPARE(m_inpB(0x3EF), 0);  // no session is left open
        QVERIFY(m_lastError() != nullptr);
        return;
    }
    QCOMPARE(started & 1, 0);
    QVERIFY(error == nullptr);
    m_outB(0x3EB, 0x83);
    m_outB(0x3E8, 0xFF);
    m_outB(0x3E9, 0xFF);
    m_outB(0x3EB, 0x03);
    m_outB(0x3EC, 0x10);
    m_outB(0x3E8, 0x41);
    QCOMPARE(m_inpB(0x3ED), lsr);

    // Switching to instant timing completes the character in flight.
    setenv("REGWISE_SIM_TIMING", "instant", 1);
    QCOMPARE(m_start() & 1, 0);
    unsetenv("REGWISE_SIM_TIMING");
    QCOMPARE(m_inpB(0x3ED), 0x61);
    QCOMPARE(m_inpB(0x3E8), 0x41);
    m_outB(0x3EC, 0x00);
    m_outB(0x3EB, 0x83);
    m_outB(0x3E8, 0x00);
    m_outB(0x3E9, 0x00);
    m_outB(0x3EB, 0x00);
    QCOMPARE(m_inpB(0x3ED), 0x60);
    QCOMPARE(m_start() & 1, 0);
}

QTEST_APPLESS_MAIN(TestPortIoSim)
#include "tst_portiosim.moc"
