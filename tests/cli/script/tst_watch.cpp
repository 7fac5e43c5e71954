// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "cli/script/watch.h"
#include "tests/cli/script/fakerig.h"

class TestWatch : public QObject {
    Q_OBJECT

private slots:
    void watch_data();
    void watch();
};

// The fake reads the values in turn; the wait stops the watch at its stopAt-th call (0:
// never), as Ctrl-C does. A count bounds the reads, whether or not the value changes.
void TestWatch::watch_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QList<int>>("reads");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<bool>("readFails");  // from the second read on
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<int>("readsMade");
    QTest::addColumn<int>("status");

    QTest::newRow("the first value and each change, up to count reads")
        << 0x3FD << QList<int>{0x60, 0x60, 0x61, 0x61, 0x60, 0x61} << 5 << 0 << false
        << "R 3FD = 60  # 0.000 s\nR 3FD = 61  # 0.500 s\nR 3FD = 60  # 1.000 s\n"
        << 5 << 0;
    QTest::newRow("a count ends a watch whose value never changes")
        << 0x3FD << QList<int>{0x60, 0x60, 0x60} << 2 << 0 << false << "R 3FD = 60  # 0.000 s\n"
        << 2 << 0;
    QTest::newRow("a stop between reads ends it cleanly")
        << 0x3FE << QList<int>{0xB0, 0xB0, 0xB0} << 0 << 3 << false << "R 3FE = B0  # 0.000 s\n"
        << 3 << 0;
    QTest::newRow("a failed read ends it with status 1")
        << 0x2FD << QList<int>{0x60} << 0 << 0 << true << "R 2FD = 60  # 0.000 s\n"
        << 2 << 1;
}

void TestWatch::watch() {
    QFETCH(int, port);
    QFETCH(QList<int>, reads);
    QFETCH(int, count);
    QFETCH(int, stopAt);
    QFETCH(bool, readFails);
    QFETCH(QString, transcript);
    QFETCH(int, readsMade);
    QFETCH(int, status);

    FakeRig rig;
    rig.reads.assign(reads.begin(), reads.end());
    int readsSoFar = 0;
    if (readFails) {
        rig.library.onCall = [&](const FakePortLibrary::Call& call) {
            if (call.kind == FakePortLibrary::Call::InpB && ++readsSoFar == 2)
                rig.library.inpBResult = PortCall{true, 0, "helper gone"};
        };
    }
    rig.pacing.stopAtWait = stopAt;

    const int result = cli::watchPort(
        rig.library, {port, std::chrono::milliseconds(250), count, false}, rig.console, rig.pacing);

    QCOMPARE(result, status);
    const int waitsPassed = rig.pacing.waits - (rig.pacing.signal != 0 ? 1 : 0);
    QCOMPARE(rig.pacing.clock, std::chrono::milliseconds(250) * waitsPassed);
    QCOMPARE(rig.stdOut(), transcript);
    QCOMPARE(rig.library.calls.size(), static_cast<size_t>(readsMade + 2));
    QCOMPARE(rig.library.calls.back().kind, FakePortLibrary::Call::Stop);
}

QTEST_APPLESS_MAIN(TestWatch)
#include "tst_watch.moc"
