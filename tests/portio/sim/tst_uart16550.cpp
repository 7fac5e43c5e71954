// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>
#include <chrono>

#include "portio/sim/uart16550.h"

using U = Uart16550;
using std::chrono::nanoseconds;

namespace {

// chars character times of 8N1 at divisor, and offset nanoseconds more.
nanoseconds lineTime(uint16_t divisor, int chars, int offset = 0) {
    return chars * uart::characterTime(0x03, divisor) + nanoseconds(offset);
}

void setFormat(U& uart, uint8_t lcr, uint16_t divisor) {
    uart.write(uart::LCR, uart::LCR_DLAB);
    uart.write(uart::DLL, static_cast<uint8_t>(divisor & 0xFF));
    uart.write(uart::DLM, static_cast<uint8_t>(divisor >> 8));
    uart.write(uart::LCR, lcr);
}

// Sends count bytes 0x41, 0x42 ... as 8N1 through the UART's own loopback.
void loopBytes(U& uart, int count) {
    uart.write(uart::LCR, 0x03);
    uart.write(uart::MCR, uart::MCR_LOOP);
    for (int i = 0; i < count; ++i)
        uart.write(uart::THR, static_cast<uint8_t>(0x41 + i));
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
    void breakHoldsTheLine();
    void breakActsOnSoutOnly_data();
    void breakActsOnSoutOnly();
};

void TestUart16550::resetValues_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("dlab");
    QTest::addColumn<int>("expected");
    QTest::newRow("RBR") << uart::RBR << false << 0x00;
    QTest::newRow("IER") << uart::IER << false << 0x00;
    QTest::newRow("IIR") << uart::IIR << false << 0x01;
    QTest::newRow("LCR") << uart::LCR << false << 0x00;
    QTest::newRow("MCR") << uart::MCR << false << 0x00;
    QTest::newRow("LSR") << uart::LSR << false << 0x60;
    QTest::newRow("MSR") << uart::MSR << false << 0x00;
    QTest::newRow("SCR") << uart::SCR << false << 0x00;
    QTest::newRow("DLL") << uart::DLL << true << 0x00;
    QTest::newRow("DLM") << uart::DLM << true << 0x00;
}

void TestUart16550::resetValues() {
    QFETCH(int, offset);
    QFETCH(bool, dlab);
    QFETCH(int, expected);

    VirtualClock clock;
    U fresh(clock);
    U used(clock);
    setFormat(used, 0x1F, 0xABCD);
    used.write(uart::FCR, 0xC1);
    used.write(uart::IER, 0x0F);
    used.write(uart::SCR, 0x55);
    loopBytes(used, 3);
    used.write(uart::MCR, 0x1F);
    used.reset();  // with the bytes still in flight at divisor ABCD

    for (U* uart : {&fresh, &used}) {
        if (dlab)
            uart->write(uart::LCR, uart::LCR_DLAB);
        QCOMPARE(uart->read(offset), expected);
    }
    clock.advance(std::chrono::minutes(1));
    QCOMPARE(used.rxFifoCount(), 0u);
    QCOMPARE(used.read(uart::LSR), 0x60);
}

void TestUart16550::writableBits_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("readBack");
    QTest::newRow("IER FF") << uart::IER << 0xFF << 0x0F;
    QTest::newRow("MCR FF") << uart::MCR << 0xFF << 0x1F;
    QTest::newRow("LCR 3F") << uart::LCR << 0x3F << 0x3F;
    QTest::newRow("SCR A5") << uart::SCR << 0xA5 << 0xA5;
    QTest::newRow("LSR 00 ignored") << uart::LSR << 0x00 << 0x60;
    QTest::newRow("MSR FF ignored") << uart::MSR << 0xFF << 0x00;
    QTest::newRow("FCR 07 not readable") << uart::FCR << 0x07 << 0xC1;
}

