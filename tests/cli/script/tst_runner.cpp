// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QRegularExpression>
#include <QTest>

#include "cli/script/runner.h"
#include "cli/script/tracinglibrary.h"
#include "portio/sessionoutcome.h"
#include "tests/cli/script/fakerig.h"

namespace {

int run(FakeRig& rig, const QByteArray& script, bool explain = false,
        const cli::Reach& reach = {}) {
    return cli::runScript(scriptOf(script, "bringup.txt", reach), rig.library, rig.console,
                          rig.pacing, explain);
}

}  // namespace

class TestRunner : public QObject {
    Q_OBJECT

private slots:
    void expectations_data();
    void expectations();
    void badScriptTouchesNothing_data();
    void badScriptTouchesNothing();
    void stopRequest_data();
    void stopRequest();
    void libraryFailure_data();
    void libraryFailure();
    void traceOfASequence_data();
    void traceOfASequence();
};

// Scripts against values the fake reads back: the transcript, the calls, the status and the
// time the run let pass (virtual: a wait passes at once).
void TestRunner::expectations_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("explain");
    QTest::addColumn<QList<int>>("reads");
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("waitedUs");
    QTest::addColumn<int>("readUs");          // how long each read takes
    QTest::addColumn<int>("oversleepUs");     // how much later than asked each wait ends
    QTest::addColumn<QList<int>>("windows");  // the bases of windows reached besides COM's
    QTest::addColumn<bool>("sequences");      // the library runs sequences itself

    const auto row = [](const char* name, const QByteArray& script, bool explain, QList<int> reads,
                        const char* transcript, const char* calls, int status, int waitedUs,
                        int readUs = 0, int oversleepUs = 0, QList<int> windows = {},
                        bool sequences = false) {
        QTest::newRow(name) << script << explain << reads << QString::fromUtf8(transcript)
                            << QString::fromUtf8(calls) << status << waitedUs << readUs
                            << oversleepUs << windows << sequences;
    };
    // The same transcripts from a library that runs sequences: reads and writes without a
    // wait between them in one, a WITHIN as POLL steps of at most 250 ms each.
    const auto together = [&row](const char* name, const QByteArray& script, bool explain,
                                 QList<int> reads, const char* transcript, const char* calls,
                                 int status, int waitedUs, int readUs) {
        row(name, script, explain, reads, transcript, calls, status, waitedUs, readUs, 0, {}, true);
    };
    together("in one sequence: a run of reads, writes and masks",
             "W 3FB 83\nR 3FB = 83\nMASK 3FE F0\nR 3FE = 30\nR 2FD = 61\nSLEEP 1\nR 3F8\n", false,
             {0x83, 0x33, 0x60, 0x55},
             "R 3FB = 83\nR 3FE = 33\nR 2FD = 60  # expected 61 (mask FF)\nR 3F8 = 55\n",
             "Start Seq(4) OutB(3FB,83) InpB(3FB) InpB(3FE) InpB(2FD) Seq(1) InpB(3F8) Stop", 1,
             1040, 10);
    together("in one sequence, with explain every statement in its place",
             "MASK 3FE F0\nW 3FB 03\nR 3FE = 30\n", true, {0x33},
             "MASK 3FE F0\nW 3FB 03  # [^\\n]+\nR 3FE = 33  # [^\\n]+\n",
             "Start Seq(2) OutB(3FB,3) InpB(3FE) Stop", 0, 10, 10);
    together("in one sequence: WITHIN is a POLL", "R 3FD = 61 WITHIN 10\n", false,
             {0x60, 0x60, 0x61}, "R 3FD = 61 WITHIN 10  # 3 reads, 0.030 ms\n",
             "Start Seq(1) InpB(3FD) InpB(3FD) InpB(3FD) Stop", 0, 30, 10);
    together("in one sequence: a POLL's values, reads and an LSR error it cleared",
             "R 2FD = 65 WITHIN 1\n", false, QList<int>{0x69} << QList<int>(10, 0x61),
             "R 2FD = 61 WITHIN 1  # expected 65 (mask FF)  # seen 69 61  # error bits 08 cleared "
             "by an earlier read  # 10 reads, 1.000 ms\n",
             "Start Seq(1) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) "
             "InpB(2FD) InpB(2FD) InpB(2FD) Stop",
             1, 1000, 100);
    together("in one sequence: a long WITHIN polls in slices, its values gathered",
             "R 3FD = 61 WITHIN 600\n", false, {0x60, 0x20, 0x20, 0x60, 0x40, 0x60},
             "R 3FD = 60 WITHIN 600  # expected 61 (mask FF)  # seen 60 20 40  # 6 reads, "
             "600.000 ms\n",
             "Start Seq(1) InpB(3FD) InpB(3FD) Seq(1) InpB(3FD) InpB(3FD) Seq(1) InpB(3FD) "
             "InpB(3FD) Stop",
             1, 600000, 100000);
    row("write, then read back as expected", "W 3FB 83\nR 3FB = 83\n", false, {0x83},
        "R 3FB = 83\n", "Start OutB(3FB,83) InpB(3FB) Stop", 0, 0);
    row("a failed expectation is marked and the run goes on", "R 2FD = 61\nW 2FC 10\nR 2FD\n",
        false, {0x60, 0x01}, "R 2FD = 60  # expected 61 (mask FF)\nR 2FD = 01\n",
        "Start InpB(2FD) OutB(2FC,10) InpB(2FD) Stop", 1, 0);
    row("a mask hides the other bits; the line shows the value unmasked",
        "MASK 3FE F0\nR 3FE = 30\n", false, {0x33}, "R 3FE = 33\n", "Start InpB(3FE) Stop", 0, 0);
    row("a mask still compares its own bits", "MASK 3FE F0\nR 3FE = 30\n", false, {0x23},
        "R 3FE = 23  # expected 30 (mask F0)\n", "Start InpB(3FE) Stop", 1, 0);
    row("a mask belongs to its port only", "MASK 3FE F0\nR 2FE = 30\n", false, {0x33},
        "R 2FE = 33  # expected 30 (mask FF)\n", "Start InpB(2FE) Stop", 1, 0);
    row("MASK FF makes expectations exact again", "MASK 3FE F0\nMASK 3FE FF\nR 3FE = 30\n", false,
        {0x33}, "R 3FE = 33  # expected 30 (mask FF)\n", "Start InpB(3FE) Stop", 1, 0);
    row("only the low byte of a read counts", "R 3EF = 12\n", false, {0x7F12}, "R 3EF = 12\n",
        "Start InpB(3EF) Stop", 0, 0);

    row("WITHIN reads until the value is met, a pause between tries", "R 3FD = 61 WITHIN 10\n",
        false, {0x60, 0x60, 0x61}, "R 3FD = 61 WITHIN 10  # 3 reads, 0.200 ms\n",
        "Start InpB(3FD) InpB(3FD) InpB(3FD) Stop", 0, 200);
    row("WITHIN met at once reads once", "R 3FD = 61 WITHIN 10\n", false, {0x61},
        "R 3FD = 61 WITHIN 10  # 1 read, 0.000 ms\n", "Start InpB(3FD) Stop", 0, 0);
    row("WITHIN compares under the port's mask", "MASK 3FD 01\nR 3FD = 01 WITHIN 10\n", false,
        {0x60, 0x21}, "R 3FD = 21 WITHIN 10  # 2 reads, 0.100 ms\n",
        "Start InpB(3FD) InpB(3FD) Stop", 0, 100);
    row("WITHIN gives up at its limit, the last read at the limit, and the run goes on",
        "R 3FD = 61 WITHIN 1\nR 3F8\n", false, QList<int>(11, 0x60) << 0x55,
        "R 3FD = 60 WITHIN 1  # expected 61 (mask FF)  # seen 60  # 11 reads, 1.000 ms\nR 3F8 = "
        "55\n",
        "Start InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) "
        "InpB(3FD) InpB(3FD) InpB(3FD) InpB(3F8) Stop",
        1, 1000);
    row("WITHIN's last read ends by its limit when reads take time", "R 3FD = 61 WITHIN 1\n", false,
        QList<int>(20, 0x60),
        "R 3FD = 60 WITHIN 1  # expected 61 (mask FF)  # seen 60  # 9 reads, 1.000 ms\n",
        "Start InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) "
        "InpB(3FD) Stop",
        1, 1000, 30);
    row("a pause past WITHIN's limit is followed by one last read, which decides",
        "R 3FD = 61 WITHIN 1\n", false, QList<int>(5, 0x60),
        "R 3FD = 60 WITHIN 1  # expected 61 (mask FF)  # seen 60  # read 0.050 ms after the "
        "limit, the program paused  # 4 reads, 1.050 ms\n",
        "Start InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) Stop", 1, 1050, 0, 250);
    row("a pause past WITHIN's limit fails no UART whose value the last read finds",
        "R 3FD = 61 WITHIN 1\n", false, {0x60, 0x60, 0x60, 0x61},
        "R 3FD = 61 WITHIN 1  # read 0.050 ms after the limit, the program paused  # 4 reads, "
        "1.050 ms\n",
        "Start InpB(3FD) InpB(3FD) InpB(3FD) InpB(3FD) Stop", 0, 1050, 0, 250);
    row("a read the program was paused in still finds the value", "R 3FD = 61 WITHIN 1\n", false,
        {0x61},
        "R 3FD = 61 WITHIN 1  # read 1.000 ms after the limit, the program paused  # 1 read, "
        "2.000 ms\n",
        "Start InpB(3FD) Stop", 0, 2000, 2000);
    row("a WITHIN that misses shows each value it saw, in order", "R 2FD = 65 WITHIN 1\n", false,
        QList<int>{0x69} << QList<int>(10, 0x61),
        "R 2FD = 61 WITHIN 1  # expected 65 (mask FF)  # seen 69 61  # error bits 08 cleared by an "
        "earlier read  # 11 reads, 1.000 ms\n",
        "Start InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) InpB(2FD) "
        "InpB(2FD) InpB(2FD) InpB(2FD) Stop",
        1, 1000);
    row("of many values seen, the first eight and how many more", "R 3FF = FF WITHIN 1\n", false,
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0},
        "R 3FF = 00 WITHIN 1  # expected FF (mask FF)  # seen 00 01 02 03 04 05 06 07 and 2 more  "
        "# 11 reads, 1.000 ms\n",
        "Start InpB(3FF) InpB(3FF) InpB(3FF) InpB(3FF) InpB(3FF) InpB(3FF) InpB(3FF) InpB(3FF) "
        "InpB(3FF) InpB(3FF) InpB(3FF) Stop",
        1, 1000);
    row("an LSR error an earlier try cleared fails the WITHIN it came in", "R 3FD = 61 WITHIN 10\n",
        false, {0x69, 0x61},
        "R 3FD = 61 WITHIN 10  # expected 61 (mask FF)  # seen 69 61  # error bits 08 cleared by "
        "an "
        "earlier read  # 2 reads, 0.100 ms\n",
        "Start InpB(3FD) InpB(3FD) Stop", 1, 100);
    row("an LSR error outside the mask does not count", "MASK 3FD 61\nR 3FD = 61 WITHIN 10\n",
        false, {0x68, 0x61}, "R 3FD = 61 WITHIN 10  # 2 reads, 0.100 ms\n",
        "Start InpB(3FD) InpB(3FD) Stop", 0, 100);
    row("an expected value's bits outside the mask are not compared",
        "MASK 3FD 01\nR 3FD = 61 WITHIN 10\n", false, {0x60, 0x01},
        "R 3FD = 01 WITHIN 10  # 2 reads, 0.100 ms\n", "Start InpB(3FD) InpB(3FD) Stop", 0, 100);
    row("an expected value is compared under the mask, and shown as written",
        "MASK 3FE F0\nR 3FE = 3C\nR 3FE = 3C\n", false, {0x33, 0x23},
        "R 3FE = 33\nR 3FE = 23  # expected 3C (mask F0)\n", "Start InpB(3FE) InpB(3FE) Stop", 1,
        0);
    row("a line of 4096 bytes, after a byte order mark and before CR LF, runs",
        "\xEF\xBB\xBFR 3FD" + QByteArray(4096 - 5, ' ') + "\r\n", false, {0x60}, "R 3FD = 60\n",
        "Start InpB(3FD) Stop", 0, 0);
    row("a script of exactly 16 MiB runs",
        QByteArray(QByteArray(4095, '#') + "\n").repeated(4095) + "R 3FD" + QByteArray(4090, ' ') +
            "\n",
        false, {0x60}, "R 3FD = 60\n", "Start InpB(3FD) Stop", 0, 0);
    row("a byte order mark opens the script", "\xEF\xBB\xBFR 3FD\n", false, {0x60}, "R 3FD = 60\n",
        "Start InpB(3FD) Stop", 0, 0);
    row("SLEEP waits and touches nothing", "SLEEP 25\n", false, {}, "", "Start Stop", 0, 25000);
    row("with explain every statement is in the transcript, so it runs again as it is",
        "MASK 3FE F0\nW 3FB 03\nSLEEP 2\nR 3FE = 30 WITHIN 5\n", true, {0x33},
        "MASK 3FE F0\nW 3FB 03  # [^\\n]+\nSLEEP 2\nR 3FE = 33 WITHIN 5  # [^\\n]+  # 1 read, "
        "0\\.000 ms\n",
        "Start OutB(3FB,3) InpB(3FE) Stop", 0, 2000);
    row("with explain a PCI UART's register is explained by its offset in its window",
        "W C00B 03\nR C00D\n", true, {0x60},
        "W C00B 03  # LCR 回線制御[^\\n]*\nR C00D = 60  # LSR 回線ステータス[^\\n]*\n",
        "Start OutB(-3FF5,3) InpB(-3FF3) Stop", 0, 0, 0, 0, {0xC008});
}

