// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "cli/base/numbers.h"
#include "cli/commandline.h"
#include "cli/script/script.h"

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
            return QString::fromStdString("R " + port + (s.expects ? " = " + value : "") +
                                          (s.ms ? " WITHIN " + std::to_string(s.ms) : ""));
        case cli::Statement::Kind::Sleep:
            return QString::fromStdString("SLEEP " + std::to_string(s.ms));
    }
    return QStringLiteral("?");
}

// A reach with windows at these bases besides the COM windows.
cli::Reach reachOf(const QList<int>& windows) {
    cli::Reach reach;
    for (const int base : windows)
        reach.otherWindows.push_back(static_cast<uint16_t>(base));
    return reach;
}

const QList<int> kPciWindows{0xC000, 0xD010};

}  // namespace

class TestScript : public QObject {
    Q_OBJECT

private slots:
    void parseLine_data();
    void parseLine();
    void commandLine_data();
    void commandLine();
};

// Good lines give their statement; a bad line's reason starts with the expected text. Ports
// are checked against the COM windows, or with windows the kernel listed besides them.
void TestScript::parseLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<int>>("windows");
    QTest::addColumn<QString>("expected");

    const auto named = [](const char* name, const char* line, const char* expected,
                          const QList<int>& windows = {}) {
        QTest::newRow(name) << QString::fromUtf8(line) << windows << QString::fromUtf8(expected);
    };
    const auto row = [&](const char* line, const char* expected) { named(line, line, expected); };
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
    row("R 3FD = 61 WITHIN 100", "R 3FD = 61 WITHIN 100");
    row("r 3fd=01 within 60000", "R 3FD = 01 WITHIN 60000");
    row("SLEEP 1", "SLEEP 1");
    row("sleep 60000 # a minute", "SLEEP 60000");
    named("no-break space between words", "W\302\2403FB\302\24083", "W 3FB 83");
    named("ideographic space between words", "R\343\200\2003FD", "R 3FD");
    row("", "");
    row("   # comment only", "");

    row("X 3F8", "error: 不明な命令「X」です");
    row("ＷＲＩＴＥ 3F8 00",
        "error: 不明な命令「ＷＲＩＴＥ」です（W、R、MASK、SLEEP のいずれかです）（全角の文字です");
    row("W ３Ｆ８ 00", "error: 「３Ｆ８」は16進数のポートではありません（全角の文字です");
    named("escape sequences are shown, not sent", "W 3FF \x1b[2J\x1b]0;pwned\x07",
          "error: 「\\x1B[2J\\x1B]0;pwned\\x07」は16進数の値ではありません");
    named("a byte order mark inside a line is not a blank", "R 3F8\xEF\xBB\xBF",
          "error: 「3F8\\uFEFF」は16進数のポートではありません");
    named("a long word is cut", "W 3F8 0123456789012345678901234567890123456789XYZ",
          "error: 「0123456789012345678901234567890123456789…」は16進数の値ではありません");
    row("WRITE 3F8 00", "error: 不明な命令「WRITE」です");
    row("W 3F8", "error: W ポート 値 と書いてください");
    row("R", "error: R ポート、");
    row("MASK 3FE", "error: MASK ポート ビット と書いてください");
    row("R 2E7", "error: ポート「2E7」は COM ポートの範囲");
    row("R 2F0", "error: ポート「2F0」は COM ポートの範囲");
    row("R 400", "error: ポート「400」は COM ポートの範囲");
    row("R 100003F8", "error: ポート「100003F8」は COM ポートの範囲");
    row("R 3G8", "error: 「3G8」は16進数のポートではありません");
    row("R C000",
        "error: ポート「C000」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, "
        "3F8-3FF）の外にあります");
    named("R C000 in a PCI window", "R C000", "R C000", kPciWindows);
    named("W C007 55 in a PCI window", "W C007 55", "W C007 55", kPciWindows);
    named("MASK D017 F0 in a PCI window", "MASK D017 F0", "MASK D017 F0", kPciWindows);
    named("R 3F8 with PCI windows", "R 3F8", "R 3F8", kPciWindows);
    named("R C008 beside the PCI windows", "R C008 = 60",
          "error: ポート「C008」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, "
          "3F8-3FF）にも、カーネルが登録したほかのシリアルポートの範囲（C000-C007, "
          "D010-D017）にもありません",
          kPciWindows);
    named("R BFFF below a PCI window", "R BFFF", "error: ポート「BFFF」は COM ポートの範囲",
          kPciWindows);
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
    row("R 3FD = 61 WITHIN", "error: WITHIN の後にミリ秒がありません");
    row("R 3FD = 61 WITHIN 0",
        "error: WITHINには 1〜60000 のミリ秒を 10 進数で指定してください（「0」");
    row("R 3FD = 61 WITHIN 60001", "error: WITHINには 1〜60000 のミリ秒");
    row("R 3FD = 61 WITHIN 1e3", "error: WITHINには 1〜60000 のミリ秒");
    row("R 3FD = 61 WITHIN 99999999999", "error: WITHINには 1〜60000 のミリ秒");
    row("R 3FD = 61 WITHIN 5 6", "error: ミリ秒の後に余分な文字「6」があります");
    row("R 3FD = 61 AFTER 5", "error: 期待値の後に余分な文字「AFTER 5」があります");
    row("R 3FD WITHIN 5", "error: ポートの後に余分な文字「WITHIN 5」があります");
    row("SLEEP", "error: SLEEP ミリ秒 と書いてください");
    row("SLEEP -1", "error: SLEEPには 1〜60000 のミリ秒を 10 進数で指定してください（「-1」");
    row("SLEEP +5", "error: SLEEPには 1〜60000 のミリ秒");
    row("SLEEP ５",
        "error: SLEEPには 1〜60000 のミリ秒を 10 "
        "進数で指定してください（「５」は使えません）（全角");
    row("SLEEP 5 5", "error: ミリ秒の後に余分な文字「5」があります");
    row("W 3FC 13 ; loopback",
        "error: 値の後に余分な文字「; loopback」があります（注釈は # で始めます）");
    row("R 3FD // data ready",
        "error: ポートの後に余分な文字「// data ready」があります（注釈は # で始めます）");
    row("W 3FC 13;loopback",
        "error: 「13;loopback」は16進数の値ではありません（注釈は # で始めます）");
    row("R 1021",
        "error: ポート「1021」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, 3F8-3FF）の外に"
        "あります（ポートは 16 進数で書きます。10 進数の 1021 なら 3FD と書いてください）");
    named("R 49152 names a PCI window in decimal", "R 49152",
          "error: ポート「49152」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, "
          "3F8-3FF）にも、カーネルが登録したほかのシリアルポートの範囲（C000-C007, "
          "D010-D017）にもありません（ポートは 16 進数で書きます。10 進数の 49152 なら C000 "
          "と書いてください）",
          kPciWindows);
}

