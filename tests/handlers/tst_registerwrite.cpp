// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "handlers/registerwrite.h"
#include "tests/handlers/rowrig.h"

using Call = FakePortLibrary::Call;

namespace {

QString confirmation(const char* port, const char* hex) {
    return QStringLiteral("コントロールポート：0x") + QString::fromLatin1(port) +
           QStringLiteral("にデータ：0x") + QString::fromLatin1(hex) +
           QStringLiteral("を書きこみます");
}

struct Press : RowRig {
    void run(int16_t port, int confirmState, int16_t ioStarted = -1) {
        cmdOutput_Click(context(port, ioStarted), confirmState);
    }
};

}  // namespace

class TestRegisterWrite : public QObject {
    Q_OBJECT

private slots:
    void refusedWithoutSession();
    void emptyDecResetsFirst_data();
    void emptyDecResetsFirst();
    void confirmOffWritesAtOnce_data();
    void confirmOffWritesAtOnce();
    void confirmationText_data();
    void confirmationText();
    void writesDecValue_data();
    void writesDecValue();
    void twoPressesWriteTwice();
    void unconvertibleWritesNothing_data();
    void unconvertibleWritesNothing();
    void failedWrite();
};

void TestRegisterWrite::refusedWithoutSession() {
    Press p;
    p.run(0x3F8, 1, 0);
    p.verifyRefused();
}

void TestRegisterWrite::emptyDecResetsFirst_data() {
    QTest::addColumn<bool>("answer");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TestRegisterWrite::emptyDecResetsFirst() {
    QFETCH(bool, answer);
    Press p;
    p.fields.setOutputs(QStringLiteral("7F"), QString(), QStringLiteral("01111111"));
    p.dialogs.answers = {answer};
    p.run(0x3F8, 1);

    const std::vector<FakeRowFields::Event> reset{
        {FakeRowFields::Event::SetOutput, ValueForm::Dec, QStringLiteral("0")},
        {FakeRowFields::Event::SetOutput, ValueForm::Hex, QStringLiteral("00")},
        {FakeRowFields::Event::SetOutput, ValueForm::Bin, QStringLiteral("00000000")}};
    QVERIFY(p.fields.events == reset);
    QCOMPARE(p.dialogs.shown.size(), 1u);
    QCOMPARE(p.dialogs.shown[0].title, QStringLiteral("確認"));
    QCOMPARE(p.dialogs.shown[0].text, confirmation("3F8", "00"));
    if (answer)
        QVERIFY((p.library.calls == std::vector<Call>{{Call::OutB, 0x3F8, 0}}));
    else
        QVERIFY(p.library.calls.empty());
}

void TestRegisterWrite::confirmOffWritesAtOnce_data() {
    QTest::addColumn<int>("confirmState");
    QTest::newRow("cleared 0") << 0;
    QTest::newRow("grey 2") << 2;
}

void TestRegisterWrite::confirmOffWritesAtOnce() {
    QFETCH(int, confirmState);
    Press p;
    p.fields.setOutputs(QStringLiteral("41"), QStringLiteral("65"), QStringLiteral("01000001"));
    p.run(0x3F9, confirmState);

    QVERIFY(p.dialogs.shown.empty());
    QVERIFY((p.library.calls == std::vector<Call>{{Call::OutB, 0x3F9, 65}}));
    QVERIFY(p.fields.events.empty());
}

void TestRegisterWrite::confirmationText_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("dec");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("written");

    QTest::newRow("0x3FB hex 80") << 0x3FB << "80"
                                  << "128" << confirmation("3FB", "80") << 128;
    QTest::newRow("0x2EE hex 41") << 0x2EE << "41"
                                  << "65" << confirmation("2EE", "41") << 65;
    // The hex box is quoted as it stands, even when it does not match the value written.
    QTest::newRow("0x3E8 hex 7f ") << 0x3E8 << "7f "
                                   << "300" << confirmation("3E8", "7f ") << 300;
}

void TestRegisterWrite::confirmationText() {
    QFETCH(int, port);
    QFETCH(QString, hex);
    QFETCH(QString, dec);
    QFETCH(QString, text);
    QFETCH(int, written);

    Press p;
    p.fields.setOutputs(hex, dec, QStringLiteral("x"));
    p.run(static_cast<int16_t>(port), 1);

    QCOMPARE(p.dialogs.shown.size(), 1u);
    QVERIFY(p.dialogs.shown[0].isConfirm);
    QCOMPARE(p.dialogs.shown[0].title, QStringLiteral("確認"));
    QCOMPARE(p.dialogs.shown[0].text, text);
    QVERIFY((p.library.calls == std::vector<Call>{{Call::OutB, static_cast<int16_t>(port),
                                                   static_cast<int16_t>(written)}}));
}

