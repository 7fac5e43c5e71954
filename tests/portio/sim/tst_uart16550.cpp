// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>
#include <chrono>
#include <cstdlib>

#include "portio/sim/uart16550.h"

using U = Uart16550;
using std::chrono::nanoseconds;

Q_DECLARE_METATYPE(uart::Chip)

namespace {

constexpr uart::Chip A = uart::Chip::U16550A;

// FCR written with DLAB set, so that a 16750 takes bit 5; LCR is left at lcr.
void setFcr(U& uart, uint8_t fcr, uint8_t lcr = 0x00) {
    uart.write(uart::LCR, uart::LCR_DLAB);
    uart.write(uart::FCR, fcr);
    uart.write(uart::LCR, lcr);
}

// count bytes from 0x41 on, as loopBytes and the transmit tests send them.
QByteArray sequence(int count, int from = 0) {
    QByteArray bytes;
    for (int i = from; i < from + count; ++i)
        bytes.append(static_cast<char>(0x41 + i));
    return bytes;
}

// chars character times of 8N1 at divisor and clock, and offset nanoseconds more.
nanoseconds lineTime(uint16_t divisor, int chars, int offset = 0, int clockHz = uart::kClockHz) {
    return chars * uart::characterTime(0x03, divisor, clockHz) + nanoseconds(offset);
}

void setFormat(U& uart, uint8_t lcr, uint16_t divisor) {
    uart.write(uart::LCR, uart::LCR_DLAB);
    uart.write(uart::DLL, static_cast<uint8_t>(divisor & 0xFF));
    uart.write(uart::DLM, static_cast<uint8_t>(divisor >> 8));
    uart.write(uart::LCR, lcr);
}

// How long after a write to the idle transmitter its byte starts on the line at divisor.
nanoseconds startDelay(uint16_t divisor, int clockHz = uart::kClockHz) {
    return (3 * uart::bitTime(divisor, clockHz) + nanoseconds(1)) / 2;
}

// Sends count bytes 0x41, 0x42 ... as 8N1 through the UART's own loopback, each one in the
// receiver before the next is written (in instant timing, so that no time passes).
void loopBytes(U& uart, int count) {
    const U::Timing timing = uart.timing();
    uart.setTiming(U::Timing::Instant);
    uart.write(uart::LCR, 0x03);
    uart.write(uart::MCR, uart::MCR_LOOP);
    for (int i = 0; i < count; ++i)
        uart.write(uart::THR, static_cast<uint8_t>(0x41 + i));
    uart.setTiming(timing);
}

QByteArray drain(U& uart) {
    QByteArray bytes;
    while (uart.peek(uart::LSR) & uart::LSR_DR)
        bytes.append(static_cast<char>(uart.read(uart::RBR)));
    return bytes;
}

}  // namespace

class TestUart16550 : public QObject {
    Q_OBJECT

private slots:
    void resetValues_data();
    void resetValues();
    void writableBits_data();
    void writableBits();
    void dlabBanksOffsetsZeroAndOne();
    void readSideEffects_data();
    void readSideEffects();
    void loopbackData_data();
    void loopbackData();
    void transmitTiming_data();
    void transmitTiming();
    void loopbackModemLines_data();
    void loopbackModemLines();
    void receiverFillAndOverrun_data();
    void receiverFillAndOverrun();
    void fifoControl_data();
    void fifoControl();
    void triggerLevel_data();
    void triggerLevel();
    void iirPriority_data();
    void iirPriority();
    void iirReadAcknowledgesOnlyThreItReports();
    void fifoErrorShowsWhenCharacterReachesTop();
    void nullModemFraming_data();
    void nullModemFraming();
    void nullModemLines_data();
    void nullModemLines();
    void autoFlowControl_data();
    void autoFlowControl();
    void breakHoldsTheLine();
    void breakActsOnSoutOnly_data();
    void breakActsOnSoutOnly();
    void enhancedRegisters_data();
    void enhancedRegisters();
};

void TestUart16550::resetValues_data() {
    QTest::addColumn<uart::Chip>("chip");
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("dlab");
    QTest::addColumn<int>("expected");
    QTest::newRow("RBR") << A << uart::RBR << false << 0x00;
    QTest::newRow("IER") << A << uart::IER << false << 0x00;
    QTest::newRow("IIR") << A << uart::IIR << false << 0x01;
    QTest::newRow("LCR") << A << uart::LCR << false << 0x00;
    QTest::newRow("MCR") << A << uart::MCR << false << 0x00;
    QTest::newRow("LSR") << A << uart::LSR << false << 0x60;
    QTest::newRow("MSR") << A << uart::MSR << false << 0x00;
    QTest::newRow("SCR") << A << uart::SCR << false << 0x00;
    // A PC's firmware leaves 9600 bps; a master reset leaves the divisor alone.
    QTest::newRow("DLL") << A << uart::DLL << true << 0x0C;
    QTest::newRow("DLM") << A << uart::DLM << true << 0x00;
    // What only a 16750 can set goes too; an 8250 has no scratch register to read.
    QTest::newRow("16750 IER") << uart::Chip::U16750 << uart::IER << false << 0x00;
    QTest::newRow("16750 IIR") << uart::Chip::U16750 << uart::IIR << false << 0x01;
    QTest::newRow("16750 MCR") << uart::Chip::U16750 << uart::MCR << false << 0x00;
    QTest::newRow("8250 SCR") << uart::Chip::U8250 << uart::SCR << false << 0xFF;
    QTest::newRow("16550 IIR") << uart::Chip::U16550 << uart::IIR << false << 0x01;
}

void TestUart16550::resetValues() {
    QFETCH(uart::Chip, chip);
    QFETCH(int, offset);
    QFETCH(bool, dlab);
    QFETCH(int, expected);

    VirtualClock clock;
    U fresh(clock, chip);
    U used(clock, chip);
    setFormat(used, 0x1F, 0xABCD);
    setFcr(used, 0xE1, 0x1F);
    used.write(uart::IER, 0xFF);
    used.write(uart::SCR, 0x55);
    used.write(uart::MCR, uart::MCR_LOOP);
    for (uint8_t byte : {0x41, 0x42, 0x43})
        used.write(uart::THR, byte);
    used.write(uart::MCR, 0x3F);
    used.reset();  // with the bytes still in flight at divisor ABCD

    for (U* uart : {&fresh, &used}) {
        if (dlab)
            uart->write(uart::LCR, uart::LCR_DLAB);
        const int kept = offset == uart::DLL ? 0xCD : 0xAB;
        QCOMPARE(uart->read(offset), dlab && uart == &used ? kept : expected);
    }
    clock.advance(std::chrono::minutes(1));
    QCOMPARE(used.rxFifoCount(), 0u);
    QCOMPARE(used.read(uart::LSR), 0x60);
}

void TestUart16550::writableBits_data() {
    QTest::addColumn<uart::Chip>("chip");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("readBack");
    QTest::newRow("IER FF") << A << uart::IER << 0xFF << 0x0F;
    QTest::newRow("MCR FF") << A << uart::MCR << 0xFF << 0x1F;
    QTest::newRow("LCR 3F") << A << uart::LCR << 0x3F << 0x3F;
    QTest::newRow("SCR A5") << A << uart::SCR << 0xA5 << 0xA5;
    QTest::newRow("LSR 00 ignored") << A << uart::LSR << 0x00 << 0x60;
    QTest::newRow("MSR FF ignored") << A << uart::MSR << 0xFF << 0x00;
    QTest::newRow("FCR 07 not readable") << A << uart::FCR << 0x07 << 0xC1;
    using C = uart::Chip;
    QTest::newRow("16750 IER FF") << C::U16750 << uart::IER << 0xFF << 0x3F;
    QTest::newRow("16750 MCR FF") << C::U16750 << uart::MCR << 0xFF << 0x3F;
    QTest::newRow("16550 MCR FF") << C::U16550 << uart::MCR << 0xFF << 0x1F;
    QTest::newRow("8250 IER FF") << C::U8250 << uart::IER << 0xFF << 0x0F;
    // The 8250 keeps nothing at offset 7: it reads like an empty bus.
    QTest::newRow("8250 SCR A5") << C::U8250 << uart::SCR << 0xA5 << 0xFF;
    QTest::newRow("8250 SCR 00") << C::U8250 << uart::SCR << 0x00 << 0xFF;
    QTest::newRow("16450 SCR A5") << C::U16450 << uart::SCR << 0xA5 << 0xA5;
    // IIR bits 7:6 after FCR bit 0: 00 without an FCR, 10 on the 16550, 11 from the 16550A.
    QTest::newRow("8250 FCR C7") << C::U8250 << uart::FCR << 0xC7 << 0x01;
    QTest::newRow("16450 FCR 07") << C::U16450 << uart::FCR << 0x07 << 0x01;
    QTest::newRow("16550 FCR 07") << C::U16550 << uart::FCR << 0x07 << 0x81;
    QTest::newRow("16550A FCR 27") << A << uart::FCR << 0x27 << 0xC1;
    // Without DLAB the 16750 does not take bit 5: 16-byte FIFOs, IIR bit 5 clear.
    QTest::newRow("16750 FCR 27") << C::U16750 << uart::FCR << 0x27 << 0xC1;
}

void TestUart16550::writableBits() {
    QFETCH(uart::Chip, chip);
    QFETCH(int, offset);
    QFETCH(int, written);
    QFETCH(int, readBack);
    VirtualClock clock;
    U uart(clock, chip);
    uart.write(offset, static_cast<uint8_t>(written));
    QCOMPARE(uart.read(offset), readBack);
}

void TestUart16550::dlabBanksOffsetsZeroAndOne() {
    VirtualClock clock;
    U uart(clock);
    uart.write(uart::IER, 0x05);
    loopBytes(uart, 1);
    setFormat(uart, 0x03, 0x0180);
    QCOMPARE(uart.divisor(), 0x0180);

    uart.write(uart::LCR, 0x83);
    QCOMPARE(uart.read(uart::DLL), 0x80);
    QCOMPARE(uart.read(uart::DLM), 0x01);
    QCOMPARE(uart.rxFifoCount(), 1u);  // reading DLL took nothing from the receiver

    uart.write(uart::LCR, 0x03);
    QCOMPARE(uart.read(uart::IER), 0x05);
    QCOMPARE(uart.read(uart::RBR), 0x41);
}

