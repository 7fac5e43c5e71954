// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>
#include <filesystem>

#include "handlers/session.h"
#include "tests/fakes/fakeportlibrary.h"
#include "tests/fakes/recordingdialogs.h"

namespace {

const QString kStartFailed = QStringLiteral("直接I/O制御処理を開始できません。");
const QString kStopFailed = QStringLiteral("直接I/O制御停止処理でエラーが発生しました。");

}  // namespace

class TestSession : public QObject {
    Q_OBJECT

private slots:
    void stateTable_data();
    void stateTable();
    void startTwice();
    void startWorksInTheProgramFolder();
    void startGoesOnWhenTheFolderStepFails();
};

void TestSession::stateTable_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<bool>("end");    // false: the start button
    QTest::addColumn<bool>("made");   // the loader could make the call
    QTest::addColumn<int>("result");  // what the library returned
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("message");

    const QString none;
    QTest::newRow("closed, start, bit 0 clear") << 0 << false << true << 0 << none << -1 << none;
    QTest::newRow("closed, start, bit 0 set")
        << 0 << false << true << 1 << "not permitted" << 0 << kStartFailed;
    QTest::newRow("open, start, bit 0 clear")
        << -1 << false << true << 0x7FFE << none << -1 << none;
    QTest::newRow("open, start, bit 0 set")
        << -1 << false << true << -1 << "helper missing" << 0 << kStartFailed;
    QTest::newRow("open, end, 0") << -1 << true << true << 0 << none << 0 << none;
    QTest::newRow("open, end, not 0")
        << -1 << true << true << 1 << "socket closed" << -1 << kStopFailed;
    QTest::newRow("closed, end, 0") << 0 << true << true << 0 << none << 0 << none;
    QTest::newRow("closed, end, not 0") << 0 << true << true << -1 << none << 0 << kStopFailed;

    const QString loader = QStringLiteral("IOSCM_Start: libx.so cannot be loaded");
    QTest::newRow("open, start, not made")
        << -1 << false << false << 0 << loader << 0 << kStartFailed;
    QTest::newRow("open, end, not made")
        << -1 << true << false << 0 << QStringLiteral("IOSCM_Stop: no such function") << -1
        << kStopFailed;
}

void TestSession::stateTable() {
    QFETCH(int, before);
    QFETCH(bool, end);
    QFETCH(bool, made);
    QFETCH(int, result);
    QFETCH(QString, reason);
    QFETCH(int, after);
    QFETCH(QString, message);

    FakePortLibrary library;
    RecordingDialogs dialogs;
    const PortCall call{made, result, reason.toStdString()};
    library.startResult = call;
    library.stopResult = call;
    auto ioStarted = static_cast<int16_t>(before);

    if (end)
        cmdIOEnd_Click(ioStarted, library, dialogs);
    else
        cmdIOStart_Click(ioStarted, library, dialogs);

    QCOMPARE(ioStarted, static_cast<int16_t>(after));
    QCOMPARE(library.calls.size(), size_t{1});
    QCOMPARE(library.calls[0].kind,
             end ? FakePortLibrary::Call::Stop : FakePortLibrary::Call::Start);
    if (message.isEmpty()) {
        QCOMPARE(dialogs.texts(), QStringList());
    } else {
        QCOMPARE(dialogs.texts(), QStringList{message});
        QCOMPARE(dialogs.shown[0].detail, reason);
        QVERIFY(!dialogs.shown[0].isConfirm);
    }
}

void TestSession::startTwice() {
    FakePortLibrary library;
    RecordingDialogs dialogs;
    int16_t ioStarted = 0;
    cmdIOStart_Click(ioStarted, library, dialogs);
    cmdIOStart_Click(ioStarted, library, dialogs);
    QCOMPARE(ioStarted, int16_t{-1});
    QCOMPARE(library.calls.size(), size_t{2});
    QVERIFY(dialogs.shown.empty());
}

void TestSession::startWorksInTheProgramFolder() {
    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path("/");

    FakePortLibrary library;
    RecordingDialogs dialogs;
    std::filesystem::path atStart;
    library.onCall = [&](const FakePortLibrary::Call&) {
        atStart = std::filesystem::current_path();
    };
    int16_t ioStarted = 0;
    cmdIOStart_Click(ioStarted, library, dialogs);
    std::filesystem::current_path(saved);

    QCOMPARE(QString::fromStdString(atStart),
             QString::fromStdString(std::filesystem::canonical(TEST_BIN_DIR)));
    QVERIFY(dialogs.shown.empty());
}

// The library is found by absolute path, so a folder that cannot be made current is worth a
// word but no reason to give up the start.
void TestSession::startGoesOnWhenTheFolderStepFails() {
    FakePortLibrary library;
    RecordingDialogs dialogs;
    int16_t ioStarted = 0;
    cmdIOStart_Click(ioStarted, library, dialogs,
                     [] { return std::string("/gone: No such file"); });

    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("プログラムのフォルダを作業フォルダにできません。")});
    QCOMPARE(dialogs.shown[0].detail, QStringLiteral("/gone: No such file"));
    QCOMPARE(library.calls.size(), size_t{1});
    QCOMPARE(ioStarted, int16_t{-1});
}

QTEST_APPLESS_MAIN(TestSession)
#include "tst_session.moc"