void TestRunner::expectations() {
    QFETCH(QByteArray, script);
    QFETCH(bool, explain);
    QFETCH(QList<int>, reads);
    QFETCH(QString, transcript);
    QFETCH(QString, calls);
    QFETCH(int, status);
    QFETCH(int, waitedUs);
    QFETCH(int, readUs);
    QFETCH(int, oversleepUs);
    QFETCH(QList<int>, windows);
    QFETCH(bool, sequences);

    FakeRig rig;
    rig.reads.assign(reads.begin(), reads.end());
    rig.readCost = std::chrono::microseconds(readUs);
    rig.pacing.oversleep = std::chrono::microseconds(oversleepUs);
    cli::Reach reach;
    for (const int base : windows)
        reach.otherWindows.push_back(static_cast<uint16_t>(base));
    if (sequences)
        rig.runSequences();
    QCOMPARE(run(rig, script, explain, reach), status);
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(transcript));
    QVERIFY2(explain ? pattern.match(rig.stdOut()).hasMatch() : rig.stdOut() == transcript,
             qPrintable(rig.stdOut()));
    QCOMPARE(rig.calls(), calls);
    QCOMPARE(rig.stdErr().isEmpty(), status == 0);
    QCOMPARE(std::chrono::duration_cast<std::chrono::microseconds>(rig.pacing.clock).count(),
             waitedUs);
}

