// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "portio/sim/uartbus.h"

using U = Uart16550;

namespace {

// "16550A@3686400,none,8250,floating": the chips at COM1 ... COM4, as REGWISE_SIM_UARTS
// names them (a clock in Hz only).
UartBus::Slots slotsNamed(const QByteArray& names) {
    UartBus::Slots chips{};
    const QList<QByteArray> parts = names.split(',');
    for (qsizetype i = 0; i < parts.size() && i < 4; ++i) {
        const QList<QByteArray> nameAndClock = parts[i].split('@');
        UartBus::Slot& slot = chips[static_cast<std::size_t>(i)];
        slot = nameAndClock[0] == "floating" ? UartBus::Slot::floatingBus()
                                             : uart::chipNamed(nameAndClock[0].toStdString());
        if (nameAndClock.size() > 1)
            slot.clockHz = nameAndClock[1].toUInt();
    }
    return chips;
}

// "3F8:temt-stuck,2F8:no-interrupt" added to slots, as REGWISE_SIM_FAULTS names them.
void addFaults(UartBus::Slots& ports, const QByteArray& faults) {
    for (const QByteArray& item : faults.split(',')) {
        const QList<QByteArray> parts = item.split(':');
        if (parts.size() != 2)
            continue;
        const int index = uart::comWindowIndex(parts[0].toInt(nullptr, 16));
        for (const auto& entry : Uart16550::kFaultNames) {
            if (index >= 0 && parts[1].toStdString() == entry.name)
                ports[static_cast<std::size_t>(index)].faults |= entry.fault;
        }
    }
}

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
    void resetKeepsCables_data();
    void resetKeepsCables();
    void faultyPorts_data();
    void faultyPorts();
};

void TestUartBus::portMap_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("chips");
    QTest::addColumn<int>("uart");  // -1: no UART there
    const QByteArray all = "16550A,16550A,16550A,16550A";
    QTest::newRow("3F8") << 0x3F8 << all << 0;
    QTest::newRow("3FF") << 0x3FF << all << 0;
    QTest::newRow("2F8") << 0x2F8 << all << 1;
    QTest::newRow("2FF") << 0x2FF << all << 1;
    QTest::newRow("3E8") << 0x3E8 << all << 2;
    QTest::newRow("3EF") << 0x3EF << all << 2;
    QTest::newRow("2E8") << 0x2E8 << all << 3;
    QTest::newRow("2EF") << 0x2EF << all << 3;
    QTest::newRow("3F7") << 0x3F7 << all << -1;
    QTest::newRow("400") << 0x400 << all << -1;
    QTest::newRow("2F0") << 0x2F0 << all << -1;
    QTest::newRow("0000") << 0x0000 << all << -1;
    QTest::newRow("FFFF") << 0xFFFF << all << -1;
    // An empty COM port reads like the bus around it; the others are still there.
    QTest::newRow("3F8, COM1 empty") << 0x3F8 << QByteArray("none,16550A,16750,8250") << -1;
    QTest::newRow("3FB, COM1 empty") << 0x3FB << QByteArray("none,16550A,16750,8250") << -1;
    QTest::newRow("2F8, COM1 empty") << 0x2F8 << QByteArray("none,16550A,16750,8250") << 1;
    QTest::newRow("2EF, all empty") << 0x2EF << QByteArray("none,none,none,none") << -1;
    QTest::newRow("2EB, COM4 8250") << 0x2EB << QByteArray("none,16550A,16750,8250") << 3;
}

