// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/portowners.h"
#include "cli/probe/chipprobe.h"
#include "cli/probe/identify.h"
#include "cli/probe/plugprofiles.h"
#include "cli/probe/selftest.h"
#include "cli/probe/uartsession.h"
#include "cli/probeoptions.h"
#include "tests/cli/probe/fakechips.h"
#include "tests/fakes/sysfstree.h"

using uart::Chip;
using State = ChipLibrary::State;
using Quirks = ChipQuirks;

Q_DECLARE_METATYPE(Chip)
Q_DECLARE_METATYPE(State)
Q_DECLARE_METATYPE(Quirks)

namespace {

// The kernel as a test wants it: one tty at kBase, maybe the console.
struct FakeOwners final : cli::PortOwners {
    std::optional<std::string> tty;
    bool console = false;
    bool simulatedUarts = false;
    std::optional<std::string> ttyAt(int32_t base) override {
        return base == ChipLibrary::kBase ? tty : std::nullopt;
    }
    bool isConsole(const std::string&) override { return console; }
    bool simulated() override { return simulatedUarts; }
};

// A chip to probe and the console it speaks to. simulated: COM1 among regwise-io-sim's four
// UARTs, COM2 to COM4 16550As and the program knowing it runs on the simulator; otherwise
// the chip alone on a machine's bus. Alone, a chip with an EFR is FakeChip (the XR16C850 the
// simulator does not have, and the quirks of the others); every other chip is always the
// simulator's.
struct Rig {
    VirtualStoppableClock pacing;
    std::unique_ptr<ChipLibrary> library;
    std::ostringstream out, err;
    cli::Console console{out, err, "regwise-io-test"};
    FakeOwners owners;

    Rig(Chip chip, const State& initial, bool simulated, const Quirks& quirks = {}) {
        if (!simulated && FakeChip::models(chip)) {
            library = std::make_unique<FakeChip>(pacing, chip, initial, quirks);
        } else {
            auto sim = std::make_unique<SimChips>(pacing, quirks);
            ComSlot com1 = quirks.floating ? ComSlot::floatingBus() : ComSlot(chip);
            com1.faults = quirks.faults;
            const ComSlot other = simulated ? ComSlot(Chip::U16550A) : ComSlot(std::nullopt);
            if (com1.chip)
                com1.clockHz = quirks.clockHz;
            sim->bus.setChips({com1, other, other, other});
            if (quirks.instant)
                sim->bus.setTiming(Uart16550::Timing::Instant);
            // Through the bus, as a program before the probe would have left COM1. A 16750
            // takes its 64-byte mode only with DLAB set.
            const std::pair<int, uint8_t> setup[] = {{3, 0x80},
                                                     {0, initial.dll},
                                                     {1, initial.dlm},
                                                     {2, uint8_t(initial.fifo64 ? 0xE7 : 0)},
                                                     {3, initial.lcr},
                                                     {1, initial.ier},
                                                     {4, initial.mcr},
                                                     {7, initial.scr},
                                                     {2, uint8_t(initial.fifoOn ? 0xC7 : 0)}};
            for (const auto& [offset, value] : setup)
                sim->bus.write(static_cast<uint16_t>(ChipLibrary::kBase + offset), value);
            library = std::move(sim);
            owners.simulatedUarts = simulated;
        }
        library->accessTime = std::chrono::nanoseconds(quirks.accessNs);
    }

    int identify(const cli::ProbeOptions& options) {
        return cli::identifyPorts(*library, owners, options, console, pacing);
    }
    int selftest(const cli::ProbeOptions& options) {
        return cli::selfTest(*library, owners, options, console, pacing);
    }
    QString stdOut() const { return QString::fromStdString(out.str()); }
    QString stdErr() const { return QString::fromStdString(err.str()); }
};

// identify or selftest of the rig's one UART, without the clock measured: identify probes alone
// (no byte sent, RBR never read), and selftest's rates are set for 1.8432 MHz.
cli::ProbeOptions ofBase(bool tap, bool trace = false, bool force = false) {
    cli::ProbeOptions options;
    options.bases = {ChipLibrary::kBase};
    options.tap = tap;
    options.trace = trace;
    options.force = force;
    options.measure = false;
    return options;
}

const cli::ProbeOptions kTraced = ofBase(false, true);

QString describe(const State& s) {
    return QStringLiteral("LCR %1 MCR %2 IER %3 DL %4%5 SCR %6 EFR %7 ACR %8 FIFO %9/%10")
        .arg(s.lcr, 2, 16, QLatin1Char('0'))
        .arg(s.mcr, 2, 16, QLatin1Char('0'))
        .arg(s.ier, 2, 16, QLatin1Char('0'))
        .arg(s.dlm, 2, 16, QLatin1Char('0'))
        .arg(s.dll, 2, 16, QLatin1Char('0'))
        .arg(s.scr, 2, 16, QLatin1Char('0'))
        .arg(s.efr, 2, 16, QLatin1Char('0'))
        .arg(s.acr, 2, 16, QLatin1Char('0'))
        .arg(s.fifoOn)
        .arg(s.fifo64);
}

// The TAP test points of a self-test's output, in order: name and "ok", "not ok" or "skip".
QList<std::pair<QString, QString>> tapPoints(const QString& tap) {
    static const QRegularExpression point(
        QStringLiteral("^(ok|not ok) [0-9]+ - ([^ #]+)( # SKIP .*)?$"),
        QRegularExpression::MultilineOption);
    QList<std::pair<QString, QString>> points;
    for (auto it = point.globalMatch(tap); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        points.append({match.captured(2),
                       match.captured(3).isEmpty() ? match.captured(1) : QStringLiteral("skip")});
    }
    return points;
}

// identify --json with the measurements, on one rig: its one object.
QJsonObject measuredObject(Rig& rig, int& status) {
    cli::ProbeOptions options;
    options.bases = {ChipLibrary::kBase};
    options.json = true;
    status = rig.identify(options);
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(rig.out.str()));
    return json.array().first().toObject();
}

