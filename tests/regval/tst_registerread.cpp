#include <QTest>

#include "fakeportlibrary.h"
#include "fakerowfields.h"
#include "recordingdialogs.h"
#include "registerread.h"

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

    QTest::newRow("0x00") << 0x00 << "00"
                          << "0"
                          << "00000000";
    QTest::newRow("0x0A") << 0x0A << "0A"
                          << "10"
                          << "00001010";
    QTest::newRow("0x41") << 0x41 << "41"
                          << "65"
                          << "01000001";
    QTest::newRow("0xFF") << 0xFF << "FF"
                          << "255"
                          << "11111111";
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

    FakeRowFields fields;
    fields.setOutputs(QStringLiteral("80"), QStringLiteral("128"), QStringLiteral("10000000"));
    FakePortLibrary library;
    library.inpBResult.value = value;
    RecordingDialogs dialogs;

    cmdInput_Click({-1, 0x2FD, fields, library, dialogs, kBitWeight});

    QVERIFY((library.calls == std::vector<Call>{{Call::InpB, 0x2FD}}));
    const std::vector<Event> expected{{Event::SetInput, ValueForm::Hex, hex},
                                      {Event::SetInput, ValueForm::Dec, dec},
                                      {Event::SetInput, ValueForm::Bin, bin}};
    QVERIFY(fields.events == expected);
    QCOMPARE(fields.output(ValueForm::Dec), QStringLiteral("128"));
    QVERIFY(dialogs.shown.empty());
}

void TestRegisterRead::refusedWithoutSession() {
    FakeRowFields fields;
    FakePortLibrary library;
    RecordingDialogs dialogs;

    cmdInput_Click({0, 0x3F8, fields, library, dialogs, kBitWeight});

    QVERIFY(library.calls.empty());
    QVERIFY(fields.events.empty());
    QCOMPARE(dialogs.shown.size(), 1u);
    QVERIFY(!dialogs.shown[0].isConfirm);
    QCOMPARE(dialogs.shown[0].text, QStringLiteral("I/O制御開始処理を行ってください。"));
    QCOMPARE(dialogs.shown[0].detail, QString());
}

void TestRegisterRead::readsOncePerPress() {
    FakeRowFields fields;
    FakePortLibrary library;
    int next = 0x60;
    library.readValue = [&next](int16_t) { return next++; };
    RecordingDialogs dialogs;
    const RowContext row{1, 0x3FD, fields, library, dialogs, kBitWeight};

    cmdInput_Click(row);
    cmdInput_Click(row);

    QVERIFY((library.calls == std::vector<Call>{{Call::InpB, 0x3FD}, {Call::InpB, 0x3FD}}));
    QCOMPARE(fields.events.size(), 6u);
    QCOMPARE(fields.inputs[ValueForm::Hex], QStringLiteral("61"));
    QCOMPARE(fields.inputs[ValueForm::Dec], QStringLiteral("97"));
    QCOMPARE(fields.inputs[ValueForm::Bin], QStringLiteral("01100001"));
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

    FakeRowFields fields;
    FakePortLibrary library;
    library.inpBResult = PortCall{made, 0, error.toStdString()};
    RecordingDialogs dialogs;

    cmdInput_Click({-1, 0x3FD, fields, library, dialogs, kBitWeight});

    QCOMPARE(library.calls.size(), 1u);
    QVERIFY(fields.events.empty());
    QCOMPARE(dialogs.shown.size(), 1u);
    QVERIFY(!dialogs.shown[0].isConfirm);
    QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("0x3FD")));
    QCOMPARE(dialogs.shown[0].detail, error);
}

QTEST_APPLESS_MAIN(TestRegisterRead)
#include "tst_registerread.moc"