enum Setup { OneByteLooped, Overrun, LoopDtr, ThreEnabled, ThreEnabledWhileThrWaits };
Q_DECLARE_METATYPE(Setup)

void TestUart16550::readSideEffects_data() {
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("afterOffset");
    QTest::addColumn<int>("afterValue");
    // Reading RBR takes the byte and clears DR.
    QTest::newRow("RBR") << OneByteLooped << uart::RBR << 0x41 << uart::LSR << 0x60;
    // Reading LSR clears OE/PE/FE/BI but not DR.
    QTest::newRow("LSR") << Overrun << uart::LSR << 0x63 << uart::LSR << 0x61;
    // Reading MSR clears the deltas, not the line states.
    QTest::newRow("MSR") << LoopDtr << uart::MSR << 0x22 << uart::MSR << 0x20;
    // Reading IIR acknowledges the THRE interrupt it reports.
    QTest::newRow("IIR") << ThreEnabled << uart::IIR << 0x02 << uart::IIR << 0x01;
    // IER bit 1 set while a byte still waits in THR raises nothing yet.
    QTest::newRow("IIR, IER 02 while THR waits")
        << ThreEnabledWhileThrWaits << uart::IIR << 0x01 << uart::LSR << 0x00;
}

void TestUart16550::readSideEffects() {
    QFETCH(Setup, setup);
    QFETCH(int, offset);
    QFETCH(int, expected);
    QFETCH(int, afterOffset);
    QFETCH(int, afterValue);

    VirtualClock clock;
    U uart(clock);
    switch (setup) {
        case OneByteLooped:
            loopBytes(uart, 1);
            break;
        case Overrun:
            loopBytes(uart, 2);
            break;
        case LoopDtr:
            uart.write(uart::MCR, uart::MCR_LOOP | uart::MCR_DTR);
            break;
        case ThreEnabled:
            uart.write(uart::IER, uart::IER_ETBEI);
            break;
        case ThreEnabledWhileThrWaits:
            uart.write(uart::MCR, uart::MCR_LOOP);
            uart.write(uart::THR, 0x41);
            uart.write(uart::IER, uart::IER_ETBEI);
            break;
    }
    QCOMPARE(uart.peek(offset), expected);
    QCOMPARE(uart.peek(offset), expected);  // peek changes nothing
    QCOMPARE(uart.read(offset), expected);
    QCOMPARE(uart.peek(afterOffset), afterValue);
}

void TestUart16550::loopbackData_data() {
    QTest::addColumn<int>("lcr");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("received");
    QTest::newRow("8 bits A5") << 0x03 << 0xA5 << 0xA5;
    QTest::newRow("7 bits FF") << 0x02 << 0xFF << 0x7F;
    QTest::newRow("6 bits FF") << 0x01 << 0xFF << 0x3F;
    QTest::newRow("5 bits FF") << 0x00 << 0xFF << 0x1F;
    QTest::newRow("8E2 5A") << 0x1F << 0x5A << 0x5A;
}

void TestUart16550::loopbackData() {
    QFETCH(int, lcr);
    QFETCH(int, sent);
    QFETCH(int, received);

    VirtualClock clock;
    U uart(clock);
    U peer(clock);
    U::connectNullModem(uart, peer);
    uart.write(uart::LCR, static_cast<uint8_t>(lcr));
    uart.write(uart::MCR, uart::MCR_LOOP);
    uart.write(uart::THR, static_cast<uint8_t>(sent));
    clock.advance(lineTime(12, 2));        // at the 9600 bps a PC starts with
    QCOMPARE(uart.read(uart::LSR), 0x61);  // no framing error against itself; THRE/TEMT back
    QCOMPARE(uart.read(uart::RBR), received);
    QCOMPARE(peer.rxFifoCount(), 0u);
}

enum class Timing { Line, Instant, LineThenInstant };
Q_DECLARE_METATYPE(Timing)

void TestUart16550::transmitTiming_data() {
    QTest::addColumn<uart::Chip>("chip");
    QTest::addColumn<Timing>("timing");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<bool>("fifo");  // the transmitter's FIFOs (the receiver's are on)
    QTest::addColumn<int>("to");     // 0: the far end, 1: own loopback, 2: far end in loopback
    // 0x41, 0x42 ... written, 8N1 at both ends: the first, then once it has started on the
    // line (startDelay) the others at once; negative: all at once, then startDelay passes.
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("fcr");     // then written to the transmitter, -1: none
    QTest::addColumn<int>("chars");   // the time looked at: this many character times
    QTest::addColumn<int>("offset");  // and this many nanoseconds more
    QTest::addColumn<int>("lsr");     // the transmitter's
    QTest::addColumn<int>("iir");     // the transmitter's, with only IER bit 1 set
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("clock");  // both ends' baud clock, in Hz
    const Timing line = Timing::Line;
    const int pc = uart::kClockHz;
    // The byte moves on into the shift register 1.5 bit times after the write (startDelay):
    // THR is empty from then, TEMT waits for the stop bit, and the far end has the character
    // when the stop bit ends. The times below count from then.
    QTest::newRow("9600, 1 byte, 1 ns before its end")
        << A << line << 12 << false << 0 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray()
        << pc;
    QTest::newRow("9600, 1 byte, at its end") << A << line << 12 << false << 0 << 1 << -1 << 1 << 0
                                              << 0x60 << 0x02 << QByteArray("A") << pc;
    QTest::newRow("1200, 1 byte, 1 ns before its end")
        << A << line << 96 << false << 0 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray()
        << pc;
    QTest::newRow("1200, 1 byte, at its end") << A << line << 96 << false << 0 << 1 << -1 << 1 << 0
                                              << 0x60 << 0x02 << QByteArray("A") << pc;
    // The bit time follows the chip's own clock: 16 × divisor / clock.
    const int mhz7 = 7'372'800;
    const int mhz14 = 14'745'600;
    QTest::newRow("7.3728 MHz, divisor 12, 1 byte, 1 ns before its end")
        << A << line << 12 << false << 0 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray()
        << mhz7;
    QTest::newRow("7.3728 MHz, divisor 12, 1 byte, at its end")
        << A << line << 12 << false << 0 << 1 << -1 << 1 << 0 << 0x60 << 0x02 << QByteArray("A")
        << mhz7;
    QTest::newRow("14.7456 MHz, divisor 96, 1 byte, 1 ns before its end")
        << A << line << 96 << false << 0 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray()
        << mhz14;
    QTest::newRow("14.7456 MHz FIFO, divisor 1, 4 bytes, 4 sent")
        << A << line << 1 << true << 0 << 4 << -1 << 4 << 0 << 0x60 << 0xC2 << QByteArray("ABCD")
        << mhz14;
    QTest::newRow("100 MHz, divisor 1, 1 byte, at its end")
        << A << line << 1 << false << 1 << 1 << -1 << 1 << 0 << 0x61 << 0x02 << QByteArray("A")
        << 100'000'000;
    // The second byte waits in THR: THRE and its interrupt come when it moves on.
    QTest::newRow("9600, 2 bytes, at once")
        << A << line << 12 << false << 0 << 2 << -1 << 0 << 0 << 0x00 << 0x01 << QByteArray() << pc;
    QTest::newRow("9600, 2 bytes, 1 ns before the first's end")
        << A << line << 12 << false << 0 << 2 << -1 << 1 << -1 << 0x00 << 0x01 << QByteArray()
        << pc;
    QTest::newRow("9600, 2 bytes, at the first's end")
        << A << line << 12 << false << 0 << 2 << -1 << 1 << 0 << 0x20 << 0x02 << QByteArray("A")
        << pc;
    QTest::newRow("9600, 2 bytes, at the second's end")
        << A << line << 12 << false << 0 << 2 << -1 << 2 << 0 << 0x60 << 0x02 << QByteArray("AB")
        << pc;
    // Before it reaches the shift register the byte waits in THR: THRE stays clear, and a
    // second write overwrites it.
    const int bit12 = static_cast<int>(uart::bitTime(12).count());
    const int delay12 = static_cast<int>(startDelay(12).count());
    QTest::newRow("9600, 1 byte, 1 bit time after the write")
        << A << line << 12 << false << 0 << -1 << -1 << 0 << bit12 - delay12 << 0x00 << 0x01
        << QByteArray() << pc;
    QTest::newRow("9600, 1 byte, 1.5 bit times after the write")
        << A << line << 12 << false << 0 << -1 << -1 << 0 << 0 << 0x20 << 0x02 << QByteArray()
        << pc;
    QTest::newRow("9600, 2 bytes at once: the second overwrites the first")
        << A << line << 12 << false << 0 << -2 << -1 << 1 << 0 << 0x60 << 0x02 << QByteArray("B")
        << pc;
    QTest::newRow("9600, 3 bytes: THR overwritten") << A << line << 12 << false << 0 << 3 << -1 << 3
                                                    << 0 << 0x60 << 0x02 << QByteArray("AC") << pc;
    // The transmit FIFO drains one character per character time.
    QTest::newRow("9600 FIFO, 4 bytes, 2 sent") << A << line << 12 << true << 0 << 4 << -1 << 2 << 0
                                                << 0x00 << 0xC1 << QByteArray("AB") << pc;
    QTest::newRow("9600 FIFO, 4 bytes, 3 sent") << A << line << 12 << true << 0 << 4 << -1 << 3 << 0
                                                << 0x20 << 0xC2 << QByteArray("ABC") << pc;
    QTest::newRow("9600 FIFO, 4 bytes, 4 sent") << A << line << 12 << true << 0 << 4 << -1 << 4 << 0
                                                << 0x60 << 0xC2 << QByteArray("ABCD") << pc;
    // With never two bytes in the FIFO at once, its THRE interrupt comes one character time
    // less a stop bit after THRE.
    QTest::newRow("9600 FIFO, 1 byte, THRE")
        << A << line << 12 << true << 0 << 1 << -1 << 0 << 0 << 0x20 << 0xC1 << QByteArray() << pc;
    QTest::newRow("9600 FIFO, 1 byte, 1 ns before its THRE interrupt")
        << A << line << 12 << true << 0 << 1 << -1 << 1 << -bit12 - 1 << 0x20 << 0xC1
        << QByteArray() << pc;
    QTest::newRow("9600 FIFO, 1 byte, its THRE interrupt")
        << A << line << 12 << true << 0 << 1 << -1 << 1 << -bit12 << 0x20 << 0xC2 << QByteArray()
        << pc;
    // Written all at once, the first is still in the FIFO: 16 fit.
    QTest::newRow("9600 FIFO, 18 bytes at once, 16 sent")
        << A << line << 12 << true << 0 << -18 << -1 << 16 << 0 << 0x60 << 0xC2
        << QByteArray("ABCDEFGHIJKLMNOP") << pc;
    // One in the shift register and 16 in the FIFO: the 18th byte is lost.
    QTest::newRow("9600 FIFO, 18 bytes, 16 sent")
        << A << line << 12 << true << 0 << 18 << -1 << 16 << 0 << 0x20 << 0xC2
        << QByteArray("ABCDEFGHIJKLMNOP") << pc;
    // Emptying the transmit FIFO leaves the character in the shift register.
    QTest::newRow("9600 FIFO, 4 bytes, TX reset") << A << line << 12 << true << 0 << 4 << 0x05 << 4
                                                  << 0 << 0x60 << 0xC2 << QByteArray("A") << pc;
    QTest::newRow("9600 FIFO, 4 bytes, FIFOs off") << A << line << 12 << true << 0 << 4 << 0x00 << 4
                                                   << 0 << 0x60 << 0x02 << QByteArray("A") << pc;
    QTest::newRow("9600 loopback, 1 ns before the end")
        << A << line << 12 << false << 1 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray()
        << pc;
    QTest::newRow("9600 loopback, at the end") << A << line << 12 << false << 1 << 1 << -1 << 1 << 0
                                               << 0x61 << 0x02 << QByteArray("A") << pc;
    // A receiver in loopback listens to its own transmitter, not to the cable.
    QTest::newRow("9600, far end in loopback")
        << A << line << 12 << false << 2 << 1 << -1 << 1 << 0 << 0x60 << 0x02 << QByteArray() << pc;
    QTest::newRow("instant, 9600, 2 bytes") << A << Timing::Instant << 12 << false << 0 << 2 << -1
                                            << 0 << 0 << 0x60 << 0x02 << QByteArray("AB") << pc;
    QTest::newRow("instant, 9600, far end in loopback")
        << A << Timing::Instant << 12 << false << 2 << 1 << -1 << 0 << 0 << 0x60 << 0x02
        << QByteArray() << pc;
    // Switching to instant timing completes what is in flight.
    QTest::newRow("line then instant, 9600 FIFO, 4 bytes")
        << A << Timing::LineThenInstant << 12 << true << 0 << 4 << -1 << 0 << 0 << 0x60 << 0xC2
        << QByteArray("ABCD") << pc;
    // Divisor 0 stops the baud clock: nothing moves, however long.
    const int second = 1'000'000'000;
    QTest::newRow("divisor 0, 2 bytes") << A << line << 0 << false << 0 << 2 << -1 << 0 << second
                                        << 0x00 << 0x01 << QByteArray() << pc;
    QTest::newRow("divisor 0 FIFO, 18 bytes") << A << line << 0 << true << 0 << 18 << -1 << 0
                                              << second << 0x00 << 0xC1 << QByteArray() << pc;
    QTest::newRow("divisor 0 loopback, 1 byte") << A << line << 0 << false << 1 << 1 << -1 << 0
                                                << second << 0x00 << 0x01 << QByteArray() << pc;
    // Instant timing moves bytes at divisor 0 too, as QEMU does.
    QTest::newRow("instant, divisor 0, 2 bytes")
        << A << Timing::Instant << 0 << false << 0 << 2 << -1 << 0 << 0 << 0x60 << 0x02
        << QByteArray("AB") << pc;
    // The 16550's FIFO holds one byte as THR does; the 16750's holds 64 (FCR 21 with DLAB).
    const uart::Chip u16550 = uart::Chip::U16550;
    const uart::Chip u16750 = uart::Chip::U16750;
    QTest::newRow("16550 9600 FIFO, 3 bytes: THR overwritten")
        << u16550 << line << 12 << true << 0 << 3 << -1 << 2 << 0 << 0x60 << 0x82 << QByteArray("C")
        << pc;
    QTest::newRow("16750 9600 FIFO, 18 bytes, 16 sent")
        << u16750 << line << 12 << true << 0 << 18 << -1 << 16 << 0 << 0x00 << 0xE1 << sequence(16)
        << pc;
    QTest::newRow("16750 9600 FIFO, 66 bytes, 64 sent")
        << u16750 << line << 12 << true << 0 << 66 << -1 << 64 << 0 << 0x20 << 0xE2 << sequence(64)
        << pc;
    QTest::newRow("16750 9600 FIFO, 66 bytes, 65 sent")
        << u16750 << line << 12 << true << 0 << 66 << -1 << 65 << 0 << 0x60 << 0xE2 << sequence(64)
        << pc;
}