void TestScript::parseLine() {
    QFETCH(QString, line);
    QFETCH(QList<int>, windows);
    QFETCH(QString, expected);

    const QString actual = outcome(cli::parseLine(line.toStdString(), reachOf(windows)));
    if (expected.startsWith(QStringLiteral("error: ")))
        QVERIFY2(actual.startsWith(expected), qPrintable(actual));
    else
        QCOMPARE(actual, expected);
}

// The command line's ports go through the same check as a script's: the command and its
// ports, or "error: " and the start of the reason (the whole reason when it ends in "$").
void TestScript::commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QList<int>>("windows");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char* name, const QStringList& args, const QList<int>& windows,
                        const char* expected) {
        QTest::newRow(name) << args << windows << QString::fromUtf8(expected);
    };
    row("read C000 3FD in a PCI window", {"read", "C000", "3FD"}, kPciWindows, "read C000 3FD");
    row("write D017 55 in a PCI window", {"write", "D017", "55"}, kPciWindows, "write D017");
    row("watch C000 in a PCI window", {"watch", "C000"}, kPciWindows, "watch C000");
    row("read C008 beside the PCI windows", {"read", "C008"}, kPciWindows,
        "error: ポート「C008」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, "
        "3F8-3FF）にも、カーネルが登録したほかのシリアルポートの範囲（C000-C007, D010-D017）");
    row("read C000 without PCI windows", {"read", "C000"}, {},
        "error: ポート「C000」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, 3F8-3FF）の外");
    row("watch 3FD --count, the number left out", {"watch", "3FD", "--count"}, {},
        "error: 「--count」の後に数がありません$");
    row("selftest --plug 3F8: a port is no wiring", {"selftest", "--plug", "3F8"}, {},
        "selftest 3F8");
    row("list", {"list"}, {}, "list");
    row("list --json", {"list", "--json"}, {}, "list json");
    row("list 3F8", {"list", "3F8"}, {}, "error: list には引数を指定しません（list [--json]）");
    row("list --explain", {"list", "--explain"}, {},
        "error: list にオプション「--explain」はありません");
    row("list --json=yes", {"list", "--json=yes"}, {},
        "error: list にオプション「--json=yes」はありません");
    row("read --json 3FD", {"read", "--json", "3FD"}, {},
        "error: read にオプション「--json」はありません");
    row("raed 3FD", {"raed", "3FD"}, {},
        "error: 不明なコマンド「raed」です（read、write、run、watch、list、identify、selftest "
        "のいずれかです）（read のことですか？）$");
    row("READ 3FD", {"READ", "3FD"}, {},
        "error: 不明なコマンド「READ」です（read、write、run、watch、list、identify、selftest "
        "のいずれかです）（read のことですか？）$");
    row("zzz is near no command", {"zzz"}, {},
        "error: 不明なコマンド「zzz」です（read、write、run、watch、list、identify、selftest "
        "のいずれかです）$");
    row("read 760 means 2F8 in decimal", {"read", "760"}, {},
        "error: ポート「760」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, "
        "3F8-3FF）の外にあります"
        "（ポートは 16 進数で書きます。10 進数の 760 なら 2F8 と書いてください）$");
    row("read 2000 is no port in decimal either", {"read", "2000"}, {},
        "error: ポート「2000」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, "
        "3F8-3FF）の外にあります$");
    row("no command", {}, {},
        "error: コマンドがありません（read、write、run、watch、list、identify、selftest "
        "のいずれかです）");
}