// What identify measures of a simulated chip: its clock within 1 % and the usual crystal
// named, or, where transfers complete at once, a note instead of a number; the FIFO's depth
// in each mode and the receive trigger levels exactly as the chip table has them; every
// register as before, also when an access fails or a stop request comes part way.
void checkMeasured(Chip chip, const State& initial, const Quirks& quirks) {
    Rig rig(chip, initial, true, quirks);
    const State before = rig.library->snapshot();
    int status = -1;
    const QJsonObject object = measuredObject(rig, status);
    QCOMPARE(status, 0);
    QVERIFY2(rig.library->snapshot() == before, qPrintable(describe(rig.library->snapshot())));
    const QByteArray shown = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (quirks.instant) {
        QVERIFY2(object.value(u"clock_hz").isNull() && object.value(u"clock_note").isString(),
                 shown.constData());
    } else {
        const double hz = object.value(u"clock_hz").toDouble();
        QVERIFY2(std::fabs(hz / quirks.clockHz - 1) <= 0.01, shown.constData());
        QCOMPARE(object.value(u"clock_nominal_hz").toDouble(), double(quirks.clockHz));
        QVERIFY(object.value(u"clock_note").isNull());
    }
    const uart::ChipFacts& facts = uart::chipFacts(chip);
    QCOMPARE(object.value(u"fifo_measured").toInt(-1), facts.usableFifo);
    const QJsonArray modes = object.value(u"fifo_modes").toArray();
    QCOMPARE(modes.size(), chip == Chip::U16750 ? 2 : 1);
    for (const QJsonValue& value : modes) {
        const QJsonObject mode = value.toObject();
        const auto fcr = static_cast<uint8_t>(
            uart::FCR_ENABLE | (mode.value(u"fifo64").toBool() ? uart::FCR_FIFO64 : 0));
        const auto depth =
            static_cast<int>(facts.usableFifo > 1 ? uart::fifoDepth(chip, fcr, facts.efr) : 1);
        QVERIFY2(mode.value(u"depth").toInt() == depth, shown.constData());
        QJsonArray levels;
        for (int setting = 0; depth > 1 && setting < 4; ++setting)
            levels.append(
                uart::rxTriggerLevel(chip, static_cast<uint8_t>(fcr | setting << 6), facts.efr));
        QVERIFY2(
            mode.value(u"rx_trigger_levels") == (depth > 1 ? QJsonValue(levels) : QJsonValue()),
            shown.constData());
    }
    // A failed access or a stop request at points through the measurement.
    const int accesses = rig.library->accesses;
    for (int at = cli::kMostProbeAccesses; at < accesses; at += accesses / 7) {
        for (const bool stop : {false, true}) {
            Rig broken(chip, initial, true, quirks);
            (stop ? broken.library->stopAt : broken.library->failAt) = at;
            const QJsonObject none = measuredObject(broken, status);
            QVERIFY(none.isEmpty());
            QCOMPARE(status, stop ? 128 + SIGTERM : 1);
            QVERIFY2(broken.library->snapshot() == before,
                     qPrintable(QStringLiteral("%1 at access %2: %3")
                                    .arg(stop ? "stop" : "failure")
                                    .arg(at)
                                    .arg(describe(broken.library->snapshot()))));
        }
    }
}

}  // namespace

class TestProbe : public QObject {
    Q_OBJECT

private slots:
    void identify_data();
    void identify();
    void failedAccessStillRestores_data() { identify_data(); }
    void failedAccessStillRestores();
    void stopRequestStillRestores_data() { identify_data(); }
    void stopRequestStillRestores();
    void kernelPorts_data();
    void kernelPorts();
    void jsonReadsInJq();
    void selftest_data();
    void selftest();
    void selftestStopRestores();
    void selftestEndsAtAFailedAccess_data();
    void selftestEndsAtAFailedAccess();
    void selftestSurvivesPauses_data();
    void selftestSurvivesPauses();
    void probeOperands_data();
    void probeOperands();
};