// A script that cannot run: every bad line named with its number (up to a bound, then a
// count), and not even the session started. Ports lie in the COM windows, and in the
// windows given.
void TestRunner::badScriptTouchesNothing_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QList<int>>("windows");
    QTest::addColumn<QStringList>("errors");  // what each line of standard error starts with

    QTest::newRow("each bad line")
        << QByteArray("W 3FB 83\nX\nR 3FD\nR 3F0 = 60\n# fine\nW 3F8 100\n") << QList<int>{}
        << QStringList{"bringup.txt:2: 不明な命令", "bringup.txt:4: ポート「3F0」",
                       "bringup.txt:6: 値「100」", "regwise-io-test: スクリプトに誤り"};
    QTest::newRow("a line too long is refused without being kept")
        << (QByteArray("R 3FD\n") + QByteArray(100000, 'W') + "\nR 3FD\n") << QList<int>{}
        << QStringList{"bringup.txt:2: 行が 4096 バイトを超えています",
                       "regwise-io-test: スクリプトに誤り"};
    QTest::newRow("a line of 4097 bytes is refused")
        << QByteArray("R 3FD" + QByteArray(4097 - 5, ' ') + "\n") << QList<int>{}
        << QStringList{"bringup.txt:1: 行が 4096 バイトを超えています",
                       "regwise-io-test: スクリプトに誤り"};
    QTest::newRow("a byte order mark on a later line is refused")
        << QByteArray("R 3FD\n\xEF\xBB\xBFR 3FD\n") << QList<int>{}
        << QStringList{"bringup.txt:2: 不明な命令「\\uFEFFR」",
                       "regwise-io-test: スクリプトに誤り"};
    QTest::newRow("NUL bytes are shown as escapes")
        << QByteArray("R 3FD\0\0\n", 8) << QList<int>{}
        << QStringList{"bringup.txt:1: 「3FD\\x00\\x00」は16進数のポートではありません",
                       "regwise-io-test: スクリプトに誤り"};
    QStringList many;
    for (int line = 1; line <= 20; ++line)
        many << QStringLiteral("bringup.txt:%1: 不明な命令").arg(line);
    many << QStringLiteral("ほかに 5 行の誤りがあります") << QStringLiteral("regwise-io-test: ");
    QTest::newRow("the first twenty bad lines, then how many more")
        << QByteArray("X\n").repeated(25) << QList<int>{} << many;
    QTest::newRow("a script above 16 MiB is not read on")
        << QByteArray(17 * 1024 * 1024, '#') << QList<int>{}
        << QStringList{"regwise-io-test: スクリプト「bringup.txt」が 16 MiB を超えるため"};
    QTest::newRow("a script of 16 MiB and one byte is not read on")
        << QByteArray(16 * 1024 * 1024 + 1, '\n') << QList<int>{}
        << QStringList{"regwise-io-test: スクリプト「bringup.txt」が 16 MiB を超えるため"};
    QTest::newRow("a port beside the kernel's windows, checked before any access")
        << QByteArray("W C000 03\nR C008\nR C007\n") << QList<int>{0xC000}
        << QStringList{"bringup.txt:2: ポート「C008」は COM ポートの範囲",
                       "regwise-io-test: スクリプトに誤り"};
}