void TestUart16550::writableBits() {
    QFETCH(int, offset);
    QFETCH(int, written);
    QFETCH(int, readBack);
    VirtualClock clock;
    U uart(clock);
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

enum Setup { OneByteLooped, Overrun, LoopDtr, ThreEnabled };
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
    QCOMPARE(uart.read(uart::LSR), 0x61);  // no framing error against itself; THRE/TEMT back
    QCOMPARE(uart.read(uart::RBR), received);
    QCOMPARE(peer.rxFifoCount(), 0u);
}

enum class Timing { Line, Instant, LineThenInstant };
Q_DECLARE_METATYPE(Timing)

void TestUart16550::transmitTiming_data() {
    QTest::addColumn<Timing>("timing");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<bool>("fifo");   // the transmitter's FIFOs (the receiver's are on)
    QTest::addColumn<int>("to");      // 0: the far end, 1: own loopback, 2: far end in loopback
    QTest::addColumn<int>("bytes");   // 0x41, 0x42 ... written at once, 8N1 at both ends
    QTest::addColumn<int>("fcr");     // then written to the transmitter, -1: none
    QTest::addColumn<int>("chars");   // the time looked at: this many character times
    QTest::addColumn<int>("offset");  // and this many nanoseconds more
    QTest::addColumn<int>("lsr");     // the transmitter's
    QTest::addColumn<int>("iir");     // the transmitter's, with only IER bit 1 set
    QTest::addColumn<QByteArray>("received");
    const Timing line = Timing::Line;
    // The byte moves on into the shift register at once: THR is empty, TEMT waits for the
    // stop bit, and the far end has the character when the stop bit ends.
    QTest::newRow("9600, 1 byte, 1 ns before its end")
        << line << 12 << false << 0 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray();
    QTest::newRow("9600, 1 byte, at its end")
        << line << 12 << false << 0 << 1 << -1 << 1 << 0 << 0x60 << 0x02 << QByteArray("A");
    QTest::newRow("1200, 1 byte, 1 ns before its end")
        << line << 96 << false << 0 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray();
    QTest::newRow("1200, 1 byte, at its end")
        << line << 96 << false << 0 << 1 << -1 << 1 << 0 << 0x60 << 0x02 << QByteArray("A");
    // The second byte waits in THR: THRE and its interrupt come when it moves on.
    QTest::newRow("9600, 2 bytes, at once")
        << line << 12 << false << 0 << 2 << -1 << 0 << 0 << 0x00 << 0x01 << QByteArray();
    QTest::newRow("9600, 2 bytes, 1 ns before the first's end")
        << line << 12 << false << 0 << 2 << -1 << 1 << -1 << 0x00 << 0x01 << QByteArray();
    QTest::newRow("9600, 2 bytes, at the first's end")
        << line << 12 << false << 0 << 2 << -1 << 1 << 0 << 0x20 << 0x02 << QByteArray("A");
    QTest::newRow("9600, 2 bytes, at the second's end")
        << line << 12 << false << 0 << 2 << -1 << 2 << 0 << 0x60 << 0x02 << QByteArray("AB");
    QTest::newRow("9600, 3 bytes: THR overwritten")
        << line << 12 << false << 0 << 3 << -1 << 3 << 0 << 0x60 << 0x02 << QByteArray("AC");
    // The transmit FIFO drains one character per character time.
    QTest::newRow("9600 FIFO, 4 bytes, 2 sent")
        << line << 12 << true << 0 << 4 << -1 << 2 << 0 << 0x00 << 0xC1 << QByteArray("AB");
    QTest::newRow("9600 FIFO, 4 bytes, 3 sent")
        << line << 12 << true << 0 << 4 << -1 << 3 << 0 << 0x20 << 0xC2 << QByteArray("ABC");
    QTest::newRow("9600 FIFO, 4 bytes, 4 sent")
        << line << 12 << true << 0 << 4 << -1 << 4 << 0 << 0x60 << 0xC2 << QByteArray("ABCD");
    // One in the shift register and 16 in the FIFO: the 18th byte is lost.
    QTest::newRow("9600 FIFO, 18 bytes, 16 sent") << line << 12 << true << 0 << 18 << -1 << 16 << 0
                                                  << 0x20 << 0xC2 << QByteArray("ABCDEFGHIJKLMNOP");
    // Emptying the transmit FIFO leaves the character in the shift register.
    QTest::newRow("9600 FIFO, 4 bytes, TX reset")
        << line << 12 << true << 0 << 4 << 0x05 << 4 << 0 << 0x60 << 0xC2 << QByteArray("A");
    QTest::newRow("9600 FIFO, 4 bytes, FIFOs off")
        << line << 12 << true << 0 << 4 << 0x00 << 4 << 0 << 0x60 << 0x02 << QByteArray("A");
    QTest::newRow("9600 loopback, 1 ns before the end")
        << line << 12 << false << 1 << 1 << -1 << 1 << -1 << 0x20 << 0x02 << QByteArray();
    QTest::newRow("9600 loopback, at the end")
        << line << 12 << false << 1 << 1 << -1 << 1 << 0 << 0x61 << 0x02 << QByteArray("A");
    // A receiver in loopback listens to its own transmitter, not to the cable.
    QTest::newRow("9600, far end in loopback")
        << line << 12 << false << 2 << 1 << -1 << 1 << 0 << 0x60 << 0x02 << QByteArray();
    QTest::newRow("instant, 9600, 2 bytes") << Timing::Instant << 12 << false << 0 << 2 << -1 << 0
                                            << 0 << 0x60 << 0x02 << QByteArray("AB");
    QTest::newRow("instant, 9600, far end in loopback")
        << Timing::Instant << 12 << false << 2 << 1 << -1 << 0 << 0 << 0x60 << 0x02 << QByteArray();
    // Switching to instant timing completes what is in flight.
    QTest::newRow("line then instant, 9600 FIFO, 4 bytes")
        << Timing::LineThenInstant << 12 << true << 0 << 4 << -1 << 0 << 0 << 0x60 << 0xC2
        << QByteArray("ABCD");
    // Divisor 0 has no rate and takes no time.
    QTest::newRow("divisor 0, 2 bytes")
        << line << 0 << false << 0 << 2 << -1 << 0 << 0 << 0x60 << 0x02 << QByteArray("AB");
    QTest::newRow("divisor 0 FIFO, 18 bytes") << line << 0 << true << 0 << 18 << -1 << 0 << 0
                                              << 0x60 << 0xC2 << QByteArray("ABCDEFGHIJKLMNOP");
}