// Each chip as its data sheet answers, left by whatever ran before in various states: the
// verdict, every saved register as before, RBR never read, the accesses bounded and each one
// in the trace. On the simulated chips, identify's measurements too (checkMeasured).
void TestProbe::identify_data() {
    QTest::addColumn<Chip>("chip");
    QTest::addColumn<State>("initial");
    QTest::addColumn<bool>("simulated");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<Quirks>("quirks");

    const State reset{};
    const State running{0x03, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0, 0, true, false};
    const auto row = [](const char* name, Chip chip, const State& initial, const char* verdict,
                        bool simulated = false, const Quirks& quirks = {}) {
        QTest::newRow(name) << chip << initial << simulated << QString::fromUtf8(verdict) << quirks;
    };
    row("empty bus", Chip::None, reset, "3F8: none（UART が応答しません）");
    row("floating bus, which gives back the last byte written", Chip::None, reset,
        "3F8: none（UART が応答しません）", false, {true, false, 0x00, 0x50});
    row("a UART whose unused IER bits read 1", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", false, {false, false, 0xF0, 0x50});
    row("a 16750 clone that takes FCR bit 5 without DLAB", Chip::U16750, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", false, {false, true, 0x00, 0x50});
    row("16C954, whose third ID byte is 54", Chip::OX16C950, running,
        "3F8: 16C950（FIFO 128 バイト、スクラッチレジスタあり）", false,
        {false, false, 0x00, 0x54});
    row("8250", Chip::U8250, running, "3F8: 8250（FIFO なし、スクラッチレジスタなし）");
    row("16450", Chip::U16450, running, "3F8: 16450（FIFO なし、スクラッチレジスタあり）");
    row("16550", Chip::U16550, running, "3F8: 16550（FIFO は使えません、スクラッチレジスタあり）");
    row("16550A", Chip::U16550A, running, "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）");
    row("16550A with FIFOs off and DLAB set", Chip::U16550A,
        {0x83, 0x00, 0x00, 0x01, 0x00, 0x00, 0, 0, false, false},
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）");
    row("16750", Chip::U16750, running, "3F8: 16750（FIFO 64 バイト、スクラッチレジスタあり）");
    row("16750 in its 64-byte mode", Chip::U16750,
        {0x03, 0x08, 0x21, 0x01, 0x00, 0x00, 0, 0, true, true},
        "3F8: 16750（FIFO 64 バイト、スクラッチレジスタあり）");
    row("16650", Chip::U16650, running, "3F8: 16650（FIFO 32 バイト、スクラッチレジスタあり）");
    row("16650 with enhanced IER bits, left at LCR BF", Chip::U16650,
        {0xBF, 0x0B, 0xF5, 0x0C, 0x00, 0x42, 0xD0, 0, true, false},
        "3F8: 16650（FIFO 32 バイト、スクラッチレジスタあり）");
    row("XR16C850", Chip::XR16C850, running,
        "3F8: XR16C850（FIFO 128 バイト、スクラッチレジスタあり）");
    row("16C950", Chip::OX16C950, running,
        "3F8: 16C950（FIFO 128 バイト、スクラッチレジスタあり）");
    row("16C950 left with DLAB set: the longest probe", Chip::OX16C950,
        {0x83, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0x00, 0, true, false},
        "3F8: 16C950（FIFO 128 バイト、スクラッチレジスタあり）");
    row("simulated 16550A at reset", Chip::U16550A, reset,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true);
    row("simulated 16550A in use", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true);
    row("simulated 16750 in use", Chip::U16750, running,
        "3F8: 16750（FIFO 64 バイト、スクラッチレジスタあり）", true);
    row("simulated 16750 in its 64-byte mode", Chip::U16750,
        {0x03, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0, 0, true, true},
        "3F8: 16750（FIFO 64 バイト、スクラッチレジスタあり）", true);
    row("simulated 16550 in use", Chip::U16550, running,
        "3F8: 16550（FIFO は使えません、スクラッチレジスタあり）", true);
    row("simulated 16450 in use", Chip::U16450, running,
        "3F8: 16450（FIFO なし、スクラッチレジスタあり）", true);
    row("simulated 8250 in use", Chip::U8250, running,
        "3F8: 8250（FIFO なし、スクラッチレジスタなし）", true);
    row("simulated 16650 in use", Chip::U16650, running,
        "3F8: 16650（FIFO 32 バイト、スクラッチレジスタあり）", true);
    row("simulated 16C950 in use", Chip::OX16C950, running,
        "3F8: 16C950（FIFO 128 バイト、スクラッチレジスタあり）", true);
    row("simulated 16C950 left with DLAB set", Chip::OX16C950,
        {0x83, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0x00, 0, true, false},
        "3F8: 16C950（FIFO 128 バイト、スクラッチレジスタあり）", true);
    row("simulated empty port", Chip::None, reset, "3F8: none（UART が応答しません）", true);
    row("simulated floating port", Chip::None, reset, "3F8: none（UART が応答しません）", true,
        {true, false, 0x00, 0x50, 0});
    // The clocks of PCI cards and fast Super I/O chips; transfers complete at once as on QEMU.
    const auto clocked = [](uint32_t hz, bool instant = false) {
        Quirks quirks;
        quirks.clockHz = hz;
        quirks.instant = instant;
        return quirks;
    };
    row("simulated 16550A at 7.3728 MHz", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true, clocked(7'372'800));
    row("simulated 16550A at 14.7456 MHz", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true, clocked(14'745'600));
    row("simulated 16550A at 24 MHz", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true, clocked(24'000'000));
    row("simulated 16450 at 24 MHz", Chip::U16450, running,
        "3F8: 16450（FIFO なし、スクラッチレジスタあり）", true, clocked(24'000'000));
    row("simulated 16750 at 14.7456 MHz", Chip::U16750, running,
        "3F8: 16750（FIFO 64 バイト、スクラッチレジスタあり）", true, clocked(14'745'600));
    row("simulated 16C950 at 14.7456 MHz", Chip::OX16C950, running,
        "3F8: 16C950（FIFO 128 バイト、スクラッチレジスタあり）", true, clocked(14'745'600));
    row("simulated 16650 at 7.3728 MHz", Chip::U16650, running,
        "3F8: 16650（FIFO 32 バイト、スクラッチレジスタあり）", true, clocked(7'372'800));
    // A bus ten times slower than a PC's: the bursts' two estimates disagree at first and
    // the clock is timed again at half the rate.
    Quirks slowBus = clocked(24'000'000);
    slowBus.accessNs = 10'000;
    row("simulated 16550A at 24 MHz on a slow bus", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true, slowBus);
    row("simulated 16550A in instant timing", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true,
        clocked(uart::kClockHz, true));
    // Only a chip without FIFOs is told by its scratch register.
    row("simulated 16550A whose scratch bit 7 is stuck", Chip::U16550A, running,
        "3F8: 16550A（FIFO 16 バイト、スクラッチレジスタあり）", true,
        {false, false, 0x00, 0x50, Uart16550::ScratchBit7Stuck});
}

void TestProbe::identify() {
    QFETCH(Chip, chip);
    QFETCH(State, initial);
    QFETCH(bool, simulated);
    QFETCH(QString, verdict);
    QFETCH(Quirks, quirks);

    Rig rig(chip, initial, simulated, quirks);
    const State before = rig.library->snapshot();
    QCOMPARE(rig.identify(kTraced), 0);
    QCOMPARE(rig.stdOut(), verdict + u'\n');
    QVERIFY2(rig.library->snapshot() == before, qPrintable(describe(rig.library->snapshot())));
    QVERIFY(!rig.library->rbrRead);
    QVERIFY2(rig.library->accesses <= cli::kMostProbeAccesses,
             qPrintable(QString::number(rig.library->accesses)));
    if (QByteArray(QTest::currentDataTag()).endsWith("the longest probe"))
        QCOMPARE(rig.library->accesses, cli::kMostProbeAccesses);
    // Every access is in the trace, as a script line, and nothing else is.
    static const QRegularExpression line(
        QStringLiteral("^(W 3F[8-F] [0-9A-F]{2}|R 3F[8-F] = [0-9A-F]{2})$"));
    const QStringList lines = rig.stdErr().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rig.library->accesses);
    for (const QString& traced : lines)
        QVERIFY2(line.match(traced).hasMatch(), qPrintable(traced));
    if (chip == Chip::None)
        QVERIFY2(rig.library->accesses <= 10, qPrintable(rig.stdErr()));

    // The probe alone leaves LCR without DLAB and IER at 00, whatever it found: a self-test
    // goes on from there.
    Rig probed(chip, initial, simulated, quirks);
    cli::UartSession session(*probed.library, ChipLibrary::kBase, probed.console, probed.pacing);
    QVERIFY(cli::probeChip(session).chip.has_value());
    const State left = probed.library->snapshot();
    QVERIFY2(!(left.lcr & 0x80) && (chip == Chip::None || left.ier == 0x00),
             qPrintable(describe(left)));

    if (simulated && chip != Chip::None)
        checkMeasured(chip, initial, quirks);
}

// A failed access at any point: the probe stops there, puts back what it changed, and says
// so. A failure among the closing writes may leave registers changed; the person is told.
void TestProbe::failedAccessStillRestores() {
    QFETCH(Chip, chip);
    QFETCH(State, initial);
    QFETCH(bool, simulated);
    QFETCH(Quirks, quirks);

    Rig clean(chip, initial, simulated, quirks);
    QCOMPARE(clean.identify(kTraced), 0);
    const QStringList trace = clean.stdErr().split(u'\n', Qt::SkipEmptyParts);
    const auto lastRead = std::distance(
        trace.begin(), std::find_if(trace.rbegin(), trace.rend(), [](const QString& l) {
                           return l.startsWith(u'R');
                       }).base());
    for (int failAt = 1; failAt <= clean.library->accesses; ++failAt) {
        Rig rig(chip, initial, simulated, quirks);
        const State before = rig.library->snapshot();
        rig.library->failAt = failAt;
        const int status = rig.identify(kTraced);
        QVERIFY(rig.stdErr().contains(QStringLiteral("ポートが応答しません")));
        QCOMPARE(rig.stdOut(), QString());
        const bool told = rig.stdErr().contains(QStringLiteral("元に戻せなかった可能性があります"));
        // Registers that may be left changed have a status of their own.
        QCOMPARE(status, told ? cli::kExitNotRestored : 1);
        QVERIFY2(rig.library->snapshot() == before || (failAt > lastRead && told),
                 qPrintable(QStringLiteral("failing access %1: %2")
                                .arg(failAt)
                                .arg(describe(rig.library->snapshot()))));
    }
}

// A stop request before any access: the probe makes no more, restores, and answers 128+N,
// also when the request came while it was restoring.
void TestProbe::stopRequestStillRestores() {
    QFETCH(Chip, chip);
    QFETCH(State, initial);
    QFETCH(bool, simulated);
    QFETCH(Quirks, quirks);

    Rig clean(chip, initial, simulated, quirks);
    QCOMPARE(clean.identify(kTraced), 0);
    for (int stopAt = 2; stopAt <= clean.library->accesses; ++stopAt) {
        Rig rig(chip, initial, simulated, quirks);
        const State before = rig.library->snapshot();
        rig.library->stopAt = stopAt;
        QCOMPARE(rig.identify(kTraced), 128 + SIGTERM);
        QVERIFY2(rig.library->snapshot() == before,
                 qPrintable(QStringLiteral("stop before access %1: %2")
                                .arg(stopAt)
                                .arg(describe(rig.library->snapshot()))));
        QVERIFY(rig.stdErr().contains(QStringLiteral("中断の要求（シグナル 15）")));
    }
}

// A port the kernel registered is probed after a warning naming its tty; its console only
// with --force.
void TestProbe::kernelPorts_data() {
    QTest::addColumn<QString>("tty");
    QTest::addColumn<bool>("console");
    QTest::addColumn<bool>("force");
    QTest::addColumn<bool>("selftest");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("sysfs");        // the kernel's view read from a sysfs tree, not faked
    QTest::addColumn<uint32_t>("clockHz");  // the simulated UART's; the kernel assumes 1.8432 MHz
    QTest::addColumn<QString>("output");    // in what identify prints

    QTest::newRow("a registered tty") << "ttyS0" << false << false << false << 0
                                      << "警告: ポート0x3F8の UART はカーネルが「ttyS0」として"
                                      << false << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("the console") << "ttyS0" << true << false << false << 2
                                 << "カーネルのコンソール「ttyS0」のため、触れませんでした。"
                                 << false << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("the console, forced")
        << "ttyS0" << true << true << false << 0
        << "警告: ポート0x3F8の UART はカーネルのコンソール「ttyS0」です。" << false
        << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("selftest on the console")
        << "ttyS0" << true << false << true << 2 << "のため、触れませんでした。" << false
        << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("a tty name with an escape is quoted")
        << "tty\x1b[2J" << false << false << false << 0 << "「tty\\x1B[2J」" << false
        << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("the console in sysfs")
        << "ttyS0" << true << false << false << 2
        << "カーネルのコンソール「ttyS0」のため、触れませんでした。" << true
        << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("selftest on the console in sysfs")
        << "ttyS0" << true << false << true << 2 << "のため、触れませんでした。" << true
        << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("selftest on the console in sysfs, forced")
        << "ttyS0" << true << true << true << 0
        << "警告: ポート0x3F8の UART はカーネルのコンソール「ttyS0」です。" << true
        << uint32_t{uart::kClockHz} << QString();
    QTest::newRow("a tty in sysfs that is not the console")
        << "ttyS0" << false << false << true << 0
        << "警告: ポート0x3F8の UART はカーネルが「ttyS0」として" << true
        << uint32_t{uart::kClockHz} << QString();
    // The kernel sets every rate for the clock it assumes: a UART on a faster one runs them
    // all that many times faster.
    QTest::newRow("a UART at 14.7456 MHz the kernel takes for 1.8432 MHz")
        << "ttyS0" << false << false << false << 0 << "警告: ポート0x3F8の UART はカーネルが"
        << true << uint32_t{14'745'600}
        << "カーネルはこの UART の入力クロックを 1.8432 MHz とみなしていますが、この UART は "
           "14.7456 MHz で動いています。カーネルが設定する通信速度はどれも 8 倍になります。";
    QTest::newRow("a UART at the clock the kernel assumes")
        << "ttyS0" << false << false << false << 0 << "警告: ポート0x3F8の UART はカーネルが"
        << true << uint32_t{uart::kClockHz} << "入力クロック: 1.8432 MHz（測定 1.8432 MHz";
}

void TestProbe::kernelPorts() {
    QFETCH(QString, tty);
    QFETCH(bool, console);
    QFETCH(bool, force);
    QFETCH(bool, selftest);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(bool, sysfs);
    QFETCH(uint32_t, clockHz);
    QFETCH(QString, output);

    Quirks quirks;
    quirks.clockHz = clockHz;
    Rig rig(Chip::U16550A, {}, true, quirks);
    rig.owners.tty = tty.toStdString();
    rig.owners.console = console;
    const SysfsTree tree(
        {tty + QStringLiteral(" type=4 io_type=0 port=0x3F8 irq=4 uartclk=1843200")},
        console ? QStringLiteral("tty0 ") + tty : QString());
    QVERIFY(tree.ok());
    cli::KernelPortOwners kernel(tree.root().toStdString());
    cli::PortOwners& owners = sysfs ? static_cast<cli::PortOwners&>(kernel) : rig.owners;
    if (selftest) {
        QCOMPARE(cli::selfTest(*rig.library, owners, ofBase(false, false, force), rig.console,
                               rig.pacing),
                 status);
    } else {
        cli::ProbeOptions options = ofBase(false, false, force);
        options.measure = true;
        QCOMPARE(cli::identifyPorts(*rig.library, owners, options, rig.console, rig.pacing),
                 status);
    }
    QVERIFY2(rig.stdErr().contains(error), qPrintable(rig.stdErr()));
    QVERIFY2(rig.stdOut().contains(output), qPrintable(rig.stdOut()));
    QCOMPARE(rig.stdOut().contains(QStringLiteral("カーネルはこの UART")),
             clockHz != uart::kClockHz);
    QCOMPARE(rig.library->accesses == 0, status == 2);
}

// --json is valid JSON that jq reads, with a strange tty name in it, and every field.
void TestProbe::jsonReadsInJq() {
    if (std::system("command -v jq >/dev/null 2>&1") != 0)
        QSKIP("jq is not installed (Debian package jq)");
    Rig rig(Chip::XR16C850, {}, false);
    rig.owners.tty = "tty\"S\\0\n";
    cli::ProbeOptions options;
    options.bases = cli::defaultBases({});
    options.explain = options.json = true;
    QCOMPARE(rig.identify(options), 0);
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("out.json")).toStdString();
    std::ofstream(path) << rig.out.str();
    const std::string filter =
        "length == 4 and .[0].port == \"3F8\" and .[0].type == \"XR16C850\" and "
        ".[0].fifo_size == 128 and .[0].scratch == true and "
        ".[0].kernel_tty == \"tty\\\"S\\\\\\\\0\\\\x0A\" and "
        "(.[0].evidence | map(.test)) == [\"ier\", \"efr\", \"xr-dvid\"] and "
        ".[0].clock_hz == null and .[0].fifo_measured == 0 and "
        ".[1] == {port: \"2F8\", type: \"none\", fifo_size: 0, scratch: false, kernel_tty: null,"
        " evidence: [{test: \"ier\", accesses: [\"W 2F9 00\", \"W 2FF FF\", \"R 2F9 = FF\"]}],"
        " clock_hz: null, clock_nominal_hz: null, clock_tolerance: null,"
        " clock_note: \"UART が応答しません\", kernel_uartclk: null, fifo_measured: null,"
        " rx_trigger_levels: null, fifo_modes: []}";
    const std::string command = "jq -e '" + filter + "' " + path + " >/dev/null";
    QVERIFY2(std::system(command.c_str()) == 0, rig.out.str().c_str());
}

// The self-test on the simulated chips (some alone on a machine's bus) under virtual line time:
// which checks pass, fail and are skipped, the status, and COM1's registers as before. A
// fault makes the chip misbehave where the check that exists to catch it looks:
//   timeout-at-level  IIR shows a character timeout (CC) where it would show C4
//   restore-fails     the last write of the restore fails
//   ier-bit0-follows  IER bit 0 reads set when bit 1 was set (two data lines shorted)
void TestProbe::selftest_data() {
    QTest::addColumn<Chip>("chip");
    QTest::addColumn<bool>("simulated");
    QTest::addColumn<QString>("mode");  // "", "plug" or a peer base
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("failed");
    QTest::addColumn<QStringList>("skipped");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<State>("initial");

    const QStringList none;
    const Chip sim = Chip::U16550A;
    const State running{0x03, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0, 0, true, false};
    const QStringList loopChecks{
        "presence",     "scratch",      "lcr",           "divisor",   "ier",         "loop-dtr-dsr",
        "loop-rts-cts", "loop-out1-ri", "loop-out2-dcd", "data-9600", "data-115200", "thre-temt",
        "fifo-burst",   "fifo-overrun", "trigger-1",     "trigger-4", "trigger-8",   "trigger-14"};
    const QStringList triggers{"trigger-1", "trigger-4", "trigger-8", "trigger-14"};
    const auto row = [&](const char* name, Chip chip, bool simulated, const QString& mode,
                         int status, const QStringList& failed, const QStringList& skipped,
                         const QString& fault = {}, const State* initial = nullptr) {
        QTest::newRow(name) << chip << simulated << mode << status << failed << skipped << fault
                            << (initial                           ? *initial
                                : simulated && chip != Chip::None ? running
                                                                  : State{});
    };
    row("internal loopback", sim, true, "", 0, none, none);
    // The rates set for the UART's own clock, measured first, and the person told.
    row("internal loopback at 14.7456 MHz, measured", sim, true, "", 0, none, none,
        "clock 14745600");
    // Where transfers complete at once no character is ever seen in the transmitter.
    row("internal loopback, transfers at once: 1.8432 MHz assumed", sim, true, "", 1, {"thre-temt"},
        none, "clock instant");
    row("a plug that is not there", sim, true, "plug", 1,
        QStringList{"plug-rts", "plug-dtr", "data-9600", "data-115200", "fifo-burst",
                    "fifo-overrun"} +
            triggers,
        none);
    row("COM1 to COM2 over the null-modem cable", sim, true, "2F8", 0, none, none);
    row("COM1 to COM3: no cable", sim, true, "3E8", 1,
        QStringList{"data-9600-3F8-3E8", "data-9600-3E8-3F8", "data-115200-3F8-3E8",
                    "data-115200-3E8-3F8", "rts-cts-3F8-3E8", "dtr-dsr-dcd-3F8-3E8",
                    "rts-cts-3E8-3F8", "dtr-dsr-dcd-3E8-3F8"},
        none);
    // Where nothing answers, TAP's plan still names every check, the rest skipped.
    row("an empty bus fails at once", Chip::None, false, "", 1, {"presence"}, loopChecks.mid(1));
    row("a floating bus fails at once", Chip::None, false, "", 1, {"presence"}, loopChecks.mid(1),
        "floating");
    row("an empty second port", sim, false, "2F8", 1, {"presence-2F8"},
        QStringList{"data-9600-3F8-2F8", "data-9600-2F8-3F8", "data-115200-3F8-2F8",
                    "data-115200-2F8-3F8", "rts-cts-3F8-2F8", "dtr-dsr-dcd-3F8-2F8",
                    "rts-cts-2F8-3F8", "dtr-dsr-dcd-2F8-3F8"});
    // Checks a chip cannot support are skipped, never failed.
    const QStringList fifoChecks = QStringList{"fifo-burst", "fifo-overrun"} + triggers;
    row("a 16750", Chip::U16750, true, "", 0, none, none);
    const State fifo64{0x03, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0, 0, true, true};
    row("a 16750 left in its 64-byte mode", Chip::U16750, true, "", 0, none, none, {}, &fifo64);
    // The 16650's trigger levels are its own; the 16C950 answers as a 16550A in its 550 mode.
    row("a 16650", Chip::U16650, true, "", 0, none, triggers);
    row("a 16C950", Chip::OX16C950, true, "", 0, none, none);
    row("a 16C950 over the cable to a 16550A", Chip::OX16C950, true, "2F8", 0, none, none);
    row("a 16550, whose FIFO must not be used", Chip::U16550, true, "", 0, none, fifoChecks);
    row("a 16450, without FIFO", Chip::U16450, true, "", 0, none, fifoChecks);
    row("an 8250, without FIFO or scratch register", Chip::U8250, true, "", 0, none,
        QStringList{"scratch"} + fifoChecks);
    row("a simulated empty port", Chip::None, true, "", 1, {"presence"}, loopChecks.mid(1));
    row("a simulated floating port", Chip::None, true, "", 1, {"presence"}, loopChecks.mid(1),
        "floating");
    // A chip that misbehaves fails the check that exists to catch it, and only that one (or
    // those that also read what it spoils).
    row("temt-stuck", sim, true, "", 1, {"thre-temt"}, none, "temt-stuck");
    row("fifo-short", sim, true, "", 1, {"fifo-burst", "fifo-overrun"}, none, "fifo-short");
    row("dsr-open", sim, true, "", 1, {"loop-dtr-dsr"}, none, "dsr-open");
    row("data-bit3-stuck", sim, true, "", 1, {"data-9600", "data-115200", "fifo-burst"}, none,
        "data-bit3-stuck");
    row("scratch-bit7-stuck", sim, true, "", 1, {"scratch"}, none, "scratch-bit7-stuck");
    row("no-interrupt", sim, true, "", 1, triggers, none, "no-interrupt");
    row("a timeout at the trigger level", sim, true, "", 1, triggers, none, "timeout-at-level");
    row("IER bit 0 following bit 1", sim, true, "", 1, {"ier"}, none, "ier-bit0-follows");
    row("a failed restore", sim, true, "", cli::kExitNotRestored, none, none, "restore-fails");
}

void TestProbe::selftest() {
    QFETCH(Chip, chip);
    QFETCH(bool, simulated);
    QFETCH(QString, mode);
    QFETCH(int, status);
    QFETCH(QStringList, failed);
    QFETCH(QStringList, skipped);
    QFETCH(QString, fault);
    QFETCH(State, initial);

    cli::ProbeOptions options = ofBase(true);
    if (mode == QLatin1String("plug"))
        options.plug = &cli::kDefaultPlug;
    else if (!mode.isEmpty())
        options.peer = mode.toInt(nullptr, 16);
    Quirks quirks;
    quirks.floating = fault == QLatin1String("floating");
    const bool clocked = fault.startsWith(QLatin1String("clock "));
    if (clocked) {
        options.measure = true;
        quirks.instant = fault.endsWith(QLatin1String("instant"));
        quirks.clockHz = quirks.instant ? uart::kClockHz : fault.mid(6).toUInt();
    }
    for (const auto& [bit, name] : Uart16550::kFaultNames) {
        if (fault == QLatin1String(name.data(), static_cast<qsizetype>(name.size())))
            quirks.faults = bit;
    }
    const auto makeRig = [&] { return std::make_unique<Rig>(chip, initial, simulated, quirks); };
    std::unique_ptr<Rig> rig = makeRig();
    if (fault == QLatin1String("timeout-at-level")) {
        rig->library->readFilter = [](uint16_t port, uint8_t value) -> uint8_t {
            return port == ChipLibrary::kBase + 2 && value == 0xC4 ? 0xCC : value;
        };
    } else if (fault == QLatin1String("ier-bit0-follows")) {
        auto& sim = static_cast<SimChips&>(*rig->library);
        rig->library->readFilter = [&sim](uint16_t port, uint8_t value) -> uint8_t {
            const bool dlab = (sim.bus.uart(0)->peek(3) & 0x80) != 0;
            return port == ChipLibrary::kBase + 1 && !dlab ? uint8_t(value | (value >> 1 & 1))
                                                           : value;
        };
    } else if (fault == QLatin1String("restore-fails")) {
        std::unique_ptr<Rig> clean = makeRig();
        QCOMPARE(clean->selftest(options), 0);
        rig->library->failAt = clean->library->accesses;
    }
    const State before = rig->library->snapshot();
    QCOMPARE(rig->selftest(options), status);
    if (clocked) {
        const QString told = quirks.instant
                                 ? QStringLiteral("# 入力クロックを測れなかったため（")
                                 : QStringLiteral("# 入力クロックは 14.7456 MHz（測定 14.7");
        QVERIFY2(rig->stdOut().contains(told), qPrintable(rig->stdOut()));
    }

    QStringList seenFailed, seenSkipped;
    for (const auto& [name, verdict] : tapPoints(rig->stdOut())) {
        if (verdict == QLatin1String("not ok"))
            seenFailed << name;
        else if (verdict == QLatin1String("skip"))
            seenSkipped << name;
    }
    QCOMPARE(seenFailed, failed);
    QCOMPARE(seenSkipped, skipped);
    if (status != cli::kExitNotRestored) {
        QVERIFY2(rig->library->snapshot() == before,
                 qPrintable(describe(rig->library->snapshot())));
        QVERIFY2(
            QRegularExpression(QStringLiteral("\n1\\.\\.[0-9]+\n# 合格 [0-9]+、不合格 [0-9]+、省略 "
                                              "[0-9]+（[0-9]+\\.[0-9]{3} 秒）\n$"))
                .match(rig->stdOut())
                .hasMatch(),
            qPrintable(rig->stdOut()));
    } else {
        QVERIFY2(rig->stdOut().endsWith(
                     QStringLiteral("\nBail out! レジスタを元に戻せなかった可能性があります\n")),
                 qPrintable(rig->stdOut()));
    }
    // Test points numbered 1, 2, 3 ... and a plan that counts them all.
    static const QRegularExpression number(QStringLiteral("^(?:ok|not ok) ([0-9]+) - "),
                                           QRegularExpression::MultilineOption);
    int points = 0;
    for (auto it = number.globalMatch(rig->stdOut()); it.hasNext();)
        QCOMPARE(it.next().captured(1).toInt(), ++points);
    if (status != cli::kExitNotRestored)
        QVERIFY(rig->stdOut().contains(QStringLiteral("\n1..%1\n").arg(points)));
    // The simulator says why a plug or a missing cable cannot pass there.
    QCOMPARE(rig->stdOut().contains(QStringLiteral("# シミュレーター")),
             simulated && (mode == QLatin1String("plug") || mode == QLatin1String("3E8")));
    if (chip == Chip::None)
        QVERIFY2(rig->library->accesses <= 10, qPrintable(QString::number(rig->library->accesses)));
}

// Ctrl-C in the middle of a self-test: the run ends there, TAP bails out, and COM1 is as it was.
// The stops come early, in the middle and near the end of the run.
void TestProbe::selftestStopRestores() {
    const State running{0x03, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0, 0, true, false};
    Rig clean(Chip::U16550A, running, true);
    QCOMPARE(clean.selftest(ofBase(true)), 0);
    for (const int stopAt : {20, 100, 400, clean.library->accesses - 20}) {
        Rig rig(Chip::U16550A, running, true);
        const State before = rig.library->snapshot();
        rig.library->stopAt = stopAt;
        QCOMPARE(rig.selftest(ofBase(true)), 128 + SIGTERM);
        QVERIFY2(rig.library->snapshot() == before, qPrintable(describe(rig.library->snapshot())));
        QVERIFY2(rig.stdOut().contains(QStringLiteral("\nBail out! ")), qPrintable(rig.stdOut()));
    }
}

// A failed access, or a stop request, at any point of a self-test: the checks end there and
// read nothing more (the restore only writes) but what a register sequence under way reads
// (the library runs it whole), TAP bails out, the status says why, and COM1
// is as it was unless the person is told otherwise.
void TestProbe::selftestEndsAtAFailedAccess_data() {
    QTest::addColumn<QString>("mode");  // "", "plug" or a peer base
    QTest::newRow("internal loopback") << "";
    QTest::newRow("a plug") << "plug";
    QTest::newRow("COM1 to COM2") << "2F8";
}

void TestProbe::selftestEndsAtAFailedAccess() {
    QFETCH(QString, mode);

    const State running{0x03, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0, 0, true, false};
    cli::ProbeOptions options = ofBase(true);
    if (mode == QLatin1String("plug"))
        options.plug = &cli::kDefaultPlug;
    else if (!mode.isEmpty())
        options.peer = mode.toInt(nullptr, 16);
    Rig clean(Chip::U16550A, running, true);
    clean.selftest(options);
    for (int at = 2; at <= clean.library->accesses; ++at) {
        for (const bool stop : {false, true}) {
            Rig rig(Chip::U16550A, running, true);
            const State before = rig.library->snapshot();
            (stop ? rig.library->stopAt : rig.library->failAt) = at;
            int lateReads = 0;
            rig.library->readFilter = [&rig, &lateReads, at](uint16_t, uint8_t value) {
                const int from = rig.library->sequenceFrom;
                lateReads += rig.library->accesses >= at && !(from > 0 && from < at) ? 1 : 0;
                return value;
            };
            const int status = rig.selftest(options);
            const QString where = QStringLiteral("%1 at access %2:\n%3")
                                      .arg(stop ? "a stop" : "a failure")
                                      .arg(at)
                                      .arg(rig.stdOut());
            const bool told =
                rig.stdErr().contains(QStringLiteral("元に戻せなかった可能性があります"));
            QVERIFY2(status == (told   ? cli::kExitNotRestored
                                : stop ? 128 + SIGTERM
                                       : 1),
                     qPrintable(where));
            QVERIFY2(lateReads == 0, qPrintable(where));
            QVERIFY2(rig.stdOut().contains(QStringLiteral("\nBail out! ")), qPrintable(where));
            QVERIFY2(told || rig.library->snapshot() == before, qPrintable(where));
        }
    }
}

// The machine may pause the program between any two accesses (a preemption lasts
// milliseconds): a healthy chip still passes every check, the timed ones made again and
// saying so. The pause comes before the Nth access, for every N of a clean run, or before
// every access of a machine that pauses the program all the time: then a timed check slows
// its rate until the pauses do not matter, or has no verdict, but never fails the chip.
void TestProbe::selftestSurvivesPauses_data() {
    QTest::addColumn<Chip>("chip");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("pauseUs");
    QTest::addColumn<bool>("stickyTimeout");  // a timeout stays until RBR is read, as on a chip
    QTest::addColumn<bool>("always");         // the pause comes before every access

    // Four character times at 9600 bps are 4.2 ms; one at 1200 bps 8.3 ms.
    QTest::newRow("16550A, 5 ms") << Chip::U16550A << "" << 5000 << false << false;
    QTest::newRow("16550A, 40 ms") << Chip::U16550A << "" << 40000 << false << false;
    QTest::newRow("16550A whose timeout stays, 5 ms")
        << Chip::U16550A << "" << 5000 << true << false;
    QTest::newRow("16550A whose timeout stays, 40 ms")
        << Chip::U16550A << "" << 40000 << true << false;
    QTest::newRow("16750 whose timeout stays, 5 ms") << Chip::U16750 << "" << 5000 << true << false;
    QTest::newRow("16450, 40 ms") << Chip::U16450 << "" << 40000 << false << false;
    QTest::newRow("COM1 to COM2, 5 ms") << Chip::U16550A << "2F8" << 5000 << false << false;
    QTest::newRow("16550A whose timeout stays, 5 ms before every access")
        << Chip::U16550A << "" << 5000 << true << true;
    QTest::newRow("16550A whose timeout stays, 200 ms before every access")
        << Chip::U16550A << "" << 200000 << true << true;
}

namespace {

// IIR as a chip gives it where a character timeout, once raised, stays until RBR is read.
void keepTimeouts(ChipLibrary& library) {
    auto& sim = static_cast<SimChips&>(library);
    library.readFilter = [&sim, pending = false](uint16_t port, uint8_t value) mutable {
        const bool dlab = (sim.bus.uart(0)->peek(3) & 0x80) != 0;
        if (port == ChipLibrary::kBase && !dlab)
            pending = false;
        if (port != ChipLibrary::kBase + 2 || dlab)
            return value;
        if ((value & 0x0F) == 0x0C)
            pending = true;
        const bool shown = (value & 0x0F) == 0x01 || (value & 0x0F) == 0x04;
        return pending && shown ? static_cast<uint8_t>((value & 0xF0) | 0x0C) : value;
    };
}

}  // namespace

void TestProbe::selftestSurvivesPauses() {
    QFETCH(Chip, chip);
    QFETCH(QString, mode);
    QFETCH(int, pauseUs);
    QFETCH(bool, stickyTimeout);
    QFETCH(bool, always);

    const State running{0x03, 0x0B, 0x05, 0x0C, 0x00, 0x42, 0, 0, true, false};
    cli::ProbeOptions options = ofBase(true);
    if (!mode.isEmpty())
        options.peer = mode.toInt(nullptr, 16);
    Rig clean(chip, running, true);
    QCOMPARE(clean.selftest(options), 0);
    // The divisors of the later attempts: thre-temt's 180, 600, 1800; the trigger checks'
    // 30, C0, 300.
    static const QRegularExpression laterAttempt(
        QStringLiteral("W 3FB 80\nW 3F8 (80\nW 3F9 01|00\nW 3F9 06|00\nW 3F9 18|30\nW 3F9 "
                       "00|C0\nW 3F9 00|00\nW 3F9 03)\n"));
    int retried = 0;
    for (int pauseAt = always ? -1 : 1; pauseAt <= clean.library->accesses && pauseAt != 0;
         pauseAt = always ? 0 : pauseAt + 1) {
        Rig rig(chip, running, true);
        rig.library->pauseAt = pauseAt;
        rig.library->pause = std::chrono::microseconds(pauseUs);
        if (stickyTimeout)
            keepTimeouts(*rig.library);
        cli::ProbeOptions traced = options;
        traced.trace = true;
        const int status = rig.selftest(traced);
        QVERIFY2(
            status == 0,
            qPrintable(
                QStringLiteral("a pause before access %1:\n%2").arg(pauseAt).arg(rig.stdOut())));
        // A timed check says it was made again exactly when it was: the trace sets a rate
        // only a timed check's later attempt uses.
        const bool said =
            rig.stdOut().contains(QStringLiteral("止まったため、やり直しました")) ||
            rig.stdOut().contains(QStringLiteral("時間どおりに確かめられませんでした"));
        QVERIFY2(
            said == laterAttempt.match(rig.stdErr()).hasMatch(),
            qPrintable(
                QStringLiteral("a pause before access %1:\n%2").arg(pauseAt).arg(rig.stdOut())));
        retried += said ? 1 : 0;
    }
    // Some pauses came where a check depends on time, and it said so.
    QVERIFY(retried > 0 || options.peer);
}

// identify's bases: each once, in the order first named, and not more than it may probe in
// one run, refused before any is touched. The reach has 300 windows besides the COM ones.
void TestProbe::probeOperands_data() {
    QTest::addColumn<QStringList>("operands");
    QTest::addColumn<int>("bases");  // how many are kept
    QTest::addColumn<QString>("error");

    QStringList many;
    for (int i = 0; i < 300; ++i)
        many << QString::number(0x1000 + 8 * i, 16);
    QStringList repeated;
    for (int i = 0; i < 170000; ++i)
        repeated << QStringLiteral("3F8") << QStringLiteral("2F8");
    QTest::newRow("3F8 2F8 3F8 3F8") << QStringList{"3F8", "2F8", "3F8", "3F8"} << 2 << "";
    QTest::newRow("340000 names of two bases") << repeated << 2 << "";
    QTest::newRow("256 bases") << many.mid(0, 256) << 256 << "";
    QTest::newRow("257 bases") << many.mid(0, 257) << 0
                               << "調べるポートが多すぎます（一度に調べられるのは 256 個までです）";
    QTest::newRow("256 bases, each named twice")
        << many.mid(0, 256) + many.mid(0, 256) << 256 << "";
}

void TestProbe::probeOperands() {
    QFETCH(QStringList, operands);
    QFETCH(int, bases);
    QFETCH(QString, error);

    cli::Reach reach;
    for (int i = 0; i < 300; ++i)
        reach.otherWindows.push_back(static_cast<uint16_t>(0x1000 + 8 * i));
    std::vector<std::string> texts;
    for (const QString& operand : operands)
        texts.push_back(operand.toStdString());
    cli::ProbeOptions options;
    const std::string why = cli::takeProbeOperands(false, texts, options, reach);
    const std::vector<int32_t>& taken = options.bases;
    QCOMPARE(QString::fromStdString(why), error);
    if (error.isEmpty()) {
        QCOMPARE(static_cast<int>(taken.size()), bases);
        QCOMPARE(taken.front(), operands.front().toInt(nullptr, 16));
    }
}

QTEST_APPLESS_MAIN(TestProbe)
#include "tst_probe.moc"
