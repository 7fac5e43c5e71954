// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// libregwise-portio.so's exports, linked into this test with fakeportd as the only place
// its helper may lie (helperPlaces() below): the last error across calls and the wide
// accesses, byte by byte, as the helper sees them. The real helper is never started here.

#include <QTest>

#include <memory>
#include <vector>

#include "portio/hw/helperplaces.h"
#include "portio/ioscm.h"
#include "tests/portio/hw/fakehelperfolder.h"

namespace {

std::unique_ptr<FakeHelperFolder> g_folder;

// A register sequence as a row writes it, its steps after "Seq": "R3F8", "W3FF:5A",
// "P3FD:01/01/1000000" (POLL: value, mask, ns), "S1000" (WAIT ns), "Rx5000" (5000 reads of
// 3F8); ports and bytes hexadecimal. Its result: the steps run.
int32_t runSequence(const QList<QByteArray>& words) {
    std::vector<IOSCM_Step> steps;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QByteArray& word = words[i];
        const QList<QByteArray> parts = word.mid(1).split(':');
        const QList<QByteArray> values = parts.value(1).split('/');
        IOSCM_Step step{};
        step.port = static_cast<int16_t>(parts[0].toUInt(nullptr, 16));
        step.data = static_cast<uint8_t>(values[0].toUInt(nullptr, 16));
        if (word.startsWith("Rx")) {
            steps.insert(steps.end(), word.mid(2).toUInt(), {IOSCM_STEP_READ, 0x3F8, 0, 0, 0, 0});
            continue;
        }
        switch (word[0]) {
            case 'R':
                step.kind = IOSCM_STEP_READ;
                break;
            case 'W':
                step.kind = IOSCM_STEP_WRITE;
                break;
            case 'P':
                step.kind = IOSCM_STEP_POLL;
                step.mask = static_cast<uint8_t>(values.value(1).toUInt(nullptr, 16));
                step.ns = values.value(2).toUInt();
                break;
            default:
                step = {IOSCM_STEP_WAIT, 0, 0, 0, 0, word.mid(1).toUInt()};
        }
        steps.push_back(step);
    }
    std::vector<IOSCM_StepResult> results(steps.size());
    return IOSCM_Sequence(steps.data(), static_cast<int32_t>(steps.size()), results.data());
}

// One call, as a row names it: "InpW 3F8", "OutD 3FC 11223344" (hexadecimal); its result.
int32_t run(const QByteArray& call) {
    const QList<QByteArray> words = call.split(' ');
    if (words[0] == "Seq")
        return runSequence(words);
    const auto number = [&](int i) { return words.size() > i ? words[i].toUInt(nullptr, 16) : 0u; };
    const auto port = static_cast<int16_t>(number(1));
    const QByteArray& name = words[0];
    if (name == "IOSCM_Start")
        return IOSCM_Start();
    if (name == "IOSCM_Stop")
        return IOSCM_Stop();
    if (name == "InpB")
        return InpB(port);
    if (name == "InpW")
        return InpW(port);
    if (name == "InpD")
        return InpD(port);
    if (name == "OutB")
        return OutB(port, static_cast<int16_t>(number(2)));
    if (name == "OutW")
        return OutW(port, static_cast<int16_t>(number(2)));
    if (name == "OutD")
        return OutD(port, static_cast<int32_t>(number(2)));
    qFatal("unknown call %s", call.constData());
}

QString lastError() {
    const char* text = IOSCM_LastError();
    return text != nullptr ? QString::fromUtf8(text) : QString();
}

}  // namespace

std::vector<std::string> helperPlaces() {
    return {g_folder->path()};
}

class TestPortioLib : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void lastErrorIsTheLastCallsOwn_data();
    void lastErrorIsTheLastCallsOwn();
    void wideAccessesAtTheWindowEdges_data();
    void wideAccessesAtTheWindowEdges();
    void helperFailsPartWay_data();
    void helperFailsPartWay();

private:
    // A fresh helper in the given mode and an empty access log.
    static bool startHelper(const char* mode);
};

void TestPortioLib::initTestCase() {
    g_folder = std::make_unique<FakeHelperFolder>("ok");
    QVERIFY(QFile::exists(g_folder->helper()));
}

void TestPortioLib::cleanupTestCase() {
    IOSCM_Stop();
}

bool TestPortioLib::startHelper(const char* mode) {
    IOSCM_Stop();
    g_folder->setMode(mode);
    g_folder->forgetAccesses();
    return IOSCM_Start() == 0 && IOSCM_LastError() == nullptr;
}

