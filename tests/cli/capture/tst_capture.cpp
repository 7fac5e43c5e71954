// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sstream>

#include "cli/base/console.h"
#include "cli/base/portowners.h"
#include "cli/base/stoppableclock.h"
#include "cli/capture/capture.h"
#include "cli/capture/timeline.h"
#include "cli/capture/waveforms.h"
#include "cli/script/scriptfile.h"
#include "portio/sim/uartbus.h"
#include "tests/fakes/fakeportlibrary.h"

namespace {

// No kernel: the simulated UARTs belong to nobody.
cli::NoPortOwners noOwners;

using std::chrono::microseconds;
using std::chrono::nanoseconds;

// The simulated UARTs on a virtual clock: each access takes one microsecond, in sequences as
// alone, and nothing else moves the clock but the pacing's waits. Every write is kept with its
// time; Ctrl-C comes once the clock reaches stopAt.
struct SimRig final : PortLibrary {
    static constexpr nanoseconds kAccess = microseconds(1);

    struct Write {
        int64_t ns;
        int32_t port;
        uint8_t value;
    };

    VirtualClock clock;
    UartBus bus{clock};
    std::vector<Write> writes;
    nanoseconds stopAt = nanoseconds::max();

    PortCall start() override { return {true, 0, {}}; }
    PortCall stop() override { return {true, 0, {}}; }
    PortCall inpB(int16_t port) override {
        clock.advance(kAccess);
        return {true, bus.read(static_cast<uint16_t>(port)), {}};
    }
    PortCall outB(int16_t port, int16_t data) override {
        clock.advance(kAccess);
        writes.push_back({clock.now().count(), port, static_cast<uint8_t>(data)});
        bus.write(static_cast<uint16_t>(port), static_cast<uint16_t>(data));
        return {true, 0, {}};
    }
    // As the simulated library runs one: on the UARTs' own clock.
    PortCall sequence(std::span<const IOSCM_Step> steps,
                      std::span<IOSCM_StepResult> results) override {
        struct Io {
            SimRig& rig;
            std::optional<uint8_t> read(int16_t port) {
                return static_cast<uint8_t>(rig.inpB(port).value);
            }
            bool write(int16_t port, uint8_t data) { return !rig.outB(port, data).failed(); }
            int64_t now() { return rig.clock.now().count(); }
            void waitUntil(int64_t ns) { rig.clock.advance(nanoseconds(ns) - rig.clock.now()); }
        } io{*this};
        PortCall call{true, 0, {}};
        call.value = sequencerunner::run(steps, results, io);
        return call;
    }
};

struct SimStoppableClock final : cli::StoppableClock {
    explicit SimStoppableClock(SimRig& rig) : m_rig(rig) {}
    nanoseconds now() override { return m_rig.clock.now(); }
    bool wait(nanoseconds duration) override {
        if (stopSignal() != 0)
            return false;
        m_rig.clock.advance(std::min(duration, m_rig.stopAt - m_rig.clock.now()));
        return stopSignal() == 0;
    }
    int stopSignal() override { return m_rig.clock.now() >= m_rig.stopAt ? SIGINT : 0; }

private:
    SimRig& m_rig;
};

cli::Script scriptOf(const QByteArray& text) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("script.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write the script");
    file.close();
    return cli::readScript(path.toStdString(), "script.txt");
}

struct Captured {
    int status = 0;
    std::string out, err;
};

Captured capture(SimRig& rig, cli::CaptureOptions options, const QByteArray& script) {
    std::ostringstream out, err;
    cli::Console console{out, err, "regwise-io-test"};
    SimStoppableClock pacing(rig);
    const cli::Script parsed = scriptOf(script);
    Captured result;
    result.status = cli::captureLines(rig, noOwners, options, script.isEmpty() ? nullptr : &parsed,
                                      console, pacing);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// "CTS 1 @0" for each edge: its line, level and the index of the script's write it follows
// (the writes to other ports than MCR and LCR do not count), "latched" when only a change bit
// showed it.
QStringList changesOf(const std::string& list) {
    QStringList changes;
    for (const QString& line : QString::fromStdString(list).split(QLatin1Char('\n'))) {
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')) &&
            !line.startsWith(QStringLiteral("0.000 ")))
            changes << line;
    }
    return changes;
}