void TestRunner::badScriptTouchesNothing() {
    QFETCH(QByteArray, script);
    QFETCH(QList<int>, windows);
    QFETCH(QStringList, errors);

    cli::Reach reach;
    reach.otherWindows.assign(windows.begin(), windows.end());
    FakeRig rig;
    QCOMPARE(cli::runScript(scriptOf(script, "bringup.txt", reach), rig.library, rig.console,
                            rig.pacing, false),
             2);
    QCOMPARE(rig.calls(), QString());
    QCOMPARE(rig.stdOut(), QString());
    const QStringList lines = rig.stdErr().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), errors.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i].startsWith(errors[i]), qPrintable(lines[i]));
}

// Ctrl-C during a run: the transcript so far stays, the session is closed, and the status
// says which signal ended it. Before every wait the transcript so far has been flushed, so
// the person saw it while the wait lasted; a stop that comes during a read ends the run at
// the next statement.
void TestRunner::stopRequest_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QList<int>>("reads");
    QTest::addColumn<int>("stopAtWait");
    QTest::addColumn<int>("stopAtRead");
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<QString>("shown");  // what had been flushed when the last wait began
    QTest::addColumn<QString>("calls");
    QTest::addColumn<int>("sequenceReadUs");  // >0: the library runs sequences, reads this long

    QTest::newRow("during a SLEEP")
        << QByteArray("R 3FD\nSLEEP 10\nW 3FB 83\n") << QList<int>{0x60} << 1 << 0 << "R 3FD = 60\n"
        << "R 3FD = 60\n"
        << "Start InpB(3FD) Stop" << 0;
    QTest::newRow("during a WITHIN read") << QByteArray("W 3F8 55\nR 3FD = 61 WITHIN 100\nR 3F8\n")
                                          << QList<int>{0x60, 0x60} << 2 << 0 << ""
                                          << ""
                                          << "Start OutB(3F8,55) InpB(3FD) InpB(3FD) Stop" << 0;
    QTest::newRow("during a WITHIN read after a read")
        << QByteArray("R 3F8\nR 3FD = 61 WITHIN 100\n") << QList<int>{0x55, 0x60} << 1 << 0
        << "R 3F8 = 55\n"
        << "R 3F8 = 55\n"
        << "Start InpB(3F8) InpB(3FD) Stop" << 0;
    QTest::newRow("during plain reads and writes, at the next statement")
        << QByteArray("R 3F8\nW 3FB 83\nR 3FD\nW 3FC 10\n") << QList<int>{0x55, 0x60} << 0 << 1
        << "R 3F8 = 55\n"
        << ""
        << "Start InpB(3F8) Stop" << 0;
    QTest::newRow("during a run in one sequence, at the next")
        << QByteArray("R 3F8\nW 3FB 83\nSLEEP 1\nR 3FD\n") << QList<int>{0x55, 0x60} << 0 << 1
        << "R 3F8 = 55\n"
        << ""
        << "Start Seq(2) InpB(3F8) OutB(3FB,83) Stop" << 10;
    QTest::newRow("during a long WITHIN's POLL, at the end of its slice")
        << QByteArray("R 3FD = 61 WITHIN 600\nR 3F8\n") << QList<int>{0x60, 0x60, 0x60} << 0 << 1
        << ""
        << ""
        << "Start Seq(1) InpB(3FD) InpB(3FD) Stop" << 100000;
}

