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