// Runs a program with standard output and error to files (plain posix_spawn: QProcess trips
// valgrind, which runs this test too); its exit status, or -1 when it did not run or end.
int spawned(const QStringList& args, const QString& out, const QString& err) {
    std::vector<std::string> words;
    for (const QString& arg : args)
        words.push_back(arg.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string outPath = out.toStdString(), errPath = err.toStdString();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    if (failed != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestCapture : public QObject {
    Q_OBJECT

private slots:
    void timeline_data();
    void timeline();
    void peerLines_data();
    void peerLines();
    void endsRestored_data();
    void endsRestored();
    void refusedUntouched_data();
    void refusedUntouched();
    void readersAgree();
};

// Samples as (ns, MSR, LSR) in turn, and the edges the timeline draws from them.
void TestCapture::timeline_data() {
    QTest::addColumn<bool>("lsr");
    QTest::addColumn<QList<QList<int>>>("samples");
    QTest::addColumn<QStringList>("edges");  // "NS LINE LEVEL [latched]"

    QTest::newRow("a line that changes and stays")
        << false << QList<QList<int>>{{0, 0x00, 0}, {10, 0x11, 0}, {20, 0x10, 0}}
        << QStringList{"10 CTS 1"};
    QTest::newRow("a change bit with the line as before is a pulse of one sample")
        << false << QList<QList<int>>{{0, 0x00, 0}, {10, 0x00, 0}, {20, 0x08, 0}}
        << QStringList{"10 DCD 1 latched", "20 DCD 0 latched"};
    QTest::newRow("a pulse low of a line that is high")
        << false << QList<QList<int>>{{0, 0x20, 0}, {10, 0x22, 0}}
        << QStringList{"0 DSR 0 latched", "10 DSR 1 latched"};
    QTest::newRow("change bits in the first sample are from before the capture")
        << false << QList<QList<int>>{{0, 0x0F, 0}, {10, 0x00, 0}} << QStringList{};
    QTest::newRow("a pulse right after an edge of the same line starts after it")
        << false << QList<QList<int>>{{0, 0x00, 0}, {10, 0x11, 0}, {11, 0x11, 0}}
        << QStringList{"10 CTS 1", "11 CTS 0 latched", "12 CTS 1 latched"};
    QTest::newRow("TERI: RI came and went between two samples")
        << false << QList<QList<int>>{{0, 0x00, 0}, {5, 0x04, 0}}
        << QStringList{"0 RI 1 latched", "5 RI 0 latched"};
    QTest::newRow("an LSR error bit that one read showed and cleared")
        << true << QList<QList<int>>{{0, 0x00, 0x60}, {10, 0x00, 0x79}, {20, 0x00, 0x61}}
        << QStringList{"10 DR 1", "10 BI 1", "10 FE 1", "20 BI 0", "20 FE 0"};
    QTest::newRow("without --lsr the line status is not kept")
        << false << QList<QList<int>>{{0, 0x00, 0x60}, {10, 0x00, 0x61}} << QStringList{};
}

void TestCapture::timeline() {
    QFETCH(bool, lsr);
    QFETCH(QList<QList<int>>, samples);
    QFETCH(QStringList, edges);

    cli::Timeline timeline(lsr);
    for (const QList<int>& sample : samples) {
        QVERIFY(timeline.add(sample[0], static_cast<uint8_t>(sample[1]),
                             static_cast<uint8_t>(sample[2])));
    }
    QStringList drawn;
    for (const cli::Edge& edge : timeline.edges()) {
        drawn << QStringLiteral("%1 %2 %3%4")
                     .arg(edge.ns)
                     .arg(QString::fromLatin1(cli::kCapturedLines[edge.line].name.data(),
                                              cli::kCapturedLines[edge.line].name.size()))
                     .arg(edge.level ? 1 : 0)
                     .arg(edge.latched ? QStringLiteral(" latched") : QString());
    }
    drawn.sort();
    edges.sort();
    QCOMPARE(drawn, edges);
}

// A script on COM1 drives the modem control lines that the null-modem cable hands to COM2,
// whose capture must show each edge after the write that made it by no more than one sample
// and one access; each expected change names the write (from 0) it follows.
void TestCapture::peerLines_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("lsr");
    QTest::addColumn<QStringList>("changes");  // "LINE LEVEL WRITE [latched]"

    QTest::newRow("RTS and DTR toggled with SLEEPs")
        << QByteArray(
               "W 3FC 02\nSLEEP 5\nW 3FC 03\nSLEEP 5\nW 3FC 01\nSLEEP 5\nW 3FC 00\n"
               "SLEEP 5\n")
        << false << QStringList{"CTS 1 0", "DSR 1 1", "DCD 1 1", "CTS 0 2", "DSR 0 3", "DCD 0 3"};
    QTest::newRow("the same with the line status sampled too")
        << QByteArray(
               "W 3FC 02\nSLEEP 5\nW 3FC 03\nSLEEP 5\nW 3FC 01\nSLEEP 5\nW 3FC 00\n"
               "SLEEP 5\n")
        << true << QStringList{"CTS 1 0", "DSR 1 1", "DCD 1 1", "CTS 0 2", "DSR 0 3", "DCD 0 3"};
    QTest::newRow("RTS on and off between two samples is latched")
        << QByteArray("SLEEP 2\nW 3FC 02\nW 3FC 00\nSLEEP 2\n") << false
        << QStringList{"CTS 1 0 latched", "CTS 0 1 latched"};
    QTest::newRow("a pulse within WITHIN's pauses")
        << QByteArray("W 3FC 01\nR 2FE = B0 WITHIN 3\nW 3FC 00\nSLEEP 1\n") << false
        << QStringList{"DSR 1 0", "DCD 1 0", "DSR 0 1", "DCD 0 1"};
}

void TestCapture::peerLines() {
    QFETCH(QByteArray, script);
    QFETCH(bool, lsr);
    QFETCH(QStringList, changes);

    SimRig rig;
    cli::CaptureOptions options;
    options.base = 0x2F8;
    options.ms = 10;
    options.lsr = lsr;
    const Captured result = capture(rig, options, script);
    QVERIFY2(result.status == 0 || (script.contains("WITHIN") && result.status == 1),
             result.err.c_str());

    // The script's writes to COM1's MCR, in order.
    std::vector<int64_t> writes;
    for (const SimRig::Write& write : rig.writes) {
        if (write.port == 0x3FC)
            writes.push_back(write.ns);
    }
    const QStringList drawn = changesOf(result.out);
    QCOMPARE(drawn.size(), changes.size());
    // The first sample is at 0 on the list's clock: it came right after the session start.
    const int64_t origin = result.out.empty() ? 0 : 1000 * (lsr ? 2 : 1);
    const int64_t sample = (lsr ? 2 : 1) * SimRig::kAccess.count();
    for (const QString& expected : changes) {
        const QStringList want = expected.split(QLatin1Char(' '));
        const auto found = std::find_if(drawn.begin(), drawn.end(), [&](const QString& line) {
            const QStringList got = line.split(QLatin1Char(' '));
            return got[1] == want[0] && got[2] == want[1] && (got.size() > 3) == (want.size() > 3);
        });
        QVERIFY2(found != drawn.end(), qPrintable(expected + QLatin1Char('\n') + drawn.join('\n')));
        const auto at =
            static_cast<int64_t>(found->split(QLatin1Char(' '))[0].toDouble() * 1000 + 0.5) +
            origin;
        const int64_t write = writes.at(static_cast<std::size_t>(want[2].toInt()));
        // A latched pulse starts at the sample before the writes that made it: before the
        // script's first write there, by at most one sample and the script's accesses.
        const bool latchedStart = want.size() > 3 && want[1] == QStringLiteral("1");
        const int64_t late = at - write;
        QVERIFY2(latchedStart ? late <= 0 && late >= -sample - 3 * SimRig::kAccess.count()
                              : late >= 0 && late <= sample + SimRig::kAccess.count(),
                 qPrintable(expected + QStringLiteral(": %1 ns after the write").arg(late)));
    }
}

// Whatever ends the capture, the registers the script changed are as they were, and what was
// captured is printed.
void TestCapture::endsRestored_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("stopAtUs");  // 0: never
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("scriptWrites");  // the writes the script makes before it ends
    QTest::addColumn<QString>("restore");   // the writes after them, as "PORT VALUE"

    const QByteArray changes(
        "W 3FB 83\nW 3F8 01\nW 3F9 00\nW 3FB 1B\nW 3F9 0F\nW 3FA 07\n"
        "W 3FC 0B\nW 3FF 5A\nSLEEP 8\nW 3FC 00\n");
    const QString restore =
        QStringLiteral("3FB 80, 3F8 0C, 3F9 00, 3FB 03, 3FA 01, 3FA 00, 3F9 00, 3FC 00, 3FF 00");
    QTest::newRow("to the end") << changes << 0 << 0 << 9 << restore;
    QTest::newRow("Ctrl-C during the SLEEP") << changes << 3000 << 128 + SIGINT << 8 << restore;
    QTest::newRow("Ctrl-C without a script")
        << QByteArray() << 3000 << 128 + SIGINT << 0 << QString();
    QTest::newRow("only MCR changed: only MCR is written back")
        << QByteArray("W 3FC 03\nSLEEP 1\n") << 0 << 0 << 1 << QStringLiteral("3FC 00");
}

void TestCapture::endsRestored() {
    QFETCH(QByteArray, script);
    QFETCH(int, stopAtUs);
    QFETCH(int, status);
    QFETCH(int, scriptWrites);
    QFETCH(QString, restore);

    SimRig rig;
    Uart16550& com1 = *rig.bus.uart(0);
    com1.write(3, 0x03);
    com1.write(4, 0x00);
    if (stopAtUs > 0)
        rig.stopAt = microseconds(stopAtUs);
    cli::CaptureOptions options;
    options.base = 0x2F8;
    options.ms = 20;
    const Captured result = capture(rig, options, script);

    QCOMPARE(result.status, status);
    QStringList after;
    for (std::size_t i = static_cast<std::size_t>(scriptWrites); i < rig.writes.size(); ++i) {
        after << QStringLiteral("%1 %2")
                     .arg(rig.writes[i].port, 0, 16)
                     .arg(rig.writes[i].value, 2, 16, QLatin1Char('0'))
                     .toUpper();
    }
    QCOMPARE(after.join(QStringLiteral(", ")), restore);
    QCOMPARE(com1.peek(3), uint8_t{0x03});
    QCOMPARE(com1.peek(4), uint8_t{0x00});
    QCOMPARE(com1.peek(1), uint8_t{0x00});
    QCOMPARE(com1.peek(7), uint8_t{0x00});
    QCOMPARE(com1.divisor(), uint16_t{0x000C});
    QCOMPARE(com1.fifosEnabled(), false);
    QVERIFY2(QString::fromStdString(result.out).startsWith(QStringLiteral("# 2F8 の MSR")),
             result.out.c_str());
    if (stopAtUs > 0)
        QVERIFY(result.err.find("中断の要求（シグナル 2）") != std::string::npos);
}

// An output that cannot be written or a bad script: told, status 2, no port touched.
void TestCapture::refusedUntouched_data() {
    QTest::addColumn<QString>("vcd");
    QTest::addColumn<QString>("png");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("error");

    QTest::newRow("a VCD in a missing folder")
        << "/nonexistent/x.vcd" << QString() << QByteArray()
        << QStringLiteral("ファイル「/nonexistent/x.vcd」に書き込めません");
    QTest::newRow("a PNG that is a folder") << QString() << "/tmp" << QByteArray()
                                            << QStringLiteral("ファイル「/tmp」に書き込めません");
    QTest::newRow("a file name with an escape is quoted")
        << "/nonexistent/\x1b[31m.vcd" << QString() << QByteArray()
        << QStringLiteral("「/nonexistent/\\x1B[31m.vcd」");
    QTest::newRow("the VCD onto the script itself")
        << "SCRIPT" << QString() << QByteArray("W 3FC 02\n")
        << QStringLiteral("はスクリプトです。書き込むと消えるため");
    QTest::newRow("a script with a bad line") << QString() << QString() << QByteArray("W 3FC 100\n")
                                              << QStringLiteral("スクリプトに誤りがあるため");
}

void TestCapture::refusedUntouched() {
    QFETCH(QString, vcd);
    QFETCH(QString, png);
    QFETCH(QByteArray, script);
    QFETCH(QString, error);

    FakePortLibrary library;
    std::ostringstream out, err;
    cli::Console console{out, err, "regwise-io-test"};
    SimRig clockOnly;
    SimStoppableClock pacing(clockOnly);
    QTemporaryDir folder;
    const QString scriptPath = folder.filePath(QStringLiteral("script.txt"));
    QFile scriptFile(scriptPath);
    QVERIFY(scriptFile.open(QIODevice::WriteOnly) && scriptFile.write(script) == script.size());
    scriptFile.close();
    // "SCRIPT": the script's own file, named another way.
    if (vcd == QStringLiteral("SCRIPT"))
        vcd = folder.path() + QStringLiteral("/./script.txt");
    cli::CaptureOptions options;
    options.base = 0x2F8;
    options.ms = 10;
    options.vcd = vcd.toStdString();
    options.png = png.toStdString();
    if (!script.isEmpty())
        options.script = scriptPath.toStdString();
    const cli::Script parsed = cli::readScript(options.script, "script.txt");
    const int status = cli::captureLines(library, noOwners, options,
                                         script.isEmpty() ? nullptr : &parsed, console, pacing);
    QCOMPARE(status, 2);
    QVERIFY(library.calls.empty());
    QVERIFY2(QString::fromStdString(err.str()).contains(error), err.str().c_str());
    QCOMPARE(out.str(), std::string());
    QCOMPARE(contentOf(scriptPath), script);
}

// The VCD as two readers of other makers take it: sigrok's import gives back the same
// transitions, and GTKWave's vcd2fst converts it without a word.
void TestCapture::readersAgree() {
    const QString sigrok = QStandardPaths::findExecutable(QStringLiteral("sigrok-cli"));
    const QString vcd2fst = QStandardPaths::findExecutable(QStringLiteral("vcd2fst"));
    if (sigrok.isEmpty() || vcd2fst.isEmpty())
        QSKIP("sigrok-cli or vcd2fst is not installed (scripts/setup.sh installs them)");

    QTemporaryDir folder;
    SimRig rig;
    cli::CaptureOptions options;
    options.base = 0x2F8;
    options.ms = 8;
    options.lsr = true;
    options.vcd = folder.filePath(QStringLiteral("lines.vcd")).toStdString();
    options.png = folder.filePath(QStringLiteral("lines.png")).toStdString();
    const Captured result = capture(
        rig, options, "W 3FC 02\nSLEEP 2\nW 3FC 03\nSLEEP 2\nW 3FC 01\nW 3FC 03\nSLEEP 2\n");
    QCOMPARE(result.status, 0);
    // The timeline drawn too: a PNG a reader takes, one row per line.
    const QImage drawn(QString::fromStdString(options.png), "PNG");
    QCOMPARE(drawn.width(), 1200);
    QCOMPARE(drawn.height(), 40 + 34 * 11 + 46);

    // Ours, from the file: "TIME LINE LEVEL" for every change after the start.
    auto transitions = [](const QString& vcdText) {
        QStringList changes;
        QString time;
        bool dumping = false;
        for (const QString& word :
             vcdText.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            if (word.startsWith(QLatin1Char('#'))) {
                time = word.mid(1);
                dumping = true;
            } else if (dumping &&
                       (word.startsWith(QLatin1Char('0')) || word.startsWith(QLatin1Char('1'))) &&
                       time != QStringLiteral("0")) {
                changes << time + QLatin1Char(' ') + word.mid(1) + QLatin1Char(' ') + word[0];
            }
        }
        return changes;
    };
    auto namesOf = [](const QString& vcdText) {
        QMap<QString, QString> names;
        const QRegularExpression var(QStringLiteral("\\$var\\s+wire\\s+1\\s+(\\S+)\\s+(\\S+)"));
        for (auto it = var.globalMatch(vcdText); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            names[match.captured(1)] = match.captured(2);
        }
        return names;
    };
    auto named = [&](const QString& vcdText) {
        const QMap<QString, QString> names = namesOf(vcdText);
        QStringList changes;
        for (const QString& change : transitions(vcdText)) {
            QStringList parts = change.split(QLatin1Char(' '));
            parts[1] = names.value(parts[1], QStringLiteral("?"));
            changes << parts.join(QLatin1Char(' '));
        }
        changes.sort();
        return changes;
    };

    QFile ours(QString::fromStdString(options.vcd));
    QVERIFY(ours.open(QIODevice::ReadOnly));
    const QString ourText = QString::fromUtf8(ours.readAll());
    QVERIFY(ourText.contains(QStringLiteral("$timescale 1 ns $end")));

    const QString out = folder.filePath(QStringLiteral("out"));
    const QString err = folder.filePath(QStringLiteral("err"));
    QCOMPARE(
        spawned({sigrok, QStringLiteral("-I"), QStringLiteral("vcd"), QStringLiteral("-i"),
                 QString::fromStdString(options.vcd), QStringLiteral("-O"), QStringLiteral("vcd")},
                out, err),
        0);
    const QString theirText = QString::fromUtf8(contentOf(out));
    QVERIFY2(theirText.contains(QStringLiteral("$timescale 1 ns $end")), qPrintable(theirText));
    const QStringList ourChanges = named(ourText);
    QVERIFY(ourChanges.size() >= 4);
    QCOMPARE(named(theirText), ourChanges);

    QCOMPARE(spawned({vcd2fst, QString::fromStdString(options.vcd),
                      folder.filePath(QStringLiteral("lines.fst"))},
                     out, err),
             0);
    QCOMPARE(contentOf(err), QByteArray());
    QVERIFY(QFileInfo(folder.filePath(QStringLiteral("lines.fst"))).size() > 0);
}

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