void TestPortioLib::lastErrorIsTheLastCallsOwn_data() {
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("error");  // empty: the call succeeds and leaves no error
    for (const char* call : {"IOSCM_Start", "IOSCM_Stop", "InpB 3F8", "OutB 3F8 41", "InpW 3F8",
                             "InpD 3F8", "OutW 3F8 1234", "OutD 3F8 12345678"})
        QTest::newRow(call) << QByteArray(call) << 0 << QString();
    QTest::newRow("InpB 2E7") << QByteArray("InpB 2E7") << 0 << QStringLiteral("0x2E7 は");
    QTest::newRow("OutB 3F0 1") << QByteArray("OutB 3F0 1") << -1 << QStringLiteral("0x3F0 は");
    QTest::newRow("InpD 3FD") << QByteArray("InpD 3FD") << 0 << QStringLiteral("0x3FD から 4");
    QTest::newRow("Seq R3F8 W3FF:1") << QByteArray("Seq R3F8 W3FF:1") << 2 << QString();
    QTest::newRow("Seq R3F8 R3F0")
        << QByteArray("Seq R3F8 R3F0") << 0 << QStringLiteral("2 番目の手順のポート 0x3F0 は");
}

// Every export clears the error an earlier call left, and sets its own when it fails.
void TestPortioLib::lastErrorIsTheLastCallsOwn() {
    QFETCH(QByteArray, call);
    QFETCH(int, value);
    QFETCH(QString, error);
    QVERIFY(startHelper("ok"));
    QCOMPARE(InpB(0x400), 0);
    QVERIFY(lastError().contains(QStringLiteral("0x400")));

    QCOMPARE(run(call), value);
    if (error.isEmpty())
        QCOMPARE(IOSCM_LastError(), nullptr);
    else
        QVERIFY2(lastError().contains(error), qPrintable(lastError()));
}

void TestPortioLib::wideAccessesAtTheWindowEdges_data() {
    QTest::addColumn<QByteArray>("calls");  // separated by ";"; the last one is checked
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("accesses");
    QTest::addColumn<QString>("error");
    const auto outside = [](const char* port, int bytes) {
        return QStringLiteral(
                   "ポート 0x%1 から %2 バイトは COM "
                   "ポートやカーネルが登録したシリアルポートの範囲の外にかかる")
            .arg(QLatin1String(port))
            .arg(bytes);
    };
    QTest::newRow("OutW 3F8 A1B2")
        << QByteArray("OutW 3F8 A1B2") << 0 << QStringList{"W 3f8 b2", "W 3f9 a1"} << QString();
    QTest::newRow("OutW 3FE 1234")
        << QByteArray("OutW 3FE 1234") << 0 << QStringList{"W 3fe 34", "W 3ff 12"} << QString();
    QTest::newRow("OutW 3FF 1234")
        << QByteArray("OutW 3FF 1234") << -1 << QStringList() << outside("3FF", 2);
    QTest::newRow("OutW 2E7 1234")
        << QByteArray("OutW 2E7 1234") << -1 << QStringList() << outside("2E7", 2);
    QTest::newRow("OutD 3FC 11223344")
        << QByteArray("OutD 3FC 11223344") << 0
        << QStringList{"W 3fc 44", "W 3fd 33", "W 3fe 22", "W 3ff 11"} << QString();
    QTest::newRow("OutD 3FD 11223344")
        << QByteArray("OutD 3FD 11223344") << -1 << QStringList() << outside("3FD", 4);
    QTest::newRow("OutD 2E5 11223344")
        << QByteArray("OutD 2E5 11223344") << -1 << QStringList() << outside("2E5", 4);
    QTest::newRow("InpW 2EE") << QByteArray("OutW 2EE 1234;InpW 2EE") << 0x1234
                              << QStringList{"W 2ee 34", "W 2ef 12", "R 2ee 34", "R 2ef 12"}
                              << QString();
    QTest::newRow("InpW 2EF") << QByteArray("InpW 2EF") << 0 << QStringList() << outside("2EF", 2);
    QTest::newRow("InpD 3EC") << QByteArray("OutD 3EC 8899AABB;InpD 3EC")
                              << static_cast<int>(0x8899AABBu)
                              << QStringList{"W 3ec bb", "W 3ed aa", "W 3ee 99", "W 3ef 88",
                                             "R 3ec bb", "R 3ed aa", "R 3ee 99", "R 3ef 88"}
                              << QString();
    QTest::newRow("InpD 3ED") << QByteArray("InpD 3ED") << 0 << QStringList() << outside("3ED", 4);
    QTest::newRow("InpD 2F7") << QByteArray("InpD 2F7") << 0 << QStringList() << outside("2F7", 4);
    // A sequence is one request: the helper checks every port before it touches any.
    QTest::newRow("Seq W3FF:5A R3FF P3FF:5A/FF/1000 S1000")
        << QByteArray("Seq W3FF:5A R3FF P3FF:5A/FF/1000 S1000") << 4
        << QStringList{"W 3ff 5a", "R 3ff 5a", "R 3ff 5a"} << QString();
    QTest::newRow("Seq W3FF:5A R400")
        << QByteArray("Seq W3FF:5A R400") << 0 << QStringList()
        << QStringLiteral("2 番目の手順のポート 0x400 は COM ポートの範囲");
    QTest::newRow("Seq W3FF:5A P2E7:0/1/1000")
        << QByteArray("Seq W3FF:5A P2E7:0/1/1000") << 0 << QStringList()
        << QStringLiteral("2 番目の手順のポート 0x2E7 は");
    QTest::newRow("Seq Rx4097") << QByteArray("Seq Rx4097") << 0 << QStringList()
                                << QStringLiteral("4096 個まで");
    QTest::newRow("Seq S600000000 P3F8:1/1/400000001")
        << QByteArray("Seq S600000000 P3F8:1/1/400000001") << 0 << QStringList()
        << QStringLiteral("1 秒を超えます");
}