void TestUart16550::transmitTiming() {
    QFETCH(uart::Chip, chip);
    QFETCH(Timing, timing);
    QFETCH(int, divisor);
    QFETCH(bool, fifo);
    QFETCH(int, to);
    QFETCH(int, bytes);
    QFETCH(int, fcr);
    QFETCH(int, chars);
    QFETCH(int, offset);
    QFETCH(int, lsr);
    QFETCH(int, iir);
    QFETCH(QByteArray, received);
    QFETCH(int, clock);

    VirtualClock time;
    U tx(time, chip, 0, static_cast<uint32_t>(clock));
    U rx(time, chip, 0, static_cast<uint32_t>(clock));
    U::connectNullModem(tx, rx);
    if (timing == Timing::Instant) {
        tx.setTiming(U::Timing::Instant);
        rx.setTiming(U::Timing::Instant);
    }
    const auto d = static_cast<uint16_t>(divisor);
    setFormat(tx, 0x03, d);
    setFormat(rx, 0x03, d);
    setFcr(rx, uart::FCR_ENABLE | uart::FCR_FIFO64, 0x03);
    setFcr(tx, fifo ? uart::FCR_ENABLE | uart::FCR_FIFO64 : 0, 0x03);
    tx.write(uart::MCR, to == 1 ? uart::MCR_LOOP : 0);
    rx.write(uart::MCR, to == 2 ? uart::MCR_LOOP : 0);
    tx.write(uart::IER, uart::IER_ETBEI);
    for (int i = 0; i < std::abs(bytes); ++i) {
        tx.write(uart::THR, static_cast<uint8_t>(0x41 + i));
        if (i == 0 && bytes > 0)
            time.advance(startDelay(d, clock));
    }
    if (fcr >= 0)
        tx.write(uart::FCR, static_cast<uint8_t>(fcr));
    if (timing == Timing::LineThenInstant)
        tx.setTiming(U::Timing::Instant);

    time.advance(lineTime(d, chars, offset, clock) +
                 (bytes < 0 ? startDelay(d, clock) : nanoseconds(0)));
    QCOMPARE(tx.peek(uart::IIR), iir);
    QCOMPARE(tx.read(uart::LSR), lsr);
    QCOMPARE(drain(to == 1 ? tx : rx), received);
}

void TestUart16550::loopbackModemLines_data() {
    QTest::addColumn<int>("mcrBefore");
    QTest::addColumn<int>("mcrAfter");
    QTest::addColumn<int>("msr");
    QTest::newRow("DTR on") << 0x10 << 0x11 << 0x22;
    QTest::newRow("RTS on") << 0x10 << 0x12 << 0x11;
    QTest::newRow("OUT1 on") << 0x10 << 0x14 << 0x40;  // TERI only on the falling edge
    QTest::newRow("OUT2 on") << 0x10 << 0x18 << 0x88;
    QTest::newRow("all on") << 0x10 << 0x1F << 0xFB;
    QTest::newRow("DTR off") << 0x11 << 0x10 << 0x02;
    QTest::newRow("RTS off") << 0x12 << 0x10 << 0x01;
    QTest::newRow("OUT1 off") << 0x14 << 0x10 << 0x04;
    QTest::newRow("OUT2 off") << 0x18 << 0x10 << 0x08;
    QTest::newRow("unchanged") << 0x1F << 0x1F << 0xF0;
    QTest::newRow("Linux probe 1A") << 0x00 << 0x1A << 0x99;
}

void TestUart16550::loopbackModemLines() {
    QFETCH(int, mcrBefore);
    QFETCH(int, mcrAfter);
    QFETCH(int, msr);

    VirtualClock clock;
    U uart(clock);
    U peer(clock);
    U::connectNullModem(uart, peer);
    uart.write(uart::MCR, static_cast<uint8_t>(mcrBefore));
    uart.read(uart::MSR);
    peer.read(uart::MSR);
    uart.write(uart::MCR, static_cast<uint8_t>(mcrAfter));
    QCOMPARE(uart.read(uart::MSR), msr);
    QCOMPARE(peer.read(uart::MSR), 0x00);  // outputs in loopback stay inactive on the cable
}