void TestUartBus::portMap() {
    QFETCH(int, port);
    QFETCH(QByteArray, chips);
    QFETCH(int, uart);

    VirtualClock clock;
    UartBus bus(clock);
    bus.setChips(slotsNamed(chips));
    const auto p = static_cast<uint16_t>(port);
    QCOMPARE(bus.uartAt(p), uart < 0 ? nullptr : bus.uart(static_cast<std::size_t>(uart)));
    if (uart >= 0) {
        // The port reaches its register of that UART.
        const unsigned offset = p & 7;
        Uart16550* chip = bus.uart(static_cast<std::size_t>(uart));
        chip->write(uart::SCR, 0x3C);
        chip->write(uart::IER, 0x05);
        QCOMPARE(bus.read(p), chip->peek(offset));
        return;
    }
    for (uint8_t data : {0x00, 0x80, 0x10}) {  // an empty LCR or MCR takes no DLAB, no loopback
        bus.write(p, data);
        QCOMPARE(bus.read(p), 0xFF);
    }
    for (std::size_t i = 0; i < 4; ++i) {
        if (Uart16550* chip = bus.uart(i)) {
            for (unsigned offset = 0; offset < 8; ++offset) {
                const int fresh = offset == uart::IIR                                        ? 0x01
                                  : offset == uart::LSR                                      ? 0x60
                                  : offset == uart::SCR && chip->chip() == uart::Chip::U8250 ? 0xFF
                                                                                             : 0;
                QCOMPARE(chip->peek(offset), fresh);
            }
        }
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
    QTest::addColumn<QByteArray>("chips");
    QTest::addColumn<bool>("arrives");
    const QByteArray all = "16550A,16550A,16550A,16550A";
    QTest::newRow("COM1 to COM2") << 0x3F8 << 0x2F8 << all << true;
    QTest::newRow("COM2 to COM1") << 0x2F8 << 0x3F8 << all << true;
    QTest::newRow("COM3 to COM4") << 0x3E8 << 0x2E8 << all << true;
    QTest::newRow("COM4 to COM3") << 0x2E8 << 0x3E8 << all << true;
    QTest::newRow("COM1 16750 to COM2 8250")
        << 0x3F8 << 0x2F8 << QByteArray("16750,8250,16550A,16550A") << true;
    QTest::newRow("COM4 16450 to COM3 16550")
        << 0x2E8 << 0x3E8 << QByteArray("16550A,16550A,16550,16450") << true;
    // From an empty port nothing comes: no data, no DTR or RTS.
    QTest::newRow("COM1 empty to COM2")
        << 0x3F8 << 0x2F8 << QByteArray("none,16550A,16550A,16550A") << false;
    QTest::newRow("COM4 empty to COM3")
        << 0x2E8 << 0x3E8 << QByteArray("16550A,16550A,16550A,none") << false;
}

void TestUartBus::cables() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QByteArray, chips);
    QFETCH(bool, arrives);

    VirtualClock clock;
    UartBus bus(clock);
    bus.setChips(slotsNamed(chips));
    const auto tx = static_cast<uint16_t>(from);
    const auto rx = static_cast<uint16_t>(to);
    bus.write(tx + uart::LCR, 0x03);
    bus.write(rx + uart::LCR, 0x03);
    bus.write(tx + uart::THR, 0x5A);
    bus.write(tx + uart::MCR, uart::MCR_DTR | uart::MCR_RTS);
    clock.advance(std::chrono::milliseconds(2));  // one character at 9600 bps, the power-on rate

    QCOMPARE(bus.read(rx + uart::LSR), arrives ? 0x61 : 0x60);
    QCOMPARE(bus.read(rx + uart::RBR), arrives ? 0x5A : 0x00);
    QCOMPARE(bus.read(rx + uart::MSR), arrives ? 0xBB : 0x00);
    // Nothing reached the other pair or came back.
    for (uint16_t base : uart::kComBases) {
        if (base == rx || !bus.uartAt(base))
            continue;
        QCOMPARE(bus.read(base + uart::LSR), 0x60);
        QCOMPARE(bus.read(base + uart::MSR), 0x00);
    }
}