void TestScript::commandLine() {
    QFETCH(QStringList, args);
    QFETCH(QList<int>, windows);
    QFETCH(QString, expected);

    std::vector<std::string> words;
    for (const QString& arg : args)
        words.push_back(arg.toStdString());
    const cli::ParsedCommandLine parsed = cli::parseCommandLine(words, reachOf(windows));
    if (!parsed.ok()) {
        const QString error = QStringLiteral("error: ") + QString::fromStdString(parsed.error);
        if (expected.endsWith(QLatin1Char('$')))  // the whole reason, nothing after it
            QCOMPARE(error, expected.chopped(1));
        else
            QVERIFY2(error.startsWith(expected), qPrintable(error));
        return;
    }
    const cli::Command& command = parsed.command;
    std::vector<int32_t> ports = command.ports;
    if (command.kind == cli::Command::Kind::Watch)
        ports.push_back(command.watch.port);
    if (command.kind == cli::Command::Kind::Selftest)
        ports = command.probe.bases;
    QString actual = args.value(0);
    for (const int32_t port : ports)
        actual += QLatin1Char(' ') + QString::fromStdString(cli::hexPort(port));
    if (command.json || command.watch.json)
        actual += QStringLiteral(" json");
    QCOMPARE(actual, expected);
}

QTEST_APPLESS_MAIN(TestScript)
#include "tst_script.moc"