// A wide access that would reach outside a COM window touches no port at all; one inside
// touches each byte once, low byte first.
void TestPortioLib::wideAccessesAtTheWindowEdges() {
    QFETCH(QByteArray, calls);
    QFETCH(int, value);
    QFETCH(QStringList, accesses);
    QFETCH(QString, error);
    QVERIFY(startHelper("ok"));
    int32_t result = 0;
    for (const QByteArray& call : calls.split(';'))
        result = run(call);
    QCOMPARE(g_folder->accesses(), accesses);
    QCOMPARE(result, value);
    QVERIFY2(error.isEmpty() ? IOSCM_LastError() == nullptr : lastError().contains(error),
             qPrintable(lastError()));
}

void TestPortioLib::helperFailsPartWay_data() {
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("accesses");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("nextError");  // of an InpB right after; empty: it succeeds
    const QString refused = QStringLiteral("要求を拒否しました: refused by fakeportd");
    const QString gone = QStringLiteral("開始されていません");
    QTest::newRow("OutD, second byte refused")
        << QByteArray("refuse-2nd") << QByteArray("OutD 3F8 44332211") << -1
        << QStringList{"W 3f8 11"} << refused << QString();
    QTest::newRow("InpD, second byte refused")
        << QByteArray("refuse-2nd") << QByteArray("InpD 3F8") << 0 << QStringList{"R 3f8 0"}
        << refused << QString();
    QTest::newRow("OutW, helper exits after the first byte")
        << QByteArray("die-after-1") << QByteArray("OutW 3F8 1234") << -1 << QStringList{"W 3f8 34"}
        << QStringLiteral("が終了しました。") << gone;
    QTest::newRow("sequence, malformed reply")
        << QByteArray("short") << QByteArray("Seq W3F8:1 R3F8") << 0 << QStringList()
        << QStringLiteral("不正な形式の応答") << gone;
    QTest::newRow("InpW, malformed reply to the first byte")
        << QByteArray("short") << QByteArray("InpW 3F8") << 0 << QStringList()
        << QStringLiteral("不正な形式の応答") << gone;
}

// A wide access stops at the first byte that fails: it reports that byte's reason, returns
// what a failure returns, and touches no byte after it. Bytes before it stay written.
void TestPortioLib::helperFailsPartWay() {
    QFETCH(QByteArray, mode);
    QFETCH(QByteArray, call);
    QFETCH(int, value);
    QFETCH(QStringList, accesses);
    QFETCH(QString, error);
    QFETCH(QString, nextError);
    QVERIFY(startHelper(mode.constData()));
    QCOMPARE(run(call), value);
    QVERIFY2(lastError().contains(error), qPrintable(lastError()));
    QCOMPARE(g_folder->accesses(), accesses);

    InpB(0x3F8);
    QVERIFY2(nextError.isEmpty() ? IOSCM_LastError() == nullptr : lastError().contains(nextError),
             qPrintable(lastError()));
}

QTEST_APPLESS_MAIN(TestPortioLib)
#include "tst_portiolib.moc"
