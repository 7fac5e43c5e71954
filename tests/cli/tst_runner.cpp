// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>
#include <sstream>

#include "cli/runner.h"
#include "tests/cli/fakerig.h"

namespace {

int run(FakeRig& rig, const QString& script, bool explain = false) {
    std::istringstream in(script.toStdString());
    return cli::runScript(in, "bringup.txt", rig.library, rig.console, explain);
}

}  // namespace

class TestRunner : public QObject {
    Q_OBJECT

private slots:
    void expectations_data();
    void expectations();
    void badScriptTouchesNothing();
    void libraryFailure_data();
    void libraryFailure();
};

// Scripts against values the fake reads back: the transcript, the calls and the status.
void TestRunner::expectations_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<int>>("reads");
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<int>("status");

    QTest::newRow("write, then read back as expected") << "W 3FB 83\nR 3FB = 83\n"
                                                       << QList<int>{0x83} << "R 3FB = 83\n"
                                                       << "Start OutB(3FB,83) InpB(3FB) Stop" << 0;
    QTest::newRow("a failed expectation is marked and the run goes on")
        << "R 2FD = 61\nW 2FC 10\nR 2FD\n"
        << QList<int>{0x60, 0x01} << "R 2FD = 60  # expected 61 (mask FF)\nR 2FD = 01\n"
        << "Start InpB(2FD) OutB(2FC,10) InpB(2FD) Stop" << 1;
    QTest::newRow("a mask hides the other bits; the line shows the value unmasked")
        << "MASK 3FE F0\nR 3FE = 30\n"
        << QList<int>{0x33} << "R 3FE = 33\n"
        << "Start InpB(3FE) Stop" << 0;
    QTest::newRow("a mask still compares its own bits")
        << "MASK 3FE F0\nR 3FE = 30\n"
        << QList<int>{0x23} << "R 3FE = 23  # expected 30 (mask F0)\n"
        << "Start InpB(3FE) Stop" << 1;
    QTest::newRow("a mask belongs to its port only")
        << "MASK 3FE F0\nR 2FE = 30\n"
        << QList<int>{0x33} << "R 2FE = 33  # expected 30 (mask FF)\n"
        << "Start InpB(2FE) Stop" << 1;
    QTest::newRow("MASK FF makes expectations exact again")
        << "MASK 3FE F0\nMASK 3FE FF\nR 3FE = 30\n"
        << QList<int>{0x33} << "R 3FE = 33  # expected 30 (mask FF)\n"
        << "Start InpB(3FE) Stop" << 1;
    QTest::newRow("only the low byte of a read counts") << "R 3EF = 12\n"
                                                        << QList<int>{0x7F12} << "R 3EF = 12\n"
                                                        << "Start InpB(3EF) Stop" << 0;
}

void TestRunner::expectations() {
    QFETCH(QString, script);
    QFETCH(QList<int>, reads);
    QFETCH(QString, transcript);
    QFETCH(QString, calls);
    QFETCH(int, status);

    FakeRig rig;
    rig.reads.assign(reads.begin(), reads.end());
    QCOMPARE(run(rig, script), status);
    QCOMPARE(rig.stdOut(), transcript);
    QCOMPARE(rig.calls(), calls);
    QCOMPARE(rig.stdErr().isEmpty(), status == 0);
}

// Every bad line is named with its number, and not even the session is started.
void TestRunner::badScriptTouchesNothing() {
    FakeRig rig;
    const QString script = QStringLiteral("W 3FB 83\nX\nR 3FD\nR 3F0 = 60\n# fine\nW 3F8 100\n");
    QCOMPARE(run(rig, script), 2);
    QCOMPARE(rig.calls(), QString());
    QCOMPARE(rig.stdOut(), QString());
    const QStringList lines = rig.stdErr().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);  // three bad lines and the closing message
    QVERIFY(lines[0].startsWith(QStringLiteral("bringup.txt:2: 不明な命令")));
    QVERIFY(lines[1].startsWith(QStringLiteral("bringup.txt:4: ポート「3F0」")));
    QVERIFY(lines[2].startsWith(QStringLiteral("bringup.txt:6: 値「100」")));
}

// The library fails at one call: the run stops at the first failed access, an open session
// is still closed, and the reason reaches the person.
void TestRunner::libraryFailure_data() {
    QTest::addColumn<QString>("failing");  // which call
    QTest::addColumn<bool>("made");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<QString>("transcript");

    const QString all = QStringLiteral("Start OutB(3FB,83) InpB(3FB) OutB(3FC,10) InpB(3FD) Stop");
    QTest::newRow("start cannot be loaded") << "start" << false << 0 << "Start"
                                            << "";
    QTest::newRow("start reports bit 0") << "start" << true << 1 << "Start"
                                         << "";
    QTest::newRow("write fails") << "outB" << true << -1 << "Start OutB(3FB,83) Stop"
                                 << "";
    QTest::newRow("read fails") << "inpB" << true << 0 << "Start OutB(3FB,83) InpB(3FB) Stop"
                                << "";
    QTest::newRow("stop fails after a good run")
        << "stop" << true << 1 << all << "R 3FB = 83\nR 3FD = 60\n";
}

void TestRunner::libraryFailure() {
    QFETCH(QString, failing);
    QFETCH(bool, made);
    QFETCH(int, value);
    QFETCH(QString, calls);
    QFETCH(QString, transcript);

    FakeRig rig;
    rig.reads = {0x83, 0x60};
    const PortCall failure{made, value, "helper gone"};
    if (failing == QLatin1String("start"))
        rig.library.startResult = failure;
    else if (failing == QLatin1String("outB"))
        rig.library.outBResult = failure;
    else if (failing == QLatin1String("inpB"))
        rig.library.inpBResult = failure;
    else
        rig.library.stopResult = failure;

    QCOMPARE(run(rig, QStringLiteral("W 3FB 83\nR 3FB = 83\nW 3FC 10\nR 3FD = 60\n")), 1);
    QCOMPARE(rig.calls(), calls);
    QCOMPARE(rig.stdOut(), transcript);
    QVERIFY2(rig.stdErr().contains(QStringLiteral("\n  helper gone\n")), qPrintable(rig.stdErr()));
}

QTEST_APPLESS_MAIN(TestRunner)
#include "tst_runner.moc"