void TestUart16550::receiverFillAndOverrun_data() {
    QTest::addColumn<uart::Chip>("chip");
    QTest::addColumn<int>("fcr");  // written with DLAB set
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("lsr");
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("no FIFO, 1 byte") << A << 0x00 << 1 << 0x61 << QByteArray("A");
    // In overrun the new character still lands in RBR.
    QTest::newRow("no FIFO, 2 bytes") << A << 0x00 << 2 << 0x63 << QByteArray("B");
    QTest::newRow("FIFO, 16 bytes") << A << 0x01 << 16 << 0x61 << QByteArray("ABCDEFGHIJKLMNOP");
    // A full FIFO keeps its 16; the 17th character is lost.
    QTest::newRow("FIFO, 17 bytes") << A << 0x01 << 17 << 0x63 << QByteArray("ABCDEFGHIJKLMNOP");
    QTest::newRow("FIFO 21, 17 bytes") << A << 0x21 << 17 << 0x63 << sequence(16);
    using C = uart::Chip;
    // Chips with nothing to use as a FIFO receive as without one.
    QTest::newRow("8250 FIFO, 1 byte") << C::U8250 << 0x01 << 1 << 0x61 << QByteArray("A");
    QTest::newRow("16450 FIFO, 2 bytes") << C::U16450 << 0x01 << 2 << 0x63 << QByteArray("B");
    QTest::newRow("16550 FIFO, 2 bytes") << C::U16550 << 0x01 << 2 << 0x63 << QByteArray("B");
    QTest::newRow("16750 FIFO, 17 bytes") << C::U16750 << 0x01 << 17 << 0x63 << sequence(16);
    QTest::newRow("16750 FIFO 64, 64 bytes") << C::U16750 << 0x21 << 64 << 0x61 << sequence(64);
    QTest::newRow("16750 FIFO 64, 65 bytes") << C::U16750 << 0x21 << 65 << 0x63 << sequence(64);
    QTest::newRow("16650 FIFO, 32 bytes") << C::U16650 << 0x01 << 32 << 0x61 << sequence(32);
    QTest::newRow("16650 FIFO, 33 bytes") << C::U16650 << 0x01 << 33 << 0x63 << sequence(32);
    // The 16C950 holds 16 in its 550 mode, 128 in its 750 mode (bit 5 with DLAB).
    QTest::newRow("16C950 FIFO, 17 bytes") << C::OX16C950 << 0x01 << 17 << 0x63 << sequence(16);
    QTest::newRow("16C950 FIFO 21, 128 bytes")
        << C::OX16C950 << 0x21 << 128 << 0x61 << sequence(128);
    QTest::newRow("16C950 FIFO 21, 129 bytes")
        << C::OX16C950 << 0x21 << 129 << 0x63 << sequence(128);
}

void TestUart16550::receiverFillAndOverrun() {
    QFETCH(uart::Chip, chip);
    QFETCH(int, fcr);
    QFETCH(int, sent);
    QFETCH(int, lsr);
    QFETCH(QByteArray, received);

    VirtualClock clock;
    U uart(clock, chip);
    setFcr(uart, static_cast<uint8_t>(fcr));
    loopBytes(uart, sent);
    QCOMPARE(uart.rxFifoCount(), static_cast<std::size_t>(received.size()));
    QCOMPARE(uart.read(uart::LSR), lsr);
    QCOMPARE(drain(uart), received);
    QCOMPARE(uart.read(uart::LSR), 0x60);
}

void TestUart16550::fifoControl_data() {
    QTest::addColumn<uart::Chip>("chip");
    QTest::addColumn<int>("start");  // FCR written with DLAB set before three bytes come in
    QTest::addColumn<bool>("dlab");  // whether DLAB is set for the FCR write of the row
    QTest::addColumn<int>("fcr");    // 1xxyy: xx, then yy
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("iir");
    QTest::newRow("01 again") << A << 0x01 << false << 0x01 << 3 << 0xC1;
    QTest::newRow("03 RX reset") << A << 0x01 << false << 0x03 << 0 << 0xC1;
    QTest::newRow("05 TX reset") << A << 0x01 << false << 0x05 << 3 << 0xC1;
    QTest::newRow("C1 trigger 14") << A << 0x01 << false << 0xC1 << 3 << 0xC1;
    QTest::newRow("00 off") << A << 0x01 << false << 0x00 << 0 << 0x01;
    QTest::newRow("02 without enable") << A << 0x01 << false << 0x02 << 0 << 0x01;
    QTest::newRow("21 with DLAB") << A << 0x01 << true << 0x21 << 3 << 0xC1;
    using C = uart::Chip;
    // The 16750 takes bit 5 only while DLAB is set; a new FIFO size empties both FIFOs.
    QTest::newRow("16750 21 with DLAB") << C::U16750 << 0x01 << true << 0x21 << 0 << 0xE1;
    QTest::newRow("16750 21 without DLAB") << C::U16750 << 0x01 << false << 0x21 << 3 << 0xC1;
    QTest::newRow("16750 64, 01 without DLAB") << C::U16750 << 0x21 << false << 0x01 << 3 << 0xE1;
    QTest::newRow("16750 64, 01 with DLAB") << C::U16750 << 0x21 << true << 0x01 << 0 << 0xC1;
    QTest::newRow("16750 64, 03 RX reset") << C::U16750 << 0x21 << false << 0x03 << 0 << 0xE1;
    QTest::newRow("16750 64, 00 off") << C::U16750 << 0x21 << false << 0x00 << 0 << 0x01;
    QTest::newRow("16750 64, 20 with DLAB") << C::U16750 << 0x21 << true << 0x20 << 0 << 0x01;
    // Bit 5 is taken only with bit 0 and DLAB: FIFOs turned off and on again without DLAB
    // come back with 64 bytes.
    QTest::newRow("16750 64, 00 then 01 without DLAB")
        << C::U16750 << 0x21 << false << 0x10001 << 0 << 0xE1;
    QTest::newRow("16750 64, 20 then 01 with DLAB")
        << C::U16750 << 0x21 << true << 0x12001 << 0 << 0xC1;
    // The 16550's FIFO bit changes IIR and nothing else; older chips take no FCR at all.
    QTest::newRow("16550 01 again") << C::U16550 << 0x01 << false << 0x01 << 1 << 0x81;
    QTest::newRow("16550 03 RX reset") << C::U16550 << 0x01 << false << 0x03 << 1 << 0x81;
    QTest::newRow("16550 00 off") << C::U16550 << 0x01 << false << 0x00 << 1 << 0x01;
    QTest::newRow("16450 03 RX reset") << C::U16450 << 0x01 << false << 0x03 << 1 << 0x01;
    QTest::newRow("8250 C7") << C::U8250 << 0x01 << false << 0xC7 << 1 << 0x01;
}

void TestUart16550::fifoControl() {
    QFETCH(uart::Chip, chip);
    QFETCH(int, start);
    QFETCH(bool, dlab);
    QFETCH(int, fcr);
    QFETCH(int, count);
    QFETCH(int, iir);

    VirtualClock clock;
    U uart(clock, chip);
    setFcr(uart, static_cast<uint8_t>(start));
    loopBytes(uart, 3);
    if (dlab)
        uart.write(uart::LCR, 0x83);
    if (fcr > 0xFF)
        uart.write(uart::FCR, static_cast<uint8_t>(fcr >> 8));
    uart.write(uart::FCR, static_cast<uint8_t>(fcr));
    QCOMPARE(uart.rxFifoCount(), static_cast<std::size_t>(count));
    QCOMPARE(uart.read(uart::IIR), iir);
    QCOMPARE(uart.peek(uart::LSR) & uart::LSR_DR, count ? uart::LSR_DR : 0);
}