void TestUart16550::transmitTiming() {
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

    VirtualClock clock;
    U tx(clock);
    U rx(clock);
    U::connectNullModem(tx, rx);
    if (timing == Timing::Instant)
        tx.setTiming(U::Timing::Instant);
    const auto d = static_cast<uint16_t>(divisor);
    setFormat(tx, 0x03, d);
    setFormat(rx, 0x03, d);
    rx.write(uart::FCR, uart::FCR_ENABLE);
    tx.write(uart::FCR, fifo ? uart::FCR_ENABLE : 0);
    tx.write(uart::MCR, to == 1 ? uart::MCR_LOOP : 0);
    rx.write(uart::MCR, to == 2 ? uart::MCR_LOOP : 0);
    tx.write(uart::IER, uart::IER_ETBEI);
    for (int i = 0; i < bytes; ++i)
        tx.write(uart::THR, static_cast<uint8_t>(0x41 + i));
    if (fcr >= 0)
        tx.write(uart::FCR, static_cast<uint8_t>(fcr));
    if (timing == Timing::LineThenInstant)
        tx.setTiming(U::Timing::Instant);

    clock.advance(lineTime(d, chars, offset));
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
    QTest::addColumn<bool>("fifo");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("lsr");
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("no FIFO, 1 byte") << false << 1 << 0x61 << QByteArray("A");
    // In overrun the new character still lands in RBR.
    QTest::newRow("no FIFO, 2 bytes") << false << 2 << 0x63 << QByteArray("B");
    QTest::newRow("FIFO, 16 bytes") << true << 16 << 0x61 << QByteArray("ABCDEFGHIJKLMNOP");
    // A full FIFO keeps its 16; the 17th character is lost.
    QTest::newRow("FIFO, 17 bytes") << true << 17 << 0x63 << QByteArray("ABCDEFGHIJKLMNOP");
}