void TestUartBus::linuxProbe_data() {
    QTest::addColumn<int>("base");
    QTest::addColumn<QByteArray>("chips");
    QTest::addColumn<bool>("found");
    const QByteArray all = "16550A,16550A,16550A,16550A";
    const QByteArray mixed = "16750,16550,16450,8250";
    QTest::newRow("3F8") << 0x3F8 << all << true;
    QTest::newRow("2F8") << 0x2F8 << all << true;
    QTest::newRow("3E8") << 0x3E8 << all << true;
    QTest::newRow("2E8") << 0x2E8 << all << true;
    QTest::newRow("3F0 empty") << 0x3F0 << all << false;
    QTest::newRow("2E0 empty") << 0x2E0 << all << false;
    // The 16750 passes for a 16550A here; the older chips fail at the FIFO bits.
    QTest::newRow("3F8 16750") << 0x3F8 << mixed << true;
    QTest::newRow("2F8 16550") << 0x2F8 << mixed << false;
    QTest::newRow("3E8 16450") << 0x3E8 << mixed << false;
    QTest::newRow("2E8 8250") << 0x2E8 << mixed << false;
    QTest::newRow("3F8 none") << 0x3F8 << QByteArray("none,16550A,16550A,16550A") << false;
}

void TestUartBus::linuxProbe() {
    QFETCH(int, base);
    QFETCH(QByteArray, chips);
    QFETCH(bool, found);
    VirtualClock clock;
    UartBus bus(clock);
    bus.setChips(slotsNamed(chips));
    QCOMPARE(probe16550A(bus, static_cast<uint16_t>(base)), found);
    // Probing twice gives the same answer: the probe leaves the chip as it found it.
    QCOMPARE(probe16550A(bus, static_cast<uint16_t>(base)), found);
}

void TestUartBus::resetKeepsCables_data() {
    QTest::addColumn<QByteArray>("chips");  // put in place after the setup; empty: bus reset
    QTest::addColumn<int>("com1Scr");
    QTest::addColumn<int>("com2Msr");  // COM1 had DTR on
    QTest::addColumn<int>("com3Scr");
    QTest::addColumn<int>("com2MsrAfter");  // once COM1 (if any) raised DTR again
    QTest::newRow("bus reset") << QByteArray() << 0x00 << 0x00 << 0x00 << 0xAA;
    QTest::newRow("same chips") << QByteArray("16550A,16550A,16550A,16550A") << 0x77 << 0xA0 << 0x33
                                << 0xA0;
    // A new chip is a power cycle of that port alone, on the same cable.
    QTest::newRow("COM1 16450") << QByteArray("16450,16550A,16550A,16550A") << 0x00 << 0x0A << 0x33
                                << 0xAA;
    QTest::newRow("COM1 at another clock")
        << QByteArray("16550A@3686400,16550A,16550A,16550A") << 0x00 << 0x0A << 0x33 << 0xAA;
    QTest::newRow("COM3 at the PC's clock, named")
        << QByteArray("16550A,16550A,16550A@1843200,16550A") << 0x77 << 0xA0 << 0x33 << 0xA0;
    QTest::newRow("COM1 16650") << QByteArray("16650,16550A,16550A,16550A") << 0x00 << 0x0A << 0x33
                                << 0xAA;
    QTest::newRow("COM1 8250") << QByteArray("8250,16550A,16550A,16550A") << 0xFF << 0x0A << 0x33
                               << 0xAA;
    QTest::newRow("COM1 empty") << QByteArray("none,16550A,16550A,16550A") << 0xFF << 0x0A << 0x33
                                << 0x00;
    QTest::newRow("COM2 16750") << QByteArray("16550A,16750,16550A,16550A") << 0x77 << 0xA0 << 0x33
                                << 0xA0;
    QTest::newRow("COM3 empty") << QByteArray("16550A,16550A,none,16550A") << 0x77 << 0xA0 << 0xFF
                                << 0xA0;
}