void TestUart16550::triggerLevel_data() {
    QTest::addColumn<uart::Chip>("chip");
    QTest::addColumn<int>("fcr");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("readOne");   // one character read 2 character times after the last
    QTest::addColumn<int>("chars");      // then this many character times pass
    QTest::addColumn<int>("offset");     // and this many nanoseconds more
    QTest::addColumn<int>("thenBytes");  // then this many more come in, a character time apart
    QTest::addColumn<int>("iir");
    // Below the trigger level the data is reported as a character timeout (CC), four
    // character times after the last character came in or was read (at 115200 bps here).
    QTest::newRow("trigger 1, 1 byte") << A << 0x01 << 1 << 1 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("trigger 4, 3 bytes") << A << 0x41 << 1 << 3 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("trigger 4, 4 bytes") << A << 0x41 << 1 << 4 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("trigger 8, 7 bytes") << A << 0x81 << 1 << 7 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("trigger 8, 8 bytes") << A << 0x81 << 1 << 8 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("trigger 14, 13 bytes") << A << 0xC1 << 1 << 13 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("trigger 14, 14 bytes") << A << 0xC1 << 1 << 14 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("trigger 14, 16 bytes") << A << 0xC1 << 1 << 16 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("no FIFO, 1 byte") << A << 0x00 << 1 << 1 << false << 4 << 0 << 0 << 0x04;
    QTest::newRow("trigger 4, none") << A << 0x41 << 1 << 0 << false << 4 << 0 << 0 << 0xC1;
    QTest::newRow("9600, trigger 4, 3 bytes, at the last")
        << A << 0x41 << 12 << 3 << false << 0 << 0 << 0 << 0xC1;
    QTest::newRow("9600, trigger 4, 3 bytes, 4 chars - 1 ns later")
        << A << 0x41 << 12 << 3 << false << 4 << -1 << 0 << 0xC1;
    QTest::newRow("9600, trigger 4, 3 bytes, 4 chars later")
        << A << 0x41 << 12 << 3 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("1200, trigger 8, 1 byte, 4 chars - 1 ns later")
        << A << 0x81 << 96 << 1 << false << 4 << -1 << 0 << 0xC1;
    QTest::newRow("1200, trigger 8, 1 byte, 4 chars later")
        << A << 0x81 << 96 << 1 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("9600, trigger 4, 4 bytes, at the last")
        << A << 0x41 << 12 << 4 << false << 0 << 0 << 0 << 0xC4;
    QTest::newRow("9600, trigger 4, 4 bytes, one read, 4 chars - 1 ns later")
        << A << 0x41 << 12 << 4 << true << 4 << -1 << 0 << 0xC1;
    QTest::newRow("9600, trigger 4, 4 bytes, one read, 4 chars later")
        << A << 0x41 << 12 << 4 << true << 4 << 0 << 0 << 0xCC;
    QTest::newRow("9600, no FIFO, 1 byte, at its end")
        << A << 0x00 << 12 << 1 << false << 0 << 0 << 0 << 0x04;
    // Only reading RBR ends a character timeout: a character coming in does not.
    QTest::newRow("9600, trigger 4, 1 byte, timeout, then 1 more")
        << A << 0x41 << 12 << 1 << false << 4 << 0 << 1 << 0xCC;
    QTest::newRow("9600, trigger 4, 1 byte, then 1 more before the timeout")
        << A << 0x41 << 12 << 1 << false << 2 << 0 << 1 << 0xC1;
    // Without a baud clock no timeout runs.
    QTest::newRow("divisor 0, trigger 4, 1 byte, 1 s later")
        << A << 0x41 << 0 << 1 << false << 0 << 1'000'000'000 << 0 << 0xC1;
    using C = uart::Chip;
    // The 16750's 64-byte FIFO triggers at 1, 16, 32 or 56, and says so in IIR bit 5.
    QTest::newRow("16750 64, trigger 1, 1 byte")
        << C::U16750 << 0x21 << 1 << 1 << false << 4 << 0 << 0 << 0xE4;
    QTest::newRow("16750 64, trigger 16, 15 bytes")
        << C::U16750 << 0x61 << 1 << 15 << false << 4 << 0 << 0 << 0xEC;
    QTest::newRow("16750 64, trigger 16, 16 bytes")
        << C::U16750 << 0x61 << 1 << 16 << false << 4 << 0 << 0 << 0xE4;
    QTest::newRow("16750 64, trigger 32, 31 bytes")
        << C::U16750 << 0xA1 << 1 << 31 << false << 4 << 0 << 0 << 0xEC;
    QTest::newRow("16750 64, trigger 32, 32 bytes")
        << C::U16750 << 0xA1 << 1 << 32 << false << 4 << 0 << 0 << 0xE4;
    QTest::newRow("16750 64, trigger 56, 55 bytes")
        << C::U16750 << 0xE1 << 1 << 55 << false << 4 << 0 << 0 << 0xEC;
    QTest::newRow("16750 64, trigger 56, 56 bytes")
        << C::U16750 << 0xE1 << 1 << 56 << false << 4 << 0 << 0 << 0xE4;
    QTest::newRow("16750 16, trigger 4, 3 bytes")
        << C::U16750 << 0x41 << 1 << 3 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("16750 16, trigger 14, 14 bytes")
        << C::U16750 << 0xC1 << 1 << 14 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("16750 64, 9600, trigger 16, 15 bytes, 4 chars later")
        << C::U16750 << 0x61 << 12 << 15 << false << 4 << 0 << 0 << 0xEC;
    // Without a FIFO to use every character raises the interrupt, and none times out.
    QTest::newRow("16550 trigger 14, 1 byte")
        << C::U16550 << 0xC1 << 1 << 1 << false << 4 << 0 << 0 << 0x84;
    QTest::newRow("16550 9600, trigger 14, 1 byte, 4 chars later")
        << C::U16550 << 0xC1 << 12 << 1 << false << 4 << 0 << 0 << 0x84;
    QTest::newRow("16450 trigger 14, 1 byte")
        << C::U16450 << 0xC1 << 1 << 1 << false << 4 << 0 << 0 << 0x04;
    // The 16650 triggers at 8, 16, 24 or 28; the 16C950 in its 750 mode at 1, 32, 64 or 112,
    // without IIR bit 5.
    QTest::newRow("16650 trigger 8, 7 bytes")
        << C::U16650 << 0x01 << 1 << 7 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("16650 trigger 8, 8 bytes")
        << C::U16650 << 0x01 << 1 << 8 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("16650 trigger 28, 27 bytes")
        << C::U16650 << 0xC1 << 1 << 27 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("16650 trigger 28, 28 bytes")
        << C::U16650 << 0xC1 << 1 << 28 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("16C950 trigger 14, 14 bytes")
        << C::OX16C950 << 0xC1 << 1 << 14 << false << 4 << 0 << 0 << 0xC4;
    QTest::newRow("16C950 750 mode, trigger 64, 63 bytes")
        << C::OX16C950 << 0xA1 << 1 << 63 << false << 4 << 0 << 0 << 0xCC;
    QTest::newRow("16C950 750 mode, trigger 64, 64 bytes")
        << C::OX16C950 << 0xA1 << 1 << 64 << false << 4 << 0 << 0 << 0xC4;
}

void TestUart16550::triggerLevel() {
    QFETCH(uart::Chip, chip);
    QFETCH(int, fcr);
    QFETCH(int, divisor);
    QFETCH(int, bytes);
    QFETCH(bool, readOne);
    QFETCH(int, chars);
    QFETCH(int, offset);
    QFETCH(int, thenBytes);
    QFETCH(int, iir);

    VirtualClock clock;
    U uart(clock, chip);
    const auto d = static_cast<uint16_t>(divisor);
    setFormat(uart, 0x03, d);
    setFcr(uart, static_cast<uint8_t>(fcr), 0x03);
    uart.write(uart::IER, uart::IER_ERBFI);
    loopBytes(uart, bytes);
    if (readOne) {
        clock.advance(lineTime(d, 2));
        QCOMPARE(uart.read(uart::RBR), 0x41);
    }
    clock.advance(lineTime(d, chars, offset));
    for (int i = 0; i < thenBytes; ++i) {
        uart.write(uart::THR, 0x5A);
        clock.advance(lineTime(d, 1) + startDelay(d));
    }
    QCOMPARE(uart.read(uart::IIR), iir);
    QCOMPARE(uart.read(uart::IIR), iir);  // only reading the data clears it
}

enum Pending { RLS = 1, DATA = 2, THRE = 4, MODEM = 8 };

void TestUart16550::iirPriority_data() {
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("ier");
    QTest::addColumn<int>("iir");
    QTest::newRow("all, IER 0F") << (RLS | DATA | THRE | MODEM) << 0x0F << 0x06;
    QTest::newRow("all, IER 0B") << (RLS | DATA | THRE | MODEM) << 0x0B << 0x04;
    QTest::newRow("all, IER 0A") << (RLS | DATA | THRE | MODEM) << 0x0A << 0x02;
    QTest::newRow("all, IER 08") << (RLS | DATA | THRE | MODEM) << 0x08 << 0x00;
    QTest::newRow("all, IER 00") << (RLS | DATA | THRE | MODEM) << 0x00 << 0x01;
    QTest::newRow("all, IER 04") << (RLS | DATA | THRE | MODEM) << 0x04 << 0x06;
    QTest::newRow("DATA THRE MODEM, IER 0F") << (DATA | THRE | MODEM) << 0x0F << 0x04;
    QTest::newRow("THRE MODEM, IER 0F") << (THRE | MODEM) << 0x0F << 0x02;
    QTest::newRow("RLS MODEM, IER 0B") << (RLS | MODEM) << 0x0B << 0x00;
    QTest::newRow("MODEM, IER 0F") << int(MODEM) << 0x0F << 0x00;
    QTest::newRow("RLS, IER 0F") << int(RLS) << 0x0F << 0x06;
    QTest::newRow("none, IER 0F") << 0 << 0x0F << 0x01;
}

void TestUart16550::iirPriority() {
    QFETCH(int, pending);
    QFETCH(int, ier);
    QFETCH(int, iir);

    VirtualClock clock;
    U uart(clock);
    uart.write(uart::MCR, uart::MCR_LOOP);
    if (pending & RLS) {
        loopBytes(uart, 2);  // OE stays until LSR is read
        uart.read(uart::RBR);
    }
    if (pending & DATA)
        loopBytes(uart, 1);
    if (pending & MODEM)
        uart.write(uart::MCR, uart::MCR_LOOP | uart::MCR_DTR);
    // Acknowledge the THRE interrupt left by the writes, then raise it again if wanted.
    uart.write(uart::IER, uart::IER_ETBEI);
    QCOMPARE(uart.read(uart::IIR), 0x02);
    if (pending & THRE)
        uart.write(uart::IER, 0);
    uart.write(uart::IER, static_cast<uint8_t>(ier));
    QCOMPARE(uart.peek(uart::IIR), iir);
}

void TestUart16550::iirReadAcknowledgesOnlyThreItReports() {
    VirtualClock clock;
    U uart(clock);
    uart.write(uart::IER, uart::IER_ERBFI | uart::IER_ETBEI);
    loopBytes(uart, 1);
    QCOMPARE(uart.read(uart::IIR), 0x04);  // THRE waits behind the received data
    QCOMPARE(uart.read(uart::RBR), 0x41);
    QCOMPARE(uart.read(uart::IIR), 0x02);
    QCOMPARE(uart.read(uart::IIR), 0x01);
}

void TestUart16550::fifoErrorShowsWhenCharacterReachesTop() {
    VirtualClock clock;
    U a(clock);
    U b(clock);
    U::connectNullModem(a, b);
    setFormat(a, 0x03, 12);
    setFormat(b, 0x03, 12);
    b.write(uart::FCR, uart::FCR_ENABLE);
    a.write(uart::THR, 0x31);
    clock.advance(startDelay(12));
    // The first byte is on its way at divisor 12 and keeps it; the second goes at 24, which
    // the receiver, twice as fast, reads as 18 with a spacing stop bit.
    setFormat(a, 0x03, 24);
    a.write(uart::THR, 0x32);  // arrives with a framing error
    clock.advance(uart::characterTime(0x03, 12) + uart::characterTime(0x03, 24));

    QCOMPARE(b.read(uart::LSR), 0xE1);  // an error waits in the FIFO, not yet at the top
    QCOMPARE(b.read(uart::RBR), 0x31);
    QCOMPARE(b.read(uart::LSR), 0xE9);  // its FE shows at the top
    QCOMPARE(b.read(uart::LSR), 0x61);  // and bit 7 goes: no error behind it
    QCOMPARE(b.read(uart::RBR), 0x18);
}

