// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "text/quoted.h"

class TestQuoted : public QObject {
    Q_OBJECT

private slots:
    void quoted_data();
    void quoted();
};

// What a hostile or careless text turns into before it reaches a terminal.
void TestQuoted::quoted_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("maxChars");
    QTest::addColumn<QString>("shown");

    const auto row = [](const char* name, QByteArray raw, int maxChars, const char* shown) {
        QTest::newRow(name) << raw << maxChars << QString::fromUtf8(shown);
    };
    row("plain", "W 3FB 83", 40, "W 3FB 83");
    row("Japanese passes", "不明な命令", 40, "不明な命令");
    row("full-width digits pass", "５５", 40, "５５");
    row("ESC and BEL", "\x1b]0;pwned\x07", 40, "\\x1B]0;pwned\\x07");
    row("clear screen", "W 3FF \x1b[2J", 40, "W 3FF \\x1B[2J");
    row("NUL, tab, CR, DEL", QByteArray("a\0b\tc\rd\x7f", 8), 40, "a\\x00b\\x09c\\x0Dd\\x7F");
    row("backslash is doubled so escapes stay unambiguous", "a\\x1B", 40, "a\\\\x1B");
    row("C1 control in UTF-8", "a\302\2332J", 40, "a\\u009B2J");
    row("right-to-left override", "abc\342\200\256fed", 40, "abc\\u202Efed");
    row("byte order mark", "\xef\xbb\xbfW", 40, "\\uFEFFW");
    row("zero-width space", "W\xe2\x80\x8b", 40, "W\\u200B");
    row("line separator", "a\342\200\250b", 40, "a\\u2028b");
    row("soft hyphen", "3F\302\255D", 40, "3F\\u00ADD");
    row("combining grapheme joiner", "a\315\217b", 40, "a\\u034Fb");
    row("Mongolian vowel separator", "a\341\240\216b", 40, "a\\u180Eb");
    row("invisible times", "a\342\201\242b", 40, "a\\u2062b");
    row("invisible plus, the last of its block", "a\342\201\244b", 40, "a\\u2064b");
    row("Hangul filler", "a\343\205\244b", 40, "a\\u3164b");
    row("Hangul choseong filler", "a\341\205\237b", 40, "a\\u115Fb");
    row("Hangul jungseong filler", "a\341\205\240b", 40, "a\\u1160b");
    row("half-width Hangul filler", "a\357\276\240b", 40, "a\\uFFA0b");
    row("variation selector 1", "a\357\270\200b", 40, "a\\uFE00b");
    row("variation selector 16", "a\357\270\217b", 40, "a\\uFE0Fb");
    row("interlinear annotation anchor", "a\357\277\271b", 40, "a\\uFFF9b");
    row("interlinear annotation terminator", "a\357\277\273b", 40, "a\\uFFFBb");
    row("language tag", "a\363\240\200\201b", 40, "a\\U000E0001b");
    row("cancel tag", "a\363\240\201\277b", 40, "a\\U000E007Fb");
    row("tag letters spell nothing visible", "3F8\363\240\201\201\363\240\201\202", 40,
        "3F8\\U000E0041\\U000E0042");
    row("zero-width non-joiner", "a\342\200\214b", 40, "a\\u200Cb");
    row("right-to-left mark", "a\342\200\217b", 40, "a\\u200Fb");
    row("word joiner", "a\342\201\240b", 40, "a\\u2060b");
    row("object replacement character is drawn", "a\357\277\274b", 40, "a\357\277\274b");
    row("emoji beyond the basic plane is drawn", "a\360\237\230\200b", 40, "a\360\237\230\200b");
    row("invalid byte", "a\377b", 40, "a\\xFFb");
    row("truncated sequence", "a\xe3\x81", 40, "a\\xE3\\x81");
    row("overlong slash", "\xc0\xaf", 40, "\\xC0\\xAF");
    row("surrogate", "\xed\xa0\x80", 40, "\\xED\\xA0\\x80");
    row("cut after maxChars characters", "0123456789", 4, "0123…");
    row("cut counts characters, not bytes", "あいうえお", 2, "あい…");
    row("exactly maxChars is not cut", "0123", 4, "0123");
    row("a long run of NULs is cut", QByteArray(100000, '\0'), 3, "\\x00\\x00\\x00…");
}

void TestQuoted::quoted() {
    QFETCH(QByteArray, raw);
    QFETCH(int, maxChars);
    QFETCH(QString, shown);

    const std::string result =
        text::quoted(std::string_view(raw.constData(), static_cast<std::size_t>(raw.size())),
                     static_cast<std::size_t>(maxChars));
    QCOMPARE(QString::fromStdString(result), shown);
}

QTEST_APPLESS_MAIN(TestQuoted)
#include "tst_quoted.moc"