void TestUart16550::receiverFillAndOverrun() {
    QFETCH(bool, fifo);
    QFETCH(int, sent);
    QFETCH(int, lsr);
    QFETCH(QByteArray, received);

    VirtualClock clock;
    U uart(clock);
    uart.write(uart::FCR, fifo ? uart::FCR_ENABLE : 0);
    loopBytes(uart, sent);
    QCOMPARE(uart.rxFifoCount(), static_cast<std::size_t>(received.size()));
    QCOMPARE(uart.read(uart::LSR), lsr);
    QCOMPARE(drain(uart), received);
    QCOMPARE(uart.read(uart::LSR), 0x60);
}

void TestUart16550::fifoControl_data() {
    QTest::addColumn<int>("fcr");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("iir");
    // Each row starts with FIFOs on (FCR 01) and three bytes received.
    QTest::newRow("01 again") << 0x01 << 3 << 0xC1;
    QTest::newRow("03 RX reset") << 0x03 << 0 << 0xC1;
    QTest::newRow("05 TX reset") << 0x05 << 3 << 0xC1;
    QTest::newRow("C1 trigger 14") << 0xC1 << 3 << 0xC1;
    QTest::newRow("00 off") << 0x00 << 0 << 0x01;
    QTest::newRow("02 without enable") << 0x02 << 0 << 0x01;
}

void TestUart16550::fifoControl() {
    QFETCH(int, fcr);
    QFETCH(int, count);
    QFETCH(int, iir);

    VirtualClock clock;
    U uart(clock);
    uart.write(uart::FCR, uart::FCR_ENABLE);
    loopBytes(uart, 3);
    uart.write(uart::FCR, static_cast<uint8_t>(fcr));
    QCOMPARE(uart.rxFifoCount(), static_cast<std::size_t>(count));
    QCOMPARE(uart.read(uart::IIR), iir);
    QCOMPARE(uart.peek(uart::LSR) & uart::LSR_DR, count ? uart::LSR_DR : 0);
}