void TestUart16550::nullModemFraming_data() {
    QTest::addColumn<int>("txLcr");
    QTest::addColumn<int>("txDivisor");
    QTest::addColumn<int>("rxLcr");
    QTest::addColumn<int>("rxDivisor");
    QTest::addColumn<int>("rxFcr");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("received");
    QTest::addColumn<int>("lsr");
    QTest::addColumn<int>("rxClock");  // the receiver's baud clock; the transmitter's is the PC's
    const int pc = uart::kClockHz;
    // The receiver samples the bits the transmitter put on the line with its own frame and
    // rate: each bit in its middle, the first stop bit only.
    QTest::newRow("8N1 12 both") << 0x03 << 12 << 0x03 << 12 << 0x00 << 0xA5 << 0xA5 << 0x61 << pc;
    QTest::newRow("power-on defaults")
        << 0x00 << 12 << 0x00 << 12 << 0x00 << 0xA5 << 0x05 << 0x61 << pc;
    QTest::newRow("7E1 both") << 0x1A << 1 << 0x1A << 1 << 0x00 << 0xC1 << 0x41 << 0x61 << pc;
    // Twice as fast, the receiver reads the first half of the character: 0 1 1 0 0 1 1 0,
    // and its stop bit on the sender's bit 3 (0).
    QTest::newRow("divisor 12 vs 6")
        << 0x03 << 12 << 0x03 << 6 << 0x00 << 0xA5 << 0x66 << 0x69 << pc;
    // The sender's start bit alone outlasts the fast receiver's whole character: a break.
    QTest::newRow("divisor 0100 vs 0001")
        << 0x03 << 0x100 << 0x03 << 1 << 0x00 << 0xA5 << 0x00 << 0x79 << pc;
    // The 7-bit receiver's stop bit falls on data bit 7, a 1.
    QTest::newRow("8 vs 7 bits") << 0x03 << 12 << 0x02 << 12 << 0x00 << 0xA5 << 0x25 << 0x61 << pc;
    QTest::newRow("8 vs 7 bits, bit 7 clear")
        << 0x03 << 12 << 0x02 << 12 << 0x00 << 0x25 << 0x25 << 0x69 << pc;
    QTest::newRow("1 vs 2 stop bits")
        << 0x03 << 12 << 0x07 << 12 << 0x00 << 0xA5 << 0xA5 << 0x61 << pc;
    QTest::newRow("2 vs 1 stop bits")
        << 0x07 << 12 << 0x03 << 12 << 0x00 << 0xA5 << 0xA5 << 0x61 << pc;
    QTest::newRow("even vs odd") << 0x1B << 12 << 0x0B << 12 << 0x00 << 0xA5 << 0xA5 << 0x65 << pc;
    // Odd parity of A5 is a 1: where the receiver wants its stop bit.
    QTest::newRow("parity vs none")
        << 0x0B << 12 << 0x03 << 12 << 0x00 << 0xA5 << 0xA5 << 0x61 << pc;
    QTest::newRow("none vs parity")
        << 0x03 << 12 << 0x0B << 12 << 0x00 << 0xA5 << 0xA5 << 0x61 << pc;
    QTest::newRow("none vs even") << 0x03 << 12 << 0x1B << 12 << 0x00 << 0xA5 << 0xA5 << 0x65 << pc;
    QTest::newRow("mark vs odd") << 0x2B << 12 << 0x0B << 12 << 0x00 << 0xA5 << 0xA5 << 0x61 << pc;
    QTest::newRow("mark vs even") << 0x2B << 12 << 0x1B << 12 << 0x00 << 0xA5 << 0xA5 << 0x65 << pc;
    QTest::newRow("receiver without a clock")
        << 0x03 << 12 << 0x03 << 0 << 0x00 << 0xA5 << -1 << 0x60 << pc;
    QTest::newRow("mismatch, FIFO on")
        << 0x03 << 12 << 0x03 << 6 << 0x01 << 0xA5 << 0x66 << 0xE9 << pc;
    // The rate is divisor / clock at each end: twice the clock and twice the divisor agree,
    // twice the clock alone is twice as fast.
    QTest::newRow("divisor 12 vs 24 at 3.6864 MHz")
        << 0x03 << 12 << 0x03 << 24 << 0x00 << 0xA5 << 0xA5 << 0x61 << 2 * pc;
    QTest::newRow("divisor 12 vs 12 at 3.6864 MHz")
        << 0x03 << 12 << 0x03 << 12 << 0x00 << 0xA5 << 0x66 << 0x69 << 2 * pc;
    QTest::newRow("divisor 0100 vs 0008 at 14.7456 MHz")
        << 0x03 << 0x100 << 0x03 << 8 << 0x00 << 0xA5 << 0x00 << 0x79 << 8 * pc;
}

void TestUart16550::nullModemFraming() {
    QFETCH(int, txLcr);
    QFETCH(int, txDivisor);
    QFETCH(int, rxLcr);
    QFETCH(int, rxDivisor);
    QFETCH(int, rxFcr);
    QFETCH(int, sent);
    QFETCH(int, received);
    QFETCH(int, lsr);
    QFETCH(int, rxClock);

    VirtualClock clock;
    U tx(clock);
    U rx(clock, A, 0, static_cast<uint32_t>(rxClock));
    U::connectNullModem(tx, rx);
    setFormat(tx, static_cast<uint8_t>(txLcr), static_cast<uint16_t>(txDivisor));
    setFormat(rx, static_cast<uint8_t>(rxLcr), static_cast<uint16_t>(rxDivisor));
    rx.write(uart::FCR, static_cast<uint8_t>(rxFcr));
    tx.write(uart::THR, static_cast<uint8_t>(sent));
    clock.advance(
        startDelay(static_cast<uint16_t>(txDivisor)) +
        uart::characterTime(static_cast<uint8_t>(txLcr), static_cast<uint16_t>(txDivisor)));
    QCOMPARE(tx.read(uart::LSR), 0x60);  // sent, nothing came back
    QCOMPARE(rx.read(uart::LSR), lsr);
    if (received >= 0)
        QCOMPARE(rx.read(uart::RBR), received);
    QCOMPARE(tx.rxFifoCount(), 0u);
}

void TestUart16550::nullModemLines_data() {
    QTest::addColumn<int>("mcrBefore");
    QTest::addColumn<int>("mcrAfter");
    QTest::addColumn<int>("peerMsr");
    QTest::newRow("DTR on") << 0x00 << 0x01 << 0xAA;
    QTest::newRow("RTS on") << 0x00 << 0x02 << 0x11;
    QTest::newRow("DTR RTS on") << 0x00 << 0x03 << 0xBB;
    QTest::newRow("OUT1 OUT2 not wired") << 0x00 << 0x0C << 0x00;
    QTest::newRow("DTR off") << 0x01 << 0x00 << 0x0A;
    QTest::newRow("RTS off") << 0x03 << 0x01 << 0xA1;
    QTest::newRow("loopback hides DTR RTS") << 0x03 << 0x13 << 0x0B;
    QTest::newRow("leaving loopback") << 0x13 << 0x03 << 0xBB;
}

void TestUart16550::nullModemLines() {
    QFETCH(int, mcrBefore);
    QFETCH(int, mcrAfter);
    QFETCH(int, peerMsr);

    VirtualClock clock;
    U uart(clock);
    U peer(clock);
    U::connectNullModem(uart, peer);
    uart.write(uart::MCR, static_cast<uint8_t>(mcrBefore));
    peer.read(uart::MSR);
    uart.write(uart::MCR, static_cast<uint8_t>(mcrAfter));
    QCOMPARE(peer.read(uart::MSR), peerMsr);
    QCOMPARE(peer.read(uart::MSR), peerMsr & 0xF0);

    // A reset drops the lines the other end sees.
    uart.reset();
    QCOMPARE(peer.peek(uart::MSR) & 0xF0, 0x00);
}

// The steps of an autoFlowControl row, each with its argument.
enum FlowStep {
    Send,     // n bytes more of 0x41, 0x42 ... written to the sender
    Wait,     // n character times of 8N1 at 9600 pass
    WaitUs,   // n microseconds pass
    Take,     // n bytes read from the receiver, each there and in order
    RxMcr,    // the receiver's MCR written with n
    TxMcr,    // the sender's MCR written with n
    Instant,  // the sender switched to instant timing
};

void TestUart16550::autoFlowControl_data() {
    QTest::addColumn<uart::Chip>("txChip");
    QTest::addColumn<uart::Chip>("rxChip");
    QTest::addColumn<int>("txMcr");
    QTest::addColumn<int>("rxMcr");
    QTest::addColumn<int>("rxFcr");         // written with DLAB; the sender's is 21
    QTest::addColumn<QList<int>>("steps");  // step, argument, step, argument ...
    QTest::addColumn<int>("rxCount");       // then: waiting in the receiver
    QTest::addColumn<int>("txCount");       // waiting in the sender, not yet shifting
    QTest::addColumn<bool>("cts");          // CTS at the sender
    using C = uart::Chip;
    using L = QList<int>;
    const int afe = uart::MCR_AFE;
    const int afeRts = uart::MCR_AFE | uart::MCR_RTS;
    const int rts = uart::MCR_RTS;
    // Auto-RTS drops RTS when the receive FIFO reaches its trigger level; the sender's
    // auto-CTS then starts no new character.
    QTest::newRow("16750 pair, trigger 4, 8 bytes")
        << C::U16750 << C::U16750 << afe << afeRts << 0x41 << L{Send, 8, Wait, 8} << 4 << 4
        << false;
    QTest::newRow("16750 pair, trigger 4, FIFO emptied")
        << C::U16750 << C::U16750 << afe << afeRts << 0x41 << L{Send, 8, Wait, 8, Take, 4, Wait, 8}
        << 4 << 0 << false;
    QTest::newRow("16750 pair, trigger 4, 3 of 4 read")
        << C::U16750 << C::U16750 << afe << afeRts << 0x41 << L{Send, 8, Wait, 8, Take, 3, Wait, 8}
        << 1 << 4 << false;
    QTest::newRow("16750 pair, FIFOs off: one at a time")
        << C::U16750 << C::U16750 << afe << afeRts << 0x00
        << L{Send, 3, Wait, 3, Take, 1, Wait, 3, Take, 1, Wait, 3} << 1 << 0 << false;
    QTest::newRow("16750 pair, 64 bytes, trigger 56")
        << C::U16750 << C::U16750 << afe << afeRts << 0xE1 << L{Send, 60, Wait, 60} << 56 << 4
        << false;
    QTest::newRow("16750 pair, instant, trigger 8")
        << C::U16750 << C::U16750 << afe << afeRts << 0x81 << L{Instant, 0, Send, 12} << 8 << 4
        << false;
    QTest::newRow("16750 pair, instant, FIFO emptied")
        << C::U16750 << C::U16750 << afe << afeRts << 0x81 << L{Instant, 0, Send, 12, Take, 8} << 4
        << 0 << true;
    // AFE without RTS is auto-CTS alone: RTS stays off, and so the far 16750 waits.
    QTest::newRow("16750 pair, receiver AFE without RTS")
        << C::U16750 << C::U16750 << afe << afe << 0x41 << L{Send, 8, Wait, 8} << 0 << 8 << false;
    QTest::newRow("16750 pair, receiver raises RTS")
        << C::U16750 << C::U16750 << afe << afe << 0x41 << L{Send, 8, Wait, 2, RxMcr, rts, Wait, 8}
        << 8 << 0 << true;
    // Auto-CTS against a chip without auto flow control, whose RTS is the MCR bit.
    QTest::newRow("16750 to 16550A with RTS off")
        << C::U16750 << A << afe << 0x00 << 0x01 << L{Send, 4, Wait, 4} << 0 << 4 << false;
    QTest::newRow("16750 to 16550A, RTS on after 2 chars")
        << C::U16750 << A << afe << 0x00 << 0x01 << L{Send, 4, Wait, 2, RxMcr, rts, Wait, 4} << 4
        << 0 << true;
    QTest::newRow("16750 to 16550A, RTS off while a character shifts")
        << C::U16750 << A << afe << rts << 0x01 << L{Send, 4, WaitUs, 500, RxMcr, 0, Wait, 4} << 1
        << 3 << false;
    QTest::newRow("16750 to 16550A, AFE cleared")
        << C::U16750 << A << afe << 0x00 << 0x01 << L{Send, 4, Wait, 2, TxMcr, 0, Wait, 4} << 4 << 0
        << false;
    // In loopback CTS is the own RTS bit, off here.
    QTest::newRow("16750 to 16550A, loopback held")
        << C::U16750 << A << (afe | uart::MCR_LOOP) << rts << 0x01 << L{Send, 2, Wait, 2} << 0 << 2
        << false;
    // Only the 16750 has AFE: others send whatever CTS says, and keep RTS up.
    QTest::newRow("16550A to 16750 with auto-RTS")
        << A << C::U16750 << afe << afeRts << 0x41 << L{Send, 8, Wait, 8} << 8 << 0 << false;
    QTest::newRow("16750 to 16550A with AFE")
        << C::U16750 << A << afe << afeRts << 0x41 << L{Send, 8, Wait, 8} << 8 << 0 << true;
}

