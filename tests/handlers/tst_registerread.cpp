// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "handlers/registerread.h"
#include "tests/handlers/rowrig.h"

using Event = FakeRowFields::Event;
using Call = FakePortLibrary::Call;

class TestRegisterRead : public QObject {
    Q_OBJECT

private slots:
    void showsValue_data();
    void showsValue();
    void refusedWithoutSession();
    void readsOncePerPress();
    void failedRead_data();
    void failedRead();
};

void TestRegisterRead::showsValue_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("dec");
    QTest::addColumn<QString>("bin");

    QTest::newRow("0x0A") << 0x0A << "0A"
                          << "10"
                          << "00001010";
    QTest::newRow("0x41") << 0x41 << "41"
                          << "65"
                          << "01000001";
    // Not a byte: shown as the library gave it, never masked.
    QTest::newRow("0x12C") << 0x12C << "2C"
                           << "300"
                           << "00101100";
}

void TestRegisterRead::showsValue() {
    QFETCH(int, value);
    QFETCH(QString, hex);
    QFETCH(QString, dec);
    QFETCH(QString, bin);

    RowRig r;
    r.library.inpBResult.value = value;

    cmdInput_Click(r.context(0x2FD));

    QVERIFY((r.library.calls == std::vector<Call>{{Call::InpB, 0x2FD}}));
    const std::vector<Event> expected{{Event::SetInput, ValueForm::Hex, hex},
                                      {Event::SetInput, ValueForm::Dec, dec},
                                      {Event::SetInput, ValueForm::Bin, bin}};
    QVERIFY(r.fields.events == expected);
    QVERIFY(r.dialogs.shown.empty());
}

void TestRegisterRead::refusedWithoutSession() {
    RowRig r;
    cmdInput_Click(r.context(0x3F8, 0));
    r.verifyRefused();
}

void TestRegisterRead::readsOncePerPress() {
    RowRig r;
    int next = 0x60;
    r.library.readValue = [&next](int16_t) { return next++; };
    const RowContext row = r.context(0x3FD, 1);

    cmdInput_Click(row);
    cmdInput_Click(row);

    QVERIFY((r.library.calls == std::vector<Call>{{Call::InpB, 0x3FD}, {Call::InpB, 0x3FD}}));
    QCOMPARE(r.fields.events.size(), 6u);
    QCOMPARE(r.fields.inputs[ValueForm::Hex], QStringLiteral("61"));
    QCOMPARE(r.fields.inputs[ValueForm::Dec], QStringLiteral("97"));
    QCOMPARE(r.fields.inputs[ValueForm::Bin], QStringLiteral("01100001"));
}

void TestRegisterRead::failedRead_data() {
    QTest::addColumn<bool>("made");
    QTest::addColumn<QString>("error");

    QTest::newRow("library error") << true << QStringLiteral("port 0x3FD is outside the windows");
    QTest::newRow("function missing") << false << QStringLiteral("undefined symbol: InpB");
}

void TestRegisterRead::failedRead() {
    QFETCH(bool, made);
    QFETCH(QString, error);

    RowRig r;
    r.library.inpBResult = PortCall{made, 0, error.toStdString()};

    cmdInput_Click(r.context(0x3FD));

    QCOMPARE(r.library.calls.size(), 1u);
    QVERIFY(r.fields.events.empty());
    QCOMPARE(r.dialogs.shown.size(), 1u);
    QVERIFY(!r.dialogs.shown[0].isConfirm);
    QVERIFY(r.dialogs.shown[0].text.contains(QStringLiteral("0x3FD")));
    QCOMPARE(r.dialogs.shown[0].detail, error);
}

QTEST_APPLESS_MAIN(TestRegisterRead)
#include "tst_registerread.moc"