void TestUart16550::triggerLevel_data() {
    QTest::addColumn<int>("fcr");
    QTest::addColumn<int>("divisor");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("readOne");  // one character read 2 character times after the last
    QTest::addColumn<int>("chars");     // then this many character times pass
    QTest::addColumn<int>("offset");    // and this many nanoseconds more
    QTest::addColumn<int>("iir");
    // Below the trigger level the data is reported as a character timeout (CC), four
    // character times after the last character came in or was read; at divisor 0 at once.
    QTest::newRow("trigger 1, 1 byte") << 0x01 << 0 << 1 << false << 0 << 0 << 0xC4;
    QTest::newRow("trigger 4, 3 bytes") << 0x41 << 0 << 3 << false << 0 << 0 << 0xCC;
    QTest::newRow("trigger 4, 4 bytes") << 0x41 << 0 << 4 << false << 0 << 0 << 0xC4;
    QTest::newRow("trigger 8, 7 bytes") << 0x81 << 0 << 7 << false << 0 << 0 << 0xCC;
    QTest::newRow("trigger 8, 8 bytes") << 0x81 << 0 << 8 << false << 0 << 0 << 0xC4;
    QTest::newRow("trigger 14, 13 bytes") << 0xC1 << 0 << 13 << false << 0 << 0 << 0xCC;
    QTest::newRow("trigger 14, 14 bytes") << 0xC1 << 0 << 14 << false << 0 << 0 << 0xC4;
    QTest::newRow("trigger 14, 16 bytes") << 0xC1 << 0 << 16 << false << 0 << 0 << 0xC4;
    QTest::newRow("no FIFO, 1 byte") << 0x00 << 0 << 1 << false << 0 << 0 << 0x04;
    QTest::newRow("trigger 4, none") << 0x41 << 0 << 0 << false << 0 << 0 << 0xC1;
    QTest::newRow("9600, trigger 4, 3 bytes, at the last")
        << 0x41 << 12 << 3 << false << 0 << 0 << 0xC1;
    QTest::newRow("9600, trigger 4, 3 bytes, 4 chars - 1 ns later")
        << 0x41 << 12 << 3 << false << 4 << -1 << 0xC1;
    QTest::newRow("9600, trigger 4, 3 bytes, 4 chars later")
        << 0x41 << 12 << 3 << false << 4 << 0 << 0xCC;
    QTest::newRow("1200, trigger 8, 1 byte, 4 chars - 1 ns later")
        << 0x81 << 96 << 1 << false << 4 << -1 << 0xC1;
    QTest::newRow("1200, trigger 8, 1 byte, 4 chars later")
        << 0x81 << 96 << 1 << false << 4 << 0 << 0xCC;
    QTest::newRow("9600, trigger 4, 4 bytes, at the last")
        << 0x41 << 12 << 4 << false << 0 << 0 << 0xC4;
    QTest::newRow("9600, trigger 4, 4 bytes, one read, 4 chars - 1 ns later")
        << 0x41 << 12 << 4 << true << 4 << -1 << 0xC1;
    QTest::newRow("9600, trigger 4, 4 bytes, one read, 4 chars later")
        << 0x41 << 12 << 4 << true << 4 << 0 << 0xCC;
    QTest::newRow("9600, no FIFO, 1 byte, at its end")
        << 0x00 << 12 << 1 << false << 0 << 0 << 0x04;
}