void TestUart16550::autoFlowControl() {
    QFETCH(uart::Chip, txChip);
    QFETCH(uart::Chip, rxChip);
    QFETCH(int, txMcr);
    QFETCH(int, rxMcr);
    QFETCH(int, rxFcr);
    QFETCH(QList<int>, steps);
    QFETCH(int, rxCount);
    QFETCH(int, txCount);
    QFETCH(bool, cts);

    VirtualClock clock;
    U tx(clock, txChip);
    U rx(clock, rxChip);
    U::connectNullModem(tx, rx);
    setFormat(tx, 0x03, 12);
    setFormat(rx, 0x03, 12);
    setFcr(tx, uart::FCR_ENABLE | uart::FCR_FIFO64, 0x03);
    setFcr(rx, static_cast<uint8_t>(rxFcr), 0x03);
    rx.write(uart::MCR, static_cast<uint8_t>(rxMcr));
    tx.write(uart::MCR, static_cast<uint8_t>(txMcr));
    int sent = 0;
    int taken = 0;
    for (qsizetype i = 0; i + 1 < steps.size(); i += 2) {
        const int n = steps[i + 1];
        switch (steps[i]) {
            case Send:
                for (int k = 0; k < n; ++k)
                    tx.write(uart::THR, static_cast<uint8_t>(0x41 + sent++));
                break;
            case Wait:
                clock.advance(lineTime(12, n) + startDelay(12));
                break;
            case WaitUs:
                clock.advance(std::chrono::microseconds(n));
                break;
            case Take:
                for (int k = 0; k < n; ++k) {
                    QVERIFY(rx.peek(uart::LSR) & uart::LSR_DR);
                    QCOMPARE(rx.read(uart::RBR), 0x41 + taken++);
                }
                break;
            case RxMcr:
                rx.write(uart::MCR, static_cast<uint8_t>(n));
                break;
            case TxMcr:
                tx.write(uart::MCR, static_cast<uint8_t>(n));
                break;
            case Instant:
                tx.setTiming(U::Timing::Instant);
                break;
        }
    }
    QCOMPARE(rx.rxFifoCount(), static_cast<std::size_t>(rxCount));
    QCOMPARE(tx.txFifoCount(), static_cast<std::size_t>(txCount));
    QCOMPARE((tx.peek(uart::MSR) & uart::MSR_CTS) != 0, cts);
    // Nothing was lost or sent twice.
    for (int k = 0; k < rxCount; ++k)
        QCOMPARE(rx.read(uart::RBR), 0x41 + taken++);
}

void TestUart16550::breakHoldsTheLine() {
    VirtualClock clock;
    U a(clock);
    U b(clock);
    U::connectNullModem(a, b);
    a.write(uart::LCR, uart::LCR_BREAK);
    clock.advance(uart::characterTime(0x00, 12));
    QCOMPARE(b.read(uart::LSR), 0x79);  // BI and a zero character, with FE: its stop bit spaced
    QCOMPARE(b.read(uart::RBR), 0x00);

    a.write(uart::THR, 0x41);  // lost while the line is held
    a.write(uart::LCR, uart::LCR_BREAK);
    clock.advance(lineTime(12, 2));
    QCOMPARE(b.rxFifoCount(), 0u);

    a.write(uart::LCR, 0x00);
    a.write(uart::THR, 0x05);
    clock.advance(lineTime(12, 1));
    QCOMPARE(b.read(uart::LSR), 0x61);
    QCOMPARE(b.read(uart::RBR), 0x05);
}

void TestUart16550::breakActsOnSoutOnly_data() {
    QTest::addColumn<bool>("instant");
    QTest::addColumn<int>("divisor");  // of both ends
    // offset, value, offset, value ... to the first UART; offset + 0x100 to the other one
    QTest::addColumn<QList<int>>("writes");
    QTest::addColumn<int>("chars");   // then this many 8N1 character times pass
    QTest::addColumn<int>("offset");  // and this many nanoseconds more
    QTest::addColumn<QList<int>>("thenWrites");
    QTest::addColumn<int>("thenChars");  // and then this many character times more
    QTest::addColumn<int>("ownLsr");
    QTest::addColumn<int>("peerLsr");
    QTest::addColumn<int>("peerCount");
    using L = QList<int>;
    const int lcr = uart::LCR;
    const int bit = static_cast<int>(uart::bitTime(12).count());
    // A break reaches the far end as a zero character with BI and FE (its stop bit spaced).
    QTest::newRow("break on the line")
        << false << 12 << L{lcr, 0x40} << 1 << 0 << L{} << 0 << 0x60 << 0x79 << 1;
    // In loopback SOUT is held marking and the receiver listens to the shift register.
    QTest::newRow("break in loopback")
        << false << 12 << L{uart::MCR, 0x10, lcr, 0x40} << 1 << 0 << L{} << 0 << 0x60 << 0x60 << 0;
    QTest::newRow("byte in loopback under break")
        << false << 12 << L{uart::MCR, 0x10, lcr, 0x43, uart::THR, 0x41} << 2 << 0 << L{} << 0
        << 0x61 << 0x60 << 0;
    QTest::newRow("leaving loopback under break")
        << false << 12 << L{uart::MCR, 0x10, lcr, 0x40, uart::MCR, 0x00} << 1 << 0 << L{} << 0
        << 0x60 << 0x79 << 1;
    // A far end in loopback listens to its own shift register, not to the line.
    QTest::newRow("break to a far end in loopback")
        << false << 12 << L{0x100 + uart::MCR, 0x10, lcr, 0x40} << 2 << 0 << L{} << 0 << 0x60
        << 0x60 << 0;
    // A break is a whole character time of spacing at the receiver's frame and rate. A
    // shorter spacing pulse of half a bit or more is a start bit: a character of the bits that
    // were spacing comes in, when its stop bit would end.
    QTest::newRow("9600, raised and dropped at once")
        << false << 12 << L{lcr, 0x43} << 0 << 0 << L{lcr, 0x03} << 2 << 0x60 << 0x60 << 0;
    QTest::newRow("9600, raised for 1 us (LCR E0 then 00)")
        << false << 12 << L{lcr, 0xE0} << 0 << 1000 << L{lcr, 0x03} << 2 << 0x60 << 0x60 << 0;
    QTest::newRow("9600, held half a bit - 1 ns") << false << 12 << L{lcr, 0x43} << 0 << bit / 2 - 1
                                                  << L{lcr, 0x03} << 2 << 0x60 << 0x60 << 0;
    QTest::newRow("9600, held half a bit: FF") << false << 12 << L{lcr, 0x43} << 0 << bit / 2 + 1
                                               << L{lcr, 0x03} << 2 << 0x60 << 0x61 << 1;
    QTest::newRow("9600, held 4 bits: F8")
        << false << 12 << L{lcr, 0x43} << 0 << 4 * bit << L{lcr, 0x03} << 2 << 0x60 << 0x61 << 1;
    QTest::newRow("9600, held 1 char - 1 ns: 00 with FE")
        << false << 12 << L{lcr, 0x43} << 1 << -1 << L{lcr, 0x03} << 1 << 0x60 << 0x69 << 1;
    QTest::newRow("9600, held 1 char")
        << false << 12 << L{lcr, 0x43} << 1 << 0 << L{lcr, 0x03} << 0 << 0x60 << 0x79 << 1;
    QTest::newRow("9600, held 3 chars: one break")
        << false << 12 << L{lcr, 0x43} << 3 << 0 << L{} << 0 << 0x60 << 0x79 << 1;
    QTest::newRow("instant, 9600, held 1 char - 1 ns")
        << true << 12 << L{lcr, 0x43} << 1 << -1 << L{lcr, 0x03} << 0 << 0x60 << 0x60 << 0;
    QTest::newRow("instant, 9600, held 1 char")
        << true << 12 << L{lcr, 0x43} << 1 << 0 << L{lcr, 0x03} << 0 << 0x60 << 0x79 << 1;
    // Without a baud clock a break is never timed.
    QTest::newRow("divisor 0, held 1 s")
        << false << 0 << L{lcr, 0x43} << 0 << 1'000'000'000 << L{} << 0 << 0x60 << 0x60 << 0;
    // Characters on the line while it is held at spacing are lost, also the one shifting
    // when the break starts.
    QTest::newRow("9600, byte written under break")
        << false << 12 << L{lcr, 0x43, uart::THR, 0x41} << 2 << 0 << L{lcr, 0x03} << 0 << 0x60
        << 0x79 << 1;
    // The byte reaches the shift register under the break and is lost; the 200 us pulse
    // is a character of its own (FE hex) at the far end.
    QTest::newRow("9600, byte shifting under a 200 us break")
        << false << 12 << L{uart::THR, 0x41, lcr, 0x43} << 0 << 200'000 << L{lcr, 0x03} << 2 << 0x60
        << 0x61 << 1;
    QTest::newRow("9600, byte after the break")
        << false << 12 << L{lcr, 0x43} << 1 << 0 << L{lcr, 0x03, uart::THR, 0x41} << 0 << 0x00
        << 0x79 << 1;
}