void TestRegisterWrite::writesDecValue_data() {
    QTest::addColumn<QString>("dec");
    QTest::addColumn<int>("written");

    QTest::newRow("\"300\"") << "300" << 300;
    QTest::newRow("\"12.5\"") << "12.5" << 12;
    QTest::newRow("\"13.5\"") << "13.5" << 14;
    QTest::newRow("\"-1\"") << "-1" << -1;
    QTest::newRow("\" 65 \"") << " 65 " << 65;
    QTest::newRow("\"１２\" (full-width)") << QStringLiteral("１２") << 12;
    QTest::newRow("\"32767\"") << "32767" << 32767;
    QTest::newRow("\"-32768\"") << "-32768" << -32768;
}

void TestRegisterWrite::writesDecValue() {
    QFETCH(QString, dec);
    QFETCH(int, written);

    Press p;
    p.fields.setOutputs(QStringLiteral("00"), dec, QStringLiteral("00000000"));
    p.run(0x3FC, 0);

    QVERIFY(
        (p.library.calls == std::vector<Call>{{Call::OutB, 0x3FC, static_cast<int16_t>(written)}}));
    QCOMPARE(p.fields.output(ValueForm::Dec), dec);
    QVERIFY(p.dialogs.shown.empty());
}

void TestRegisterWrite::twoPressesWriteTwice() {
    Press p;
    p.fields.setOutputs(QStringLiteral("05"), QStringLiteral("5"), QStringLiteral("00000101"));
    p.run(0x2F8, 1);
    p.run(0x2F8, 1);

    QCOMPARE(p.dialogs.shown.size(), 2u);
    QVERIFY((p.library.calls == std::vector<Call>{{Call::OutB, 0x2F8, 5}, {Call::OutB, 0x2F8, 5}}));
}

void TestRegisterWrite::unconvertibleWritesNothing_data() {
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("dec");
    QTest::addColumn<QString>("quoted");  // the text the message names
    QTest::addColumn<QString>("says");    // what the message says about it
    const QString range = QStringLiteral("-32768～32767");
    const QString unreadable = QStringLiteral("10進数の出力データ");
    for (const char* text : {"40000", "-32769", "32767.5", "99999999999999"}) {
        QTest::addRow("Dec \"%s\"", text) << QStringLiteral("41") << QString::fromLatin1(text)
                                          << QString::fromLatin1(text) << range;
    }
    // No number at all: the Hex box beside it (41, say) was never brought into step with it,
    // so neither box's value may be written.
    for (const char* text : {"abc", "  ", "%2", "１２ａ", "　５"}) {
        QTest::addRow("Dec \"%s\"", text) << QStringLiteral("41") << QString::fromUtf8(text)
                                          << QString::fromUtf8(text) << unreadable;
    }
    // A pasted text is named by its start, with what it hides shown as escapes.
    QTest::newRow("Dec pasted with a tab, long")
        << QStringLiteral("41") << QStringLiteral("1\t") + QString(50, u'2')
        << QStringLiteral("1\\x09") + QString(38, u'2') + u'…' << unreadable;
    // Nine digits cannot be read, so leaving the box left an older value in the Dec box.
    QTest::newRow("Hex \"123456789\" beside Dec 5")
        << QStringLiteral("123456789") << QStringLiteral("5") << QStringLiteral("123456789")
        << QStringLiteral("16進数");
}

void TestRegisterWrite::unconvertibleWritesNothing() {
    QFETCH(QString, hex);
    QFETCH(QString, dec);
    QFETCH(QString, quoted);
    QFETCH(QString, says);

    Press p;
    p.fields.setOutputs(hex, dec, QStringLiteral("01000001"));
    p.run(0x3F8, 1);

    QVERIFY(p.library.calls.empty());
    QVERIFY(p.fields.events.empty());
    // Told why at once, without first being asked to confirm a write that cannot happen.
    QCOMPARE(p.dialogs.shown.size(), 1u);
    QVERIFY(!p.dialogs.shown[0].isConfirm);
    const QString& text = p.dialogs.shown[0].text;
    QVERIFY2(text.contains(QStringLiteral("「") + quoted + QStringLiteral("」")), qPrintable(text));
    QVERIFY2(text.contains(says), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("書き込みませんでした")), qPrintable(text));
}

void TestRegisterWrite::failedWrite() {
    Press p;
    p.fields.setOutputs(QStringLiteral("80"), QStringLiteral("128"), QStringLiteral("10000000"));
    p.library.outBResult = PortCall{true, -1, "helper refused the port"};
    p.run(0x3FB, 0);

    QCOMPARE(p.library.calls.size(), 1u);
    QCOMPARE(p.dialogs.shown.size(), 1u);
    const RecordingDialogs::Shown& shown = p.dialogs.shown[0];
    QVERIFY2(shown.text.contains(QStringLiteral("0x3FB")), qPrintable(shown.text));
    QVERIFY2(shown.text.contains(QStringLiteral("128")), qPrintable(shown.text));
    QCOMPARE(shown.detail, QStringLiteral("helper refused the port"));
}

QTEST_APPLESS_MAIN(TestRegisterWrite)
#include "tst_registerwrite.moc"
