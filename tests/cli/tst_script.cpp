// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "cli/hexnumber.h"
#include "cli/script.h"

namespace {

// A parsed line in one canonical form: the statement as the program would print it,
// "" for a line without one, or "error: " and the reason.
QString outcome(const cli::ParsedLine& parsed) {
    if (!parsed.error.empty())
        return QStringLiteral("error: ") + QString::fromStdString(parsed.error);
    if (!parsed.statement)
        return {};
    const cli::Statement& s = *parsed.statement;
    const std::string port = cli::hexPort(s.port);
    const std::string value = cli::hexByte(s.value);
    switch (s.kind) {
        case cli::Statement::Kind::Write:
            return QString::fromStdString("W " + port + " " + value);
        case cli::Statement::Kind::Mask:
            return QString::fromStdString("MASK " + port + " " + value);
        case cli::Statement::Kind::Read:
            return QString::fromStdString("R " + port + (s.expects ? " = " + value : ""));
    }
    return QStringLiteral("?");
}

}  // namespace

class TestScript : public QObject {
    Q_OBJECT

private slots:
    void parseLine_data();
    void parseLine();
};

// Good lines give their statement; a bad line's reason starts with the expected text.
void TestScript::parseLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* line, const char* expected) {
        QTest::newRow(line) << QString::fromUtf8(line) << QString::fromUtf8(expected);
    };
    row("W 3FB 83", "W 3FB 83");
    row("w 0x3fb 0X8a", "W 3FB 8A");
    row("\tW 3F8 000000FF\r", "W 3F8 FF");
    row("R 2E8", "R 2E8");
    row("R 2EF", "R 2EF");
    row("R 3FF", "R 3FF");
    row("R 3FD = 60", "R 3FD = 60");
    row("r 3fd=0x6a", "R 3FD = 6A");
    row("R 3FD = 60  # LSR 回線ステータス; THRE = 1", "R 3FD = 60");
    row("MASK 3FE F0", "MASK 3FE F0");
    row("mask 3FE 00", "MASK 3FE 00");
    row("", "");
    row("   # comment only", "");

    row("X 3F8", "error: 不明な命令「X」です");
    row("WRITE 3F8 00", "error: 不明な命令「WRITE」です");
    row("W 3F8", "error: W ポート 値 と書いてください");
    row("R", "error: R ポート、");
    row("MASK 3FE", "error: MASK ポート ビット と書いてください");
    row("R 2E7", "error: ポート「2E7」は COM ポートの範囲");
    row("R 2F0", "error: ポート「2F0」は COM ポートの範囲");
    row("R 400", "error: ポート「400」は COM ポートの範囲");
    row("R 100003F8", "error: ポート「100003F8」は COM ポートの範囲");
    row("R 3G8", "error: 「3G8」は16進数のポートではありません");
    row("W 3F8 100", "error: 値「100」は 1 バイト（00-FF）に収まりません");
    row("W 3F8 1000000FF", "error: 値「1000000FF」は 1 バイト");
    row("W 3F8 -1", "error: 「-1」は16進数の値ではありません");
    row("W 3F8 0x", "error: 「0x」は16進数の値ではありません");
    row("W 3F8 ５５", "error: 「５５」は16進数の値ではありません");
    row("W 3F8 55 AA", "error: 値の後に余分な文字「AA」があります");
    row("MASK 3FE F0 0F", "error: ビットの後に余分な文字「0F」があります");
    row("R 3FD 60", "error: ポートの後に余分な文字「60」があります");
    row("R 3FD = 60 61", "error: 期待値の後に余分な文字「61」があります");
    row("R 3FD =", "error: 「=」の後に期待値がありません");
    row("R 3FD = = 60", "error: 「=」は16進数の値ではありません");
}

void TestScript::parseLine() {
    QFETCH(QString, line);
    QFETCH(QString, expected);

    const QString actual = outcome(cli::parseLine(line.toStdString()));
    if (expected.startsWith(QStringLiteral("error: ")))
        QVERIFY2(actual.startsWith(expected), qPrintable(actual));
    else
        QCOMPARE(actual, expected);
}

QTEST_APPLESS_MAIN(TestScript)
#include "tst_script.moc"
