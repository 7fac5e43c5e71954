// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "portio/sim/uartbus.h"

using U = Uart16550;

namespace {

// The Linux 8250 driver's autoconfig steps that tell a 16550A from an empty slot or an
// older chip. Restores what it changes, as the driver does.
bool probe16550A(UartBus& bus, uint16_t base) {
    const uint8_t savedIer = bus.read(base + uart::IER);
    bus.write(base + uart::IER, 0x00);
    const int ierZero = bus.read(base + uart::IER) & 0x0F;
    bus.write(base + uart::IER, 0x0F);
    const int ierAll = bus.read(base + uart::IER) & 0x0F;
    bus.write(base + uart::IER, savedIer);
    if (ierZero != 0x00 || ierAll != 0x0F)
        return false;

    const uint8_t savedMcr = bus.read(base + uart::MCR);
    bus.write(base + uart::MCR, 0x1A);  // loopback, RTS, OUT2
    const int lines = bus.read(base + uart::MSR) & 0xF0;
    bus.write(base + uart::MCR, savedMcr);
    if (lines != 0x90)
        return false;

    bus.write(base + uart::FCR, 0x01);
    const int fifoBits = bus.read(base + uart::IIR) >> 6;
    bus.write(base + uart::FCR, 0x00);
    if (fifoBits != 3)
        return false;

    bus.write(base + uart::SCR, 0xA5);
    const bool scratchA5 = bus.read(base + uart::SCR) == 0xA5;
    bus.write(base + uart::SCR, 0x5A);
    return scratchA5 && bus.read(base + uart::SCR) == 0x5A;
}

}  // namespace

class TestUartBus : public QObject {
    Q_OBJECT

private slots:
    void portMap_data();
    void portMap();
    void dataLowByte_data();
    void dataLowByte();
    void cables_data();
    void cables();
    void linuxProbe_data();
    void linuxProbe();
    void resetKeepsCables();
};

void TestUartBus::portMap_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("uart");  // -1: no UART there
    QTest::newRow("3F8") << 0x3F8 << 0;
    QTest::newRow("3FF") << 0x3FF << 0;
    QTest::newRow("2F8") << 0x2F8 << 1;
    QTest::newRow("2FF") << 0x2FF << 1;
    QTest::newRow("3E8") << 0x3E8 << 2;
    QTest::newRow("3EF") << 0x3EF << 2;
    QTest::newRow("2E8") << 0x2E8 << 3;
    QTest::newRow("2EF") << 0x2EF << 3;
    QTest::newRow("3F7") << 0x3F7 << -1;
    QTest::newRow("400") << 0x400 << -1;
    QTest::newRow("2F0") << 0x2F0 << -1;
    QTest::newRow("0000") << 0x0000 << -1;
    QTest::newRow("FFFF") << 0xFFFF << -1;
}

void TestUartBus::portMap() {
    QFETCH(int, port);
    QFETCH(int, uart);

    VirtualClock clock;
    UartBus bus(clock);
    const auto p = static_cast<uint16_t>(port);
    QCOMPARE(bus.uartAt(p), uart < 0 ? nullptr : &bus.uart(static_cast<std::size_t>(uart)));
    if (uart >= 0) {
        // The port reaches its register of that UART.
        const unsigned offset = p & 7;
        bus.uart(static_cast<std::size_t>(uart)).write(uart::SCR, 0x3C);
        bus.uart(static_cast<std::size_t>(uart)).write(uart::IER, 0x05);
        QCOMPARE(bus.read(p), bus.uart(static_cast<std::size_t>(uart)).peek(offset));
        return;
    }
    bus.write(p, 0x00);
    QCOMPARE(bus.read(p), 0xFF);
    for (std::size_t i = 0; i < 4; ++i) {
        for (unsigned offset = 0; offset < 8; ++offset)
            QCOMPARE(bus.uart(i).peek(offset), offset == uart::IIR   ? 0x01
                                               : offset == uart::LSR ? 0x60
                                                                     : 0);
    }
}

void TestUartBus::dataLowByte_data() {
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("stored");
    QTest::newRow("00") << 0x00 << 0x00;
    QTest::newRow("FF") << 0xFF << 0xFF;
    QTest::newRow("1A5") << 0x1A5 << 0xA5;
    QTest::newRow("FF00") << 0xFF00 << 0x00;
    QTest::newRow("FFFF (-1)") << 0xFFFF << 0xFF;
}

void TestUartBus::dataLowByte() {
    QFETCH(int, data);
    QFETCH(int, stored);
    VirtualClock clock;
    UartBus bus(clock);
    bus.write(0x2EF, static_cast<uint16_t>(data));
    QCOMPARE(bus.read(0x2EF), stored);
}

void TestUartBus::cables_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("COM1 to COM2") << 0x3F8 << 0x2F8;
    QTest::newRow("COM2 to COM1") << 0x2F8 << 0x3F8;
    QTest::newRow("COM3 to COM4") << 0x3E8 << 0x2E8;
    QTest::newRow("COM4 to COM3") << 0x2E8 << 0x3E8;
}

void TestUartBus::cables() {
    QFETCH(int, from);
    QFETCH(int, to);

    VirtualClock clock;
    UartBus bus(clock);
    const auto tx = static_cast<uint16_t>(from);
    const auto rx = static_cast<uint16_t>(to);
    bus.write(tx + uart::LCR, 0x03);
    bus.write(rx + uart::LCR, 0x03);
    bus.write(tx + uart::THR, 0x5A);
    bus.write(tx + uart::MCR, uart::MCR_DTR | uart::MCR_RTS);

    QCOMPARE(bus.read(rx + uart::LSR), 0x61);
    QCOMPARE(bus.read(rx + uart::RBR), 0x5A);
    QCOMPARE(bus.read(rx + uart::MSR), 0xBB);
    // Nothing reached the other pair or came back.
    for (uint16_t base : uart::kComBases) {
        if (base == rx)
            continue;
        QCOMPARE(bus.read(base + uart::LSR), 0x60);
        QCOMPARE(bus.read(base + uart::MSR), 0x00);
    }
}

void TestUartBus::linuxProbe_data() {
    QTest::addColumn<int>("base");
    QTest::addColumn<bool>("found");
    QTest::newRow("3F8") << 0x3F8 << true;
    QTest::newRow("2F8") << 0x2F8 << true;
    QTest::newRow("3E8") << 0x3E8 << true;
    QTest::newRow("2E8") << 0x2E8 << true;
    QTest::newRow("3F0 empty") << 0x3F0 << false;
    QTest::newRow("2E0 empty") << 0x2E0 << false;
}

void TestUartBus::linuxProbe() {
    QFETCH(int, base);
    QFETCH(bool, found);
    VirtualClock clock;
    UartBus bus(clock);
    QCOMPARE(probe16550A(bus, static_cast<uint16_t>(base)), found);
    // Probing twice gives the same answer: the probe leaves the chip as it found it.
    QCOMPARE(probe16550A(bus, static_cast<uint16_t>(base)), found);
}

void TestUartBus::resetKeepsCables() {
    VirtualClock clock;
    UartBus bus(clock);
    bus.write(0x3FC, uart::MCR_DTR);
    bus.write(0x3FF, 0x77);
    bus.reset();
    QCOMPARE(bus.read(0x3FF), 0x00);
    QCOMPARE(bus.read(0x2FE), 0x00);
    bus.write(0x3FC, uart::MCR_DTR);
    QCOMPARE(bus.read(0x2FE), 0xAA);
}

QTEST_APPLESS_MAIN(TestUartBus)
#include "tst_uartbus.moc"