void TestUartBus::resetKeepsCables() {
    QFETCH(QByteArray, chips);
    QFETCH(int, com1Scr);
    QFETCH(int, com2Msr);
    QFETCH(int, com3Scr);
    QFETCH(int, com2MsrAfter);

    VirtualClock clock;
    UartBus bus(clock);
    bus.write(0x3FC, uart::MCR_DTR);
    bus.write(0x3FF, 0x77);
    bus.write(0x3EF, 0x33);
    bus.read(0x2FE);
    if (chips.isEmpty())
        bus.reset();
    else
        bus.setChips(slotsNamed(chips));
    QCOMPARE(bus.read(0x3FF), com1Scr);
    QCOMPARE(bus.read(0x2FE), com2Msr);
    QCOMPARE(bus.read(0x3EF), com3Scr);
    bus.write(0x3FC, uart::MCR_DTR);
    QCOMPARE(bus.read(0x2FE), com2MsrAfter);
}

void TestUartBus::faultyPorts_data() {
    QTest::addColumn<QByteArray>("chips");   // as REGWISE_SIM_UARTS names them
    QTest::addColumn<QByteArray>("faults");  // as REGWISE_SIM_FAULTS names them
    // "W 3FB 83" writes, "R 3FD" reads, "T 500" lets 500 us pass, "N 3F8 16" writes 16 bytes
    // 0x41, 0x42 ... to a port.
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("reads");         // with the faults and floating windows
    QTest::addColumn<QByteArray>("healthyReads");  // without faults, and none for floating
    const QByteArray all = "16550A,16550A,16550A,16550A";
    // 115200 bps 8N1, loopback: one character takes 87 us.
    const QByteArray loop = "W 3FB 83; W 3F8 01; W 3F9 00; W 3FB 03; W 3FC 10; ";
    QTest::newRow("temt-stuck") << all << QByteArray("3F8:temt-stuck")
                                << loop + "W 3F8 41; T 40; R 3FD; T 100; R 3FD"
                                << QByteArray("60 61") << QByteArray("20 61");
    QTest::newRow("fifo-short, 15 bytes")
        << all << QByteArray("3F8:fifo-short")
        << loop + "W 3FA 01; N 3F8 1; T 20; N 3F8 14; T 2000; R 3FD" << QByteArray("61")
        << QByteArray("61");
    QTest::newRow("fifo-short, 16 bytes")
        << all << QByteArray("3F8:fifo-short")
        << loop + "W 3FA 01; N 3F8 1; T 20; N 3F8 15; T 2000; R 3FD" << QByteArray("63")
        << QByteArray("61");
    // One shifting and 15 waiting: the 17th byte is lost, and the far end gets 16.
    QTest::newRow("fifo-short, 17 bytes sent")
        << all << QByteArray("3F8:fifo-short")
        << QByteArray(
               "W 3FB 83; W 3F8 01; W 3F9 00; W 3FB 03; W 2FB 83; W 2F8 01; W 2F9 00; "
               "W 2FB 03; W 2FA 01; W 3FA 01; N 3F8 1; T 20; N 3F8 16; T 2000; R 2FD")
        << QByteArray("61") << QByteArray("63");
    QTest::newRow("fifo-short, FIFOs off")
        << all << QByteArray("3F8:fifo-short") << loop + "N 3F8 1; T 200; R 3FD; R 3F8"
        << QByteArray("61 41") << QByteArray("61 41");
    QTest::newRow("dsr-open") << all << QByteArray("3F8:dsr-open") << QByteArray("W 3FC 1B; R 3FE")
                              << QByteArray("99") << QByteArray("BB");
    // Over the cable DSR still follows the far end's DTR.
    QTest::newRow("dsr-open, cable")
        << all << QByteArray("3F8:dsr-open") << QByteArray("W 2FC 01; R 3FE") << QByteArray("AA")
        << QByteArray("AA");
    QTest::newRow("data-bit3-stuck") << all << QByteArray("3F8:data-bit3-stuck")
                                     << loop + "W 3F8 41; T 200; R 3F8; W 3F8 F7; T 200; R 3F8"
                                     << QByteArray("49 FF") << QByteArray("41 F7");
    // Only received characters: what COM1 sends reaches COM2 as it was.
    QTest::newRow("data-bit3-stuck, sent")
        << all << QByteArray("3F8:data-bit3-stuck")
        << QByteArray(
               "W 3FB 83; W 3F8 01; W 3F9 00; W 3FB 03; W 2FB 83; W 2F8 01; W 2F9 00; "
               "W 2FB 03; W 3F8 41; T 200; R 2F8")
        << QByteArray("41") << QByteArray("41");
    QTest::newRow("scratch-bit7-stuck") << all << QByteArray("2E8:scratch-bit7-stuck")
                                        << QByteArray("W 2EF 5A; R 2EF; W 2EF 80; R 2EF; R 3FF")
                                        << QByteArray("DA 80 00") << QByteArray("5A 80 00");
    QTest::newRow("no-interrupt") << all << QByteArray("3F8:no-interrupt")
                                  << QByteArray(
                                         "W 3F9 02; R 3FA; W 3FA 01; W 3F9 00; W 3F9 02; R 3FA")
                                  << QByteArray("01 C1") << QByteArray("02 C2");
    QTest::newRow("two faults") << all << QByteArray("3F8:scratch-bit7-stuck,3F8:no-interrupt")
                                << QByteArray("W 3F9 02; R 3FA; W 3FF 01; R 3FF")
                                << QByteArray("01 81") << QByteArray("02 01");
    // A chip's own clock: at 3.6864 MHz divisor 1 is 230 400 bps, a character 43 us after
    // its start 6.5 us after the write, twice as fast as at the PC's 1.8432 MHz.
    QTest::newRow("3.6864 MHz clock")
        << QByteArray("16550A@3686400,16550A,16550A,16550A") << QByteArray()
        << loop + "W 3F8 41; T 49; R 3FD; T 1; R 3FD" << QByteArray("20 61") << QByteArray("20 61");
    // A floating window reads the last byte written to any of its eight ports, FF at first.
    QTest::newRow("floating") << QByteArray("floating,16550A,16550A,16550A") << QByteArray()
                              << QByteArray("R 3FD; W 3FB 80; R 3F8; R 3FF; W 3FE 10; R 3FD; R 2FF")
                              << QByteArray("FF 80 80 10 00") << QByteArray("FF FF FF FF 00");
    // Writes elsewhere, even to the partner's window, leave it as it was.
    QTest::newRow("floating, other windows")
        << QByteArray("16550A,floating,16550A,16550A") << QByteArray()
        << QByteArray("W 2F8 3C; W 3FF 12; W 2F0 99; R 2FA; R 2E8; W 300 55; R 2FF")
        << QByteArray("3C 00 3C") << QByteArray("FF 00 FF");
}

