// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "handlers/registermap.h"
#include "tests/fakes/recordingdialogs.h"

namespace {

const QString kFallback = QStringLiteral("規定外のアドレスが指定されています。0x3F8に変更します。");

QStringList toList(const std::array<QString, kRegisterCount>& captions) {
    return QStringList(captions.begin(), captions.end());
}

QList<int> toList(const PortAddresses& ports) {
    return QList<int>(ports.begin(), ports.end());
}

QStringList captionsFor(const QString& digits) {
    const QStringList names{u"デバイザラッチ"_qs,  u"通信割込制御"_qs, u"通信割込表示"_qs,
                            u"回線制御"_qs,        u"モデム制御"_qs,   u"回線ステータス"_qs,
                            u"モデムステータス"_qs};
    QStringList captions;
    for (int i = 0; i < kRegisterCount; ++i)
        captions << names[i] + u'(' + digits.arg(QChar(u"89ABCDE"[i])) + u')';
    return captions;
}

}  // namespace

class TestRegisterMap : public QObject {
    Q_OBJECT

private slots:
    void standardBases_data();
    void standardBases();
    void otherBasesFallBack_data();
    void otherBasesFallBack();
};

void TestRegisterMap::standardBases_data() {
    QTest::addColumn<int>("base");
    QTest::addColumn<QStringList>("captions");

    QTest::newRow("0x3F8") << 0x3F8 << captionsFor(u"3F%1"_qs);
    QTest::newRow("0x2F8") << 0x2F8 << captionsFor(u"2F%1"_qs);
    QTest::newRow("0x3E8") << 0x3E8 << captionsFor(u"3E%1"_qs);
    QTest::newRow("0x2E8") << 0x2E8 << captionsFor(u"2E%1"_qs);
}

void TestRegisterMap::standardBases() {
    QFETCH(int, base);
    QFETCH(QStringList, captions);
    const QList<int> ports{base, base + 1, base + 2, base + 3, base + 4, base + 5, base + 6};

    RecordingDialogs dialogs;
    PortAddresses portAdr{};
    // A second click of the option already chosen must change nothing and say nothing.
    for (int click = 0; click < 2; ++click) {
        optBase_Click(static_cast<int16_t>(base), portAdr, dialogs);
        QCOMPARE(toList(portAdr), ports);
        QCOMPARE(toList(frameCaptions(portAdr)), captions);
    }
    QVERIFY(dialogs.shown.empty());
}

void TestRegisterMap::otherBasesFallBack_data() {
    QTest::addColumn<int>("base");
    QTest::newRow("0") << 0;
    QTest::newRow("0x3F9") << 0x3F9;
    QTest::newRow("0x2F0") << 0x2F0;
    QTest::newRow("-8 (0xFFF8)") << -8;
    QTest::newRow("0x7FFF") << 0x7FFF;
}

void TestRegisterMap::otherBasesFallBack() {
    QFETCH(int, base);
    RecordingDialogs dialogs;
    PortAddresses portAdr{static_cast<int16_t>(base), 1, 2, 3, 4, 5, 6};

    setPortAddresses(portAdr, dialogs);

    QCOMPARE(dialogs.texts(), QStringList{kFallback});
    QCOMPARE(dialogs.shown[0].detail, QString());
    QCOMPARE(toList(portAdr), (QList<int>{0x3F8, 0x3F9, 0x3FA, 0x3FB, 0x3FC, 0x3FD, 0x3FE}));
    QCOMPARE(toList(frameCaptions(portAdr)), captionsFor(u"3F%1"_qs));
}

QTEST_APPLESS_MAIN(TestRegisterMap)
#include "tst_registermap.moc"