void TestUart16550::triggerLevel() {
    QFETCH(int, fcr);
    QFETCH(int, divisor);
    QFETCH(int, bytes);
    QFETCH(bool, readOne);
    QFETCH(int, chars);
    QFETCH(int, offset);
    QFETCH(int, iir);

    VirtualClock clock;
    U uart(clock);
    const auto d = static_cast<uint16_t>(divisor);
    setFormat(uart, 0x03, d);
    uart.write(uart::FCR, static_cast<uint8_t>(fcr));
    uart.write(uart::IER, uart::IER_ERBFI);
    loopBytes(uart, bytes);
    clock.advance(lineTime(d, bytes));
    if (readOne) {
        clock.advance(lineTime(d, 2));
        QCOMPARE(uart.read(uart::RBR), 0x41);
    }
    clock.advance(lineTime(d, chars, offset));
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
    // The first byte is on its way at divisor 12 and keeps it; the second starts at 6.
    setFormat(a, 0x03, 6);
    a.write(uart::THR, 0x32);  // arrives with a framing error
    clock.advance(uart::characterTime(0x03, 12) + uart::characterTime(0x03, 6));

    QCOMPARE(b.read(uart::LSR), 0xE1);  // an error waits in the FIFO, not yet at the top
    QCOMPARE(b.read(uart::RBR), 0x31);
    QCOMPARE(b.read(uart::LSR), 0xE9);  // its FE shows at the top
    QCOMPARE(b.read(uart::LSR), 0x61);  // and bit 7 goes: no error behind it
    QCOMPARE(b.read(uart::RBR), 0x32);
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
    QTest::newRow("8N1 12 both") << 0x03 << 12 << 0x03 << 12 << 0x00 << 0xA5 << 0xA5 << 0x61;
    QTest::newRow("reset defaults") << 0x00 << 0 << 0x00 << 0 << 0x00 << 0xA5 << 0x05 << 0x61;
    QTest::newRow("7E1 both") << 0x1A << 1 << 0x1A << 1 << 0x00 << 0xC1 << 0x41 << 0x61;
    QTest::newRow("divisor 12 vs 6") << 0x03 << 12 << 0x03 << 6 << 0x00 << 0xA5 << 0xA5 << 0x69;
    QTest::newRow("divisor 0100 vs 0001")
        << 0x03 << 0x100 << 0x03 << 1 << 0x00 << 0xA5 << 0xA5 << 0x69;
    QTest::newRow("8 vs 7 bits") << 0x03 << 12 << 0x02 << 12 << 0x00 << 0xA5 << 0x25 << 0x69;
    QTest::newRow("1 vs 2 stop bits") << 0x03 << 12 << 0x07 << 12 << 0x00 << 0xA5 << 0xA5 << 0x69;
    QTest::newRow("even vs odd") << 0x1B << 12 << 0x0B << 12 << 0x00 << 0xA5 << 0xA5 << 0x69;
    QTest::newRow("parity vs none") << 0x0B << 12 << 0x03 << 12 << 0x00 << 0xA5 << 0xA5 << 0x69;
    QTest::newRow("stick vs not") << 0x2B << 12 << 0x0B << 12 << 0x00 << 0xA5 << 0xA5 << 0x69;
    QTest::newRow("mismatch, FIFO on") << 0x03 << 12 << 0x03 << 6 << 0x01 << 0xA5 << 0xA5 << 0xE9;
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

    VirtualClock clock;
    U tx(clock);
    U rx(clock);
    U::connectNullModem(tx, rx);
    setFormat(tx, static_cast<uint8_t>(txLcr), static_cast<uint16_t>(txDivisor));
    setFormat(rx, static_cast<uint8_t>(rxLcr), static_cast<uint16_t>(rxDivisor));
    rx.write(uart::FCR, static_cast<uint8_t>(rxFcr));
    tx.write(uart::THR, static_cast<uint8_t>(sent));
    clock.advance(
        uart::characterTime(static_cast<uint8_t>(txLcr), static_cast<uint16_t>(txDivisor)));
    QCOMPARE(tx.read(uart::LSR), 0x60);  // sent, nothing came back
    QCOMPARE(rx.read(uart::LSR), lsr);
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

void TestUart16550::breakHoldsTheLine() {
    VirtualClock clock;
    U a(clock);
    U b(clock);
    U::connectNullModem(a, b);
    a.write(uart::LCR, uart::LCR_BREAK);
    QCOMPARE(b.read(uart::LSR), 0x71);  // BI and a zero character, no FE
    QCOMPARE(b.read(uart::RBR), 0x00);

    a.write(uart::THR, 0x41);  // lost while the line is held
    a.write(uart::LCR, uart::LCR_BREAK);
    QCOMPARE(b.rxFifoCount(), 0u);

    a.write(uart::LCR, 0x00);
    a.write(uart::THR, 0x05);
    QCOMPARE(b.read(uart::LSR), 0x61);
    QCOMPARE(b.read(uart::RBR), 0x05);
}

void TestUart16550::breakActsOnSoutOnly_data() {
    QTest::addColumn<bool>("instant");
    QTest::addColumn<int>("divisor");        // of both ends
    QTest::addColumn<QList<int>>("writes");  // offset, value, offset, value ... to the first UART
    QTest::addColumn<int>("chars");          // then this many 8N1 character times pass
    QTest::addColumn<int>("offset");         // and this many nanoseconds more
    QTest::addColumn<QList<int>>("thenWrites");
    QTest::addColumn<int>("thenChars");  // and then this many character times more
    QTest::addColumn<int>("ownLsr");
    QTest::addColumn<int>("peerLsr");
    QTest::addColumn<int>("peerCount");
    using L = QList<int>;
    const int lcr = uart::LCR;
    QTest::newRow("break on the line")
        << false << 0 << L{lcr, 0x40} << 0 << 0 << L{} << 0 << 0x60 << 0x71 << 1;
    // In loopback SOUT is held marking and the receiver listens to the shift register.
    QTest::newRow("break in loopback")
        << false << 0 << L{uart::MCR, 0x10, lcr, 0x40} << 0 << 0 << L{} << 0 << 0x60 << 0x60 << 0;
    QTest::newRow("byte in loopback under break")
        << false << 0 << L{uart::MCR, 0x10, lcr, 0x43, uart::THR, 0x41} << 0 << 0 << L{} << 0
        << 0x61 << 0x60 << 0;
    QTest::newRow("leaving loopback under break")
        << false << 0 << L{uart::MCR, 0x10, lcr, 0x40, uart::MCR, 0x00} << 0 << 0 << L{} << 0
        << 0x60 << 0x71 << 1;
    // A break is a whole character time of spacing; a shorter one sends nothing.
    QTest::newRow("9600, raised and dropped at once")
        << false << 12 << L{lcr, 0x43} << 0 << 0 << L{lcr, 0x03} << 0 << 0x60 << 0x60 << 0;
    QTest::newRow("9600, held 1 char - 1 ns")
        << false << 12 << L{lcr, 0x43} << 1 << -1 << L{lcr, 0x03} << 0 << 0x60 << 0x60 << 0;
    QTest::newRow("9600, held 1 char")
        << false << 12 << L{lcr, 0x43} << 1 << 0 << L{lcr, 0x03} << 0 << 0x60 << 0x71 << 1;
    QTest::newRow("9600, held 3 chars: one break")
        << false << 12 << L{lcr, 0x43} << 3 << 0 << L{} << 0 << 0x60 << 0x71 << 1;
    QTest::newRow("instant, 9600, held 1 char - 1 ns")
        << true << 12 << L{lcr, 0x43} << 1 << -1 << L{lcr, 0x03} << 0 << 0x60 << 0x60 << 0;
    QTest::newRow("instant, 9600, held 1 char")
        << true << 12 << L{lcr, 0x43} << 1 << 0 << L{lcr, 0x03} << 0 << 0x60 << 0x71 << 1;
    // Characters on the line while it is held at spacing are lost, also the one shifting
    // when the break starts.
    QTest::newRow("9600, byte written under break")
        << false << 12 << L{lcr, 0x43, uart::THR, 0x41} << 2 << 0 << L{lcr, 0x03} << 0 << 0x60
        << 0x71 << 1;
    QTest::newRow("9600, byte shifting when a short break starts")
        << false << 12 << L{uart::THR, 0x41, lcr, 0x43} << 0 << 1000 << L{lcr, 0x03} << 1 << 0x60
        << 0x60 << 0;
    QTest::newRow("9600, byte after the break")
        << false << 12 << L{lcr, 0x43} << 1 << 0 << L{lcr, 0x03, uart::THR, 0x41} << 0 << 0x20
        << 0x71 << 1;
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
        for (qsizetype i = 0; i + 1 < list.size(); i += 2)
            a.write(static_cast<unsigned>(list[i]), static_cast<uint8_t>(list[i + 1]));
    };
    apply(writes);
    clock.advance(lineTime(d, chars, offset));
    apply(thenWrites);
    clock.advance(lineTime(d, thenChars));
    QCOMPARE(a.read(uart::LSR), ownLsr);
    QCOMPARE(b.read(uart::LSR), peerLsr);
    QCOMPARE(b.rxFifoCount(), static_cast<std::size_t>(peerCount));
}

QTEST_APPLESS_MAIN(TestUart16550)
#include "tst_uart16550.moc"