void TestUartBus::faultyPorts() {
    QFETCH(QByteArray, chips);
    QFETCH(QByteArray, faults);
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, reads);
    QFETCH(QByteArray, healthyReads);

    for (const bool faulty : {true, false}) {
        VirtualClock clock;
        UartBus bus(clock);
        UartBus::Slots ports =
            slotsNamed(faulty ? chips : QByteArray(chips).replace("floating", "none"));
        if (faulty)
            addFaults(ports, faults);
        bus.setChips(ports);
        QByteArray seen;
        for (const QByteArray& step : script.split(';')) {
            const QList<QByteArray> words = step.simplified().split(' ');
            const auto port = static_cast<uint16_t>(words.value(1).toUInt(nullptr, 16));
            if (words[0] == "W") {
                bus.write(port, static_cast<uint16_t>(words.value(2).toUInt(nullptr, 16)));
            } else if (words[0] == "N") {
                for (int i = 0; i < words.value(2).toInt(); ++i)
                    bus.write(port, static_cast<uint16_t>(0x41 + i));
            } else if (words[0] == "T") {
                clock.advance(std::chrono::microseconds(words.value(1).toInt()));
            } else {
                QCOMPARE(words[0], "R");
                if (!seen.isEmpty())
                    seen += ' ';
                seen += QByteArray::number(bus.read(port), 16).toUpper().rightJustified(2, '0');
            }
        }
        QCOMPARE(seen, faulty ? reads : healthyReads);
    }
}

QTEST_APPLESS_MAIN(TestUartBus)
#include "tst_uartbus.moc"