void TestRunner::stopRequest() {
    QFETCH(QByteArray, script);
    QFETCH(QList<int>, reads);
    QFETCH(int, stopAtWait);
    QFETCH(int, stopAtRead);
    QFETCH(QString, transcript);
    QFETCH(QString, shown);
    QFETCH(QString, calls);
    QFETCH(int, sequenceReadUs);

    FakeRig rig;
    rig.reads.assign(reads.begin(), reads.end());
    rig.pacing.stopAtWait = stopAtWait;
    rig.stopAtRead = stopAtRead;
    if (sequenceReadUs > 0) {
        rig.runSequences();
        rig.readCost = std::chrono::microseconds(sequenceReadUs);
    }
    QCOMPARE(run(rig, script), 130);
    QCOMPARE(rig.stdOut(), transcript);
    QCOMPARE(rig.shownAtWaits.isEmpty() ? QString() : rig.shownAtWaits.last(), shown);
    QCOMPARE(rig.calls(), calls);
    QVERIFY2(rig.stdErr().contains(QStringLiteral("中断の要求（シグナル 2）")),
             qPrintable(rig.stdErr()));
}

// The library fails at one call: the run stops at the first failed access, an open session
// is still closed, and the reason reaches the person.
void TestRunner::libraryFailure_data() {
    QTest::addColumn<QString>("failing");  // which call
    QTest::addColumn<bool>("made");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<QString>("says");    // the message above the library's reason
    QTest::addColumn<bool>("sequences");  // the library runs sequences itself

    const QString all = QStringLiteral("Start OutB(3FB,83) InpB(3FB) OutB(3FC,10) InpB(3FD) Stop");
    const QString startFailed = QString::fromUtf8(session::kStartFailed);
    QTest::newRow("start cannot be loaded") << "start" << false << 0 << "Start"
                                            << "" << startFailed << false;
    QTest::newRow("start reports bit 0") << "start" << true << 1 << "Start"
                                         << "" << startFailed << false;
    const QString writeFailed = QStringLiteral("ポート0x3FBにデータ131を書き込めませんでした。");
    const QString readFailed = QStringLiteral("ポート0x3FBを読み取れませんでした。");
    QTest::newRow("write fails") << "outB" << true << -1 << "Start OutB(3FB,83) Stop"
                                 << "" << writeFailed << false;
    QTest::newRow("read fails") << "inpB" << true << 0 << "Start OutB(3FB,83) InpB(3FB) Stop"
                                << "" << readFailed << false;
    QTest::newRow("stop fails after a good run")
        << "stop" << true << 1 << all << "R 3FB = 83\nR 3FD = 60\n"
        << QString::fromUtf8(session::kStopFailed) << false;
    // In one sequence the run stops at the statement whose access failed, told as its own.
    QTest::newRow("write fails in a sequence")
        << "outB" << true << -1 << "Start Seq(4) OutB(3FB,83) Stop"
        << "" << writeFailed << true;
    QTest::newRow("read fails in a sequence")
        << "inpB" << true << 0 << "Start Seq(4) OutB(3FB,83) InpB(3FB) Stop"
        << "" << readFailed << true;
}

