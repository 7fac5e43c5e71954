// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "handlers/outputsync.h"
#include "tests/handlers/fakerowfields.h"

Q_DECLARE_METATYPE(ValueForm)

using Event = FakeRowFields::Event;

namespace {

// What the row held before the user typed into one of its boxes.
const QString kOldHex = QStringLiteral("AA");
const QString kOldDec = QStringLiteral("170");
const QString kOldBin = QStringLiteral("10101010");

}  // namespace

class TestOutputSync : public QObject {
    Q_OBJECT

private slots:
    void leaveBox_data();
    void leaveBox();
};

void TestOutputSync::leaveBox_data() {
    QTest::addColumn<ValueForm>("left");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("dec");
    QTest::addColumn<QString>("bin");
    QTest::addColumn<bool>("synced");

    const auto hexRow = [](const char* typed, const char* hex, const char* dec, const char* bin) {
        QTest::addRow("Hex \"%s\"", typed)
            << ValueForm::Hex << QString::fromUtf8(typed) << QString::fromUtf8(hex)
            << QString::fromUtf8(dec) << QString::fromUtf8(bin) << true;
    };
    const auto decRow = [](const char* typed, const char* hex, const char* bin) {
        QTest::addRow("Dec \"%s\"", typed)
            << ValueForm::Dec << QString::fromUtf8(typed) << QString::fromUtf8(hex)
            << QString::fromUtf8(typed) << QString::fromUtf8(bin) << true;
    };
    const auto binRow = [](const char* typed, const char* hex, const char* dec) {
        QTest::addRow("Bin \"%s\"", typed)
            << ValueForm::Bin << QString::fromUtf8(typed) << QString::fromUtf8(hex)
            << QString::fromUtf8(dec) << QString::fromUtf8(typed) << true;
    };
    // A text the box cannot be read as: every box keeps its text.
    const auto unreadableRow = [](ValueForm form, const char* name, const char* typed) {
        const QString text = QString::fromUtf8(typed);
        QTest::addRow("%s \"%s\"", name, typed)
            << form << text << (form == ValueForm::Hex ? text : kOldHex)
            << (form == ValueForm::Dec ? text : kOldDec) << kOldBin << false;
    };

    hexRow("80", "80", "128", "10000000");
    hexRow("7f", "7F", "127", "01111111");
    hexRow("5", "05", "5", "00000101");
    hexRow("", "00", "0", "00000000");
    hexRow("1FF", "FF", "511", "11111111");
    hexRow("FFFF", "FF", "-1", "11111111");
    hexRow("8000", "00", "-32768", "00000000");
    hexRow("7 F", "7F", "127", "01111111");
    unreadableRow(ValueForm::Hex, "Hex", "123456789");

    decRow("96", "60", "01100000");
    decRow("300", "2C", "00101100");
    decRow("-1", "FF", "11111111");
    decRow("12.5", "0C", "00001100");
    decRow(" 65 ", "41", "01000001");
    decRow("-2147483648", "00", "00000000");
    decRow("１２", "0C", "00001100");
    decRow("－３．５", "FC", "11111100");
    for (const char* typed : {"", "  ", "abc", "2147483648"})
        unreadableRow(ValueForm::Dec, "Dec", typed);

    binRow("01100000", "60", "96");
    binRow("1", "80", "128");
    binRow("abc", "00", "0");
    binRow("", "00", "0");
}

void TestOutputSync::leaveBox() {
    QFETCH(ValueForm, left);
    QFETCH(QString, typed);
    QFETCH(QString, hex);
    QFETCH(QString, dec);
    QFETCH(QString, bin);
    QFETCH(bool, synced);

    FakeRowFields fields;
    fields.setOutputs(kOldHex, kOldDec, kOldBin);
    fields.outputs[left] = typed;

    txtOutput_Validate(left, fields, kBitWeight);

    QCOMPARE(fields.output(ValueForm::Hex), hex);
    QCOMPARE(fields.output(ValueForm::Dec), dec);
    QCOMPARE(fields.output(ValueForm::Bin), bin);

    // The order of the sets matters to the window: the repaint comes after all of them.
    std::vector<Event> expected;
    if (synced) {
        switch (left) {
            case ValueForm::Hex:
                expected = {{Event::SetOutput, ValueForm::Dec, dec},
                            {Event::SetOutput, ValueForm::Bin, bin},
                            {Event::SetOutput, ValueForm::Hex, hex},
                            {Event::Repaint, ValueForm::Hex, {}}};
                break;
            case ValueForm::Dec:
                expected = {{Event::SetOutput, ValueForm::Hex, hex},
                            {Event::SetOutput, ValueForm::Bin, bin},
                            {Event::Repaint, ValueForm::Hex, {}}};
                break;
            case ValueForm::Bin:
                expected = {{Event::SetOutput, ValueForm::Dec, dec},
                            {Event::SetOutput, ValueForm::Hex, hex}};
                break;
        }
    }
    QVERIFY(fields.events == expected);
    QVERIFY(fields.inputs.empty());
}

QTEST_APPLESS_MAIN(TestOutputSync)
#include "tst_outputsync.moc"