void TestUart16550::breakActsOnSoutOnly() {
    QFETCH(bool, instant);
    QFETCH(int, divisor);
    QFETCH(QList<int>, writes);
    QFETCH(int, chars);
    QFETCH(int, offset);
    QFETCH(QList<int>, thenWrites);
    QFETCH(int, thenChars);
    QFETCH(int, ownLsr);
    QFETCH(int, peerLsr);
    QFETCH(int, peerCount);
    VirtualClock clock;
    U a(clock);
    U b(clock);
    U::connectNullModem(a, b);
    if (instant)
        a.setTiming(U::Timing::Instant);
    const auto d = static_cast<uint16_t>(divisor);
    setFormat(a, 0x03, d);
    setFormat(b, 0x03, d);
    const auto apply = [&](const QList<int>& list) {
        for (qsizetype i = 0; i + 1 < list.size(); i += 2) {
            U& to = list[i] >= 0x100 ? b : a;
            to.write(static_cast<unsigned>(list[i] & 0xFF), static_cast<uint8_t>(list[i + 1]));
        }
    };
    apply(writes);
    clock.advance(lineTime(d, chars, offset));
    apply(thenWrites);
    clock.advance(lineTime(d, thenChars));
    QCOMPARE(a.read(uart::LSR), ownLsr);
    QCOMPARE(b.read(uart::LSR), peerLsr);
    QCOMPARE(b.rxFifoCount(), static_cast<std::size_t>(peerCount));
}

// The registers of the chips with an EFR, as a script of accesses: "W 3 BF" writes offset 3,
// "R 2" reads offset 2 (the reads are compared in order), "N 3" sends 3 bytes through the
// loopback (leaving LCR 03 and MCR 10), "T 100" lets 100 us pass.
void TestUart16550::enhancedRegisters_data() {
    QTest::addColumn<uart::Chip>("chip");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("reads");
    using C = uart::Chip;
    const C st = C::U16650;
    const C ox = C::OX16C950;
    // While LCR is BF offset 2 is the EFR and offsets 4-7 the XON and XOFF characters;
    // another LCR brings back IIR, MCR, LSR, MSR and SCR as they were.
    QTest::newRow("16650 EFR, XON, XOFF behind LCR BF")
        << st
        << QByteArray(
               "W 3 BF; W 2 D0; W 4 11; W 5 13; W 6 91; W 7 93; R 2; R 4; R 5; R 6; "
               "R 7; R 0; W 3 03; R 2; R 4; R 5; R 7; W 3 BF; R 2")
        << QByteArray("D0 11 13 91 93 0C 01 00 60 00 D0");
    QTest::newRow("16C950 EFR behind LCR BF")
        << ox << QByteArray("W 3 BF; W 2 10; R 2; W 3 BE; R 2") << QByteArray("10 01");
    // What the probe counts on: a 16550A has FCR there, and its IIR never reads 00.
    QTest::newRow("16550A has no EFR")
        << A << QByteArray("W 3 BF; W 2 00; R 2; W 3 03; R 4") << QByteArray("01 00");
    // EFR bit 4 unlocks IER 4-7 and MCR 5-7; locked again, they keep their value.
    QTest::newRow("16650 enhanced bits locked")
        << st << QByteArray("W 1 FF; R 1; W 4 FF; R 4") << QByteArray("0F 1F");
    QTest::newRow("16650 enhanced bits unlocked, then kept")
        << st
        << QByteArray(
               "W 3 BF; W 2 10; W 3 03; W 1 F5; W 4 E3; R 1; R 4; W 3 BF; W 2 00; W 3 03; "
               "W 1 00; W 4 00; R 1; R 4")
        << QByteArray("F5 E3 F0 E0");
    QTest::newRow("16C950 enhanced bits unlocked")
        << ox << QByteArray("W 3 BF; W 2 10; W 3 03; W 1 FF; R 1") << QByteArray("FF");
    // MCR bit 7 divides the baud clock by 4: at divisor 1 a character then ends 4 × (13 + 86.8)
    // us after its write.
    QTest::newRow("16650 prescaler")
        << st
        << QByteArray(
               "W 3 BF; W 2 10; W 3 83; W 0 01; W 1 00; W 3 03; W 4 90; W 0 41; T 100; "
               "R 5; T 300; R 5")
        << QByteArray("20 61");
    QTest::newRow("16650 prescaler locked")
        << st << QByteArray("W 3 83; W 0 01; W 1 00; W 3 03; W 4 90; W 0 41; T 100; R 5")
        << QByteArray("61");
    // The 16C950's indexed registers: SPR picks, ICR (offset 5) writes, and reads while ACR
    // bit 6 is set, in place of LSR.
    QTest::newRow("16C950 IDs through ICR")
        << ox
        << QByteArray(
               "W 7 00; W 5 40; W 7 08; R 5; W 7 09; R 5; W 7 0A; R 5; W 7 0B; R 5; "
               "W 7 00; R 5; W 5 00; R 5")
        << QByteArray("16 C9 50 03 40 60");
    QTest::newRow("16C950 ICR unread without ACR bit 6")
        << ox << QByteArray("W 7 08; R 5; W 5 40; R 5") << QByteArray("60 60");
    QTest::newRow("16C950 ICR out of reach at LCR BF")
        << ox << QByteArray("W 3 BF; W 7 00; W 5 40; W 3 00; W 7 08; R 5") << QByteArray("60");
    QTest::newRow("16C950 CPR, read-only IDs, nothing above 13")
        << ox
        << QByteArray(
               "W 7 00; W 5 40; W 7 01; R 5; W 5 10; R 5; W 7 14; W 5 AA; R 5; W 7 08; "
               "W 5 00; R 5")
        << QByteArray("20 10 00 16");
    QTest::newRow("16650 has no ICR")
        << st << QByteArray("W 7 00; W 5 40; W 7 08; R 5") << QByteArray("60");
    // The 16C950's 650 mode: 128-byte FIFOs, trigger levels 16, 32, 112, 120.
    QTest::newRow("16C950 650 mode, trigger 120")
        << ox << QByteArray("W 3 BF; W 2 10; W 3 03; W 2 C1; W 1 01; N 119; R 2; N 1; R 2")
        << QByteArray("C1 C4");
    QTest::newRow("16C950 650 mode, 129 bytes")
        << ox << QByteArray("W 3 BF; W 2 10; W 3 03; W 2 01; N 129; R 5") << QByteArray("63");
    // Its 950 mode (ACR bit 5 too) takes the level from RTL.
    QTest::newRow("16C950 950 mode, RTL 3")
        << ox
        << QByteArray(
               "W 3 BF; W 2 10; W 3 03; W 2 01; W 1 01; W 7 05; W 5 03; W 7 00; W 5 20; "
               "N 2; R 2; N 1; R 2")
        << QByteArray("C1 C4");
    QTest::newRow("16C950 550 mode ignores RTL")
        << ox << QByteArray("W 2 01; W 1 01; W 7 05; W 5 03; W 7 00; W 5 20; N 3; R 2")
        << QByteArray("C4");
    // Setting EFR bit 4 changes the depth from 16 to 128: both FIFOs are emptied.
    QTest::newRow("16C950 EFR bit 4 empties the FIFOs")
        << ox << QByteArray("W 2 01; N 3; W 3 BF; W 2 10; W 3 03; R 5") << QByteArray("60");
    QTest::newRow("16650 EFR bit 4 keeps the FIFOs")
        << st << QByteArray("W 2 01; N 3; W 3 BF; W 2 10; W 3 03; R 5") << QByteArray("61");
    // Transmit trigger bits (FCR 4-5) are taken only while EFR bit 4 is set: the 16C950's
    // bit 5 alone, with DLAB, as its 750-mode bit.
    QTest::newRow("16C950 FCR 31 without EFR bit 4 or DLAB")
        << ox << QByteArray("W 2 31; N 17; R 5") << QByteArray("63");
}

void TestUart16550::enhancedRegisters() {
    QFETCH(uart::Chip, chip);
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, reads);

    VirtualClock clock;
    U uart(clock, chip);
    QByteArray seen;
    for (const QByteArray& step : script.split(';')) {
        const QList<QByteArray> words = step.simplified().split(' ');
        const auto offset = static_cast<unsigned>(words.value(1).toUInt(nullptr, 16));
        if (words[0] == "W") {
            uart.write(offset, static_cast<uint8_t>(words.value(2).toUInt(nullptr, 16)));
        } else if (words[0] == "N") {
            loopBytes(uart, words.value(1).toInt());
        } else if (words[0] == "T") {
            clock.advance(std::chrono::microseconds(words.value(1).toInt()));
        } else {
            QCOMPARE(words[0], "R");
            if (!seen.isEmpty())
                seen += ' ';
            seen += QByteArray::number(uart.read(offset), 16).toUpper().rightJustified(2, '0');
        }
    }
    QCOMPARE(seen, reads);
}

QTEST_APPLESS_MAIN(TestUart16550)
#include "tst_uart16550.moc"