void TestRunner::libraryFailure() {
    QFETCH(QString, failing);
    QFETCH(bool, made);
    QFETCH(int, value);
    QFETCH(QString, calls);
    QFETCH(QString, transcript);
    QFETCH(QString, says);
    QFETCH(bool, sequences);

    FakeRig rig;
    rig.reads = {0x83, 0x60};
    if (sequences)
        rig.runSequences();
    const PortCall failure{made, value, "helper gone"};
    if (failing == QLatin1String("start"))
        rig.library.startResult = failure;
    else if (failing == QLatin1String("outB"))
        rig.library.outBResult = failure;
    else if (failing == QLatin1String("inpB"))
        rig.library.inpBResult = failure;
    else
        rig.library.stopResult = failure;

    QCOMPARE(run(rig, "W 3FB 83\nR 3FB = 83\nW 3FC 10\nR 3FD = 60\n"), 1);
    QCOMPARE(rig.calls(), calls);
    QCOMPARE(rig.stdOut(), transcript);
    // The statement whose access failed is named, as it would be on its own.
    QVERIFY2(rig.stdErr().contains(says + QStringLiteral("\n  helper gone\n")),
             qPrintable(rig.stdErr()));
}

// --trace over a sequence: each step run as a script line, a POLL as each value it read once
// and its count of reads; the same lines whether the library runs the sequence or it goes
// step by step.
void TestRunner::traceOfASequence_data() {
    QTest::addColumn<bool>("sequences");
    QTest::addColumn<QList<int>>("reads");
    QTest::addColumn<QString>("trace");
    const QList<int> reads{0x55, 0x60, 0x60, 0x61, 0x61};
    QTest::newRow("run by the library")
        << true << reads << "W 3FB 83\nR 3F8 = 55\nR 3FD = 60\nR 3FD = 61  # 3 reads\n";
    QTest::newRow("step by step") << false << reads
                                  << "W 3FB 83\nR 3F8 = 55\nR 3FD = 60\nR 3FD = 60\nR 3FD = 61\n";
    QTest::newRow("a POLL of ten values")
        << true << QList<int>{0x55, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x61}
        << "W 3FB 83\nR 3F8 = 55\nR 3FD = 00\nR 3FD = 01\nR 3FD = 02\nR 3FD = 03\nR 3FD = 04\n"
           "R 3FD = 05\nR 3FD = 06\nR 3FD = 07\nR 3FD = 61  # 11 reads, 2 more values\n";
}

void TestRunner::traceOfASequence() {
    QFETCH(bool, sequences);
    QFETCH(QList<int>, reads);
    QFETCH(QString, trace);
    FakeRig rig;
    rig.reads.assign(reads.begin(), reads.end());
    rig.readCost = std::chrono::microseconds(10);
    if (sequences)
        rig.runSequences();
    std::ostringstream lines;
    cli::TracingLibrary traced(rig.library, lines);
    const IOSCM_Step steps[] = {{IOSCM_STEP_WRITE, 0x3FB, 0x83, 0, 0, 0},
                                {IOSCM_STEP_READ, 0x3F8, 0, 0, 0, 0},
                                {IOSCM_STEP_POLL, 0x3FD, 0x61, 0xFF, 0, 1000000000}};
    IOSCM_StepResult results[3] = {};
    QCOMPARE(traced.runsSequences(), sequences);
    QCOMPARE(traced.sequence(steps, results).value, 3);
    QCOMPARE(QString::fromStdString(lines.str()), trace);
}

QTEST_APPLESS_MAIN(TestRunner)
#include "tst_runner.moc"
