// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace {

// regwise-io-sim started with standard input, output and error on files of a temporary
// folder (plain posix_spawn: QProcess trips valgrind, which runs this test too).
class SimProgram {
public:
    SimProgram() = default;
    SimProgram(const SimProgram&) = delete;
    SimProgram& operator=(const SimProgram&) = delete;
    ~SimProgram() {
        if (m_pid > 0 && !m_ended) {  // a failed check left it running
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }

    // Where standard input comes from and standard output goes.
    enum class In { File, Closed, Folder };
    enum class Out { File, Full, ClosedPipe };

    // chips: what REGWISE_SIM_UARTS names, if anything.
    bool start(const QStringList& args, const QByteArray& input, In from = In::File,
               Out to = Out::File, const QByteArray& chips = {}) {
        if (!m_folder.isValid())
            return false;
        QFile in(path("in"));
        if (!in.open(QIODevice::WriteOnly) || in.write(input) != input.size())
            return false;
        in.close();

        std::vector<std::string> words{IO_SIM};
        for (const QString& arg : args)
            words.push_back(arg.toStdString());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        const std::string inPath = path("in").toStdString();
        const std::string outPath = path("out").toStdString();
        const std::string errPath = path("err").toStdString();
        if (from == In::Closed)
            posix_spawn_file_actions_addclose(&files, 0);
        else
            posix_spawn_file_actions_addopen(
                &files, 0, from == In::Folder ? "/tmp" : inPath.c_str(), O_RDONLY, 0);
        int pipeEnds[2] = {-1, -1};
        if (to == Out::ClosedPipe) {
            if (pipe(pipeEnds) != 0)
                return false;
            ::close(pipeEnds[0]);  // nobody will ever read
            posix_spawn_file_actions_adddup2(&files, pipeEnds[1], 1);
        } else {
            posix_spawn_file_actions_addopen(&files, 1,
                                             to == Out::Full ? "/dev/full" : outPath.c_str(),
                                             O_WRONLY | O_CREAT, 0600);
        }
        posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0600);
        std::vector<char*> env;
        for (char** entry = environ; *entry != nullptr; ++entry)
            env.push_back(*entry);
        std::string chipsEntry = "REGWISE_SIM_UARTS=" + chips.toStdString();
        if (!chips.isEmpty())
            env.push_back(chipsEntry.data());
        env.push_back(nullptr);
        const int failed = posix_spawn(&m_pid, IO_SIM, &files, nullptr, argv.data(), env.data());
        posix_spawn_file_actions_destroy(&files);
        if (pipeEnds[1] >= 0)
            ::close(pipeEnds[1]);
        return failed == 0;
    }

    // The wait status, or -1 when the program has not ended within ten seconds (it is
    // killed then).
    int finish() {
        for (int tries = 0; tries < 1000; ++tries) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_ended = true;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_ended = true;
        return -1;
    }

    // Whether the program has written anything to standard output within ten seconds.
    bool waitForOutput() const {
        for (int tries = 0; tries < 1000 && out().isEmpty(); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !out().isEmpty();
    }

    pid_t pid() const { return m_pid; }
    QString out() const { return read("out"); }
    QString err() const { return read("err"); }

private:
    QString path(const char* name) const { return m_folder.filePath(QLatin1String(name)); }
    QString read(const char* name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_folder;
    pid_t m_pid = -1;
    bool m_ended = false;
};

}  // namespace

Q_DECLARE_METATYPE(SimProgram::In)
Q_DECLARE_METATYPE(SimProgram::Out)

// regwise-io-sim as a person runs it, on the simulated UARTs, which start from their reset
// state at every run.
class TestProgram : public QObject {
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void stopSignal_data();
    void stopSignal();
    void tapReadByProve_data();
    void tapReadByProve();
};

// Each row runs the program once: its exit status, all of its standard output (matched
// whole by a pattern) and a text its standard error must hold (empty: none at all).
void TestProgram::commands_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<SimProgram::In>("stdinFrom");
    QTest::addColumn<SimProgram::Out>("stdoutTo");
    QTest::addColumn<QByteArray>("chips");  // REGWISE_SIM_UARTS, if set
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("error");

    const QString explained = QStringLiteral("  # [^\\n]+; [^\\n]+\\n");
    const auto row = [](const char* name, QStringList args, const char* input, int status,
                        const QString& output, const char* error) {
        QTest::newRow(name) << args << QByteArray(input) << SimProgram::In::File
                            << SimProgram::Out::File << QByteArray() << status << output
                            << QString::fromUtf8(error);
    };
    // The same on other simulated chips.
    const auto onChips = [](const char* name, const char* chips, QStringList args, int status,
                            const QString& output) {
        QTest::newRow(name) << args << QByteArray() << SimProgram::In::File << SimProgram::Out::File
                            << QByteArray(chips) << status << output << QString();
    };
    // The same, with standard input or output elsewhere.
    const auto routed = [](const char* name, QStringList args, SimProgram::In in,
                           SimProgram::Out out, int status, const char* error) {
        QTest::newRow(name) << args << QByteArray() << in << out << QByteArray() << status
                            << QString() << QString::fromUtf8(error);
    };
    row("read 3FD 0x3fe 2EB", {"read", "3FD", "0x3fe", "2EB"}, "", 0,
        "R 3FD = 60\nR 3FE = 00\nR 2EB = 00\n", "");
    row("read --explain 3FB", {"read", "--explain", "3FB"}, "", 0, "R 3FB = 00" + explained, "");
    row("read --explain 3F8", {"read", "--explain", "3F8"}, "", 0,
        "R 3F8 = 00  # DLAB=0: [^\\n]+; DLAB=1: [^\\n]+\\n", "");
    row("write 3FB 83", {"write", "3FB", "83"}, "", 0, "", "");
    row("write --explain 3FB 83", {"write", "--explain", "3FB", "83"}, "", 0,
        "W 3FB 83" + explained, "");
    row("watch --count 1 3FD", {"watch", "--count", "1", "3FD"}, "", 0, "R 3FD = 60  # 0\\.000 s\n",
        "");
    row("watch --json --explain, one JSON object a line",
        {"watch", "--json", "--explain", "--count", "3", "--interval", "1", "3FD"}, "", 0,
        "\\{\"meaning\":\"[^\"\\n]+\",\"port\":\"3FD\",\"seconds\":0,\"value\":\"60\"\\}\n", "");

    const QString transcript = QStringLiteral(
        "(R [0-9A-F]{3} = [0-9A-F]{2}( WITHIN 10(  # read [0-9.]+ ms after the limit, the "
        "program paused)?  # [0-9]+ reads?, [0-9.]+ ms)?\\n)+");
    row("run the bring-up example", {"run", QStringLiteral(EXAMPLES_DIR "/bringup-9600-8n1.txt")},
        "", 0, transcript, "");
    row("run the null-modem example",
        {"run", QStringLiteral(EXAMPLES_DIR "/nullmodem-text-9600.txt")}, "", 0, transcript, "");
    row("run - with a failed expectation", {"run", "-"},
        "W 3FB 03\nW 3FC 10\nW 3F8 55\nSLEEP 3\nR 3FD = 60\nR 3F8 = 55\n", 1,
        "R 3FD = 61  # expected 60 \\(mask FF\\)\nR 3F8 = 55\n", "期待した値と異なる読み出しが1件");
    row("run - with a bad line", {"run", "-"}, "W 3FC 10\nR 3FD = 600\n", 2, "",
        "標準入力:2: 値「600」");
    row("run a missing file", {"run", "/nonexistent/script.txt"}, "", 2, "",
        "スクリプト「/nonexistent/script.txt」を開けません。");

    row("run a folder", {"run", "/tmp"}, "", 2, "",
        "スクリプト「/tmp」はディレクトリのため、読めません。");
    row("run a device", {"run", "/dev/zero"}, "", 2, "",
        "スクリプト「/dev/zero」は通常のファイルでもパイプでもない");
    routed("run - with standard input closed", {"run", "-"}, SimProgram::In::Closed,
           SimProgram::Out::File, 2, "スクリプト「標準入力」を開けません。");
    routed("run - from a folder", {"run", "-"}, SimProgram::In::Folder, SimProgram::Out::File, 2,
           "スクリプト「標準入力」はディレクトリのため");
    row("an escape sequence in an argument is shown, not sent", {"read", "3F\x1b[31mD"}, "", 2, "",
        "「3F\\x1B[31mD」は16進数のポートではありません");
    routed("read to a full disk", {"read", "3FD"}, SimProgram::In::File, SimProgram::Out::Full, 1,
           "標準出力に書き込めませんでした。");
    routed("watch to a full disk", {"watch", "3FD"}, SimProgram::In::File, SimProgram::Out::Full, 1,
           "標準出力に書き込めませんでした。");
    routed("--help to a full disk", {"--help"}, SimProgram::In::File, SimProgram::Out::Full, 1,
           "標準出力に書き込めませんでした。");
    routed("read to a closed pipe stops quietly", {"read", "3FD", "3FE"}, SimProgram::In::File,
           SimProgram::Out::ClosedPipe, 141, "");
    routed("selftest to a closed pipe stops quietly", {"selftest", "3F8"}, SimProgram::In::File,
           SimProgram::Out::ClosedPipe, 141, "");
    routed("--help to a closed pipe stops quietly", {"--help"}, SimProgram::In::File,
           SimProgram::Out::ClosedPipe, 141, "");
    row("watch --count ends on a value that never changes",
        {"watch", "--count", "2", "--interval", "10", "3FD"}, "", 0, "R 3FD = 60  # 0\\.000 s\n",
        "");

    // What identify measured follows each verdict: the clock (in line time on a busy machine,
    // possibly not measured), the FIFO, the trigger levels where it has some.
    const QString measured = QStringLiteral(
        "  入力クロック: [^\\n]+\\n  FIFO（測定）: [^\\n]+\\n(  受信トリガーレベル（測定）: "
        "[^\\n]+\\n)?");
    const QString verdict =
        QStringLiteral(": 16550A（FIFO 16 バイト、スクラッチレジスタあり）\n") + measured;
    row("identify probes the four COM bases", {"identify"}, "", 0,
        "3F8" + verdict + "2F8" + verdict + "3E8" + verdict + "2E8" + verdict, "");
    row("identify --explain 2E8", {"identify", "--explain", "2E8"}, "", 0,
        "2E8: 16550A[^\\n]+\\n" + measured + "(  [a-z0-9-]+（[^\\n]+）: [^\\n]+\\n){4}", "");
    const QString passes = QStringLiteral(
        "(合格   [^\\n]+\\n)+合格 (18|10)、不合格 0、省略 0（[0-9]+\\.[0-9]{3} 秒）\\n");
    row("selftest 3F8", {"selftest", "3F8"}, "", 0, passes, "");
    row("selftest 2F8", {"selftest", "2F8"}, "", 0, passes, "");
    row("selftest 3E8", {"selftest", "3E8"}, "", 0, passes, "");
    row("selftest 2E8", {"selftest", "2E8"}, "", 0, passes, "");
    row("selftest --peer 2F8 3F8", {"selftest", "--peer", "2F8", "3F8"}, "", 0, passes, "");
    row("selftest --peer=2E8 3E8", {"selftest", "--peer=2E8", "3E8"}, "", 0, passes, "");
    row("selftest --trace prints every access to standard error",
        {"selftest", "--trace", "--peer", "3F8", "2F8"}, "", 0, passes,
        "\nW 2FC 00\nW 3FC 00\nW 2F9 00\n");
    onChips("identify tells each simulated chip", "16550,16450,8250,16750", {"identify"}, 0,
            "3F8: 16550（FIFO は使えません、スクラッチレジスタあり）\n" + measured +
                "2F8: 16450（FIFO なし、スクラッチレジスタあり）\n" + measured +
                "3E8: 8250（FIFO なし、スクラッチレジスタなし）\n" + measured +
                "2E8: 16750（FIFO 64 バイト、スクラッチレジスタあり）\n" + measured);
    onChips("identify tells the chips with an EFR, at their own clocks",
            "16650@7.3728MHz,16C950@14.7456MHz,16550A,16550A", {"identify"}, 0,
            "3F8: 16650（FIFO 32 バイト、スクラッチレジスタあり）\n" + measured +
                "2F8: 16C950（FIFO 128 バイト、スクラッチレジスタあり）\n" + measured + "3E8" +
                verdict + "2E8" + verdict);
    onChips("identify finds no UART where there is none", "none,16550A,16550A,16550A",
            {"identify", "3F8"}, 0, "3F8: none（UART が応答しません）\n");
    onChips(
        "selftest where there is no UART fails at once", "none,16550A,16550A,16550A",
        {"selftest", "3F8"}, 1,
        "不合格 presence: [^\n]+（UART が応答しません）\n合格 0、不合格 1、省略 0（[0-9.]+ 秒）\n");
    row("identify 3F9 is not a base", {"identify", "3F9"}, "", 2, "",
        "ポート「3F9」は UART のベース（オフセット 0 のポート）ではありません");
    row("selftest --plug with an unknown wiring", {"selftest", "--plug", "2-3,4-5", "3F8"}, "", 2,
        "", "プラグの結線「2-3,4-5」は不明です");
    row("selftest --plug --peer", {"selftest", "--plug", "--peer", "2F8", "3F8"}, "", 2, "",
        "「--plug」と「--peer」は同時に使えません");
    row("selftest against itself", {"selftest", "--peer", "3F8", "3F8"}, "", 2, "",
        "「--peer」には調べるポートとは別のポートを指定してください");
    row("selftest --json", {"selftest", "--json", "3F8"}, "", 2, "",
        "selftest にオプション「--json」はありません");

    row("no command", {}, "", 2, "", "コマンドがありません");
    row("read 3F0", {"read", "3F0"}, "", 2, "", "ポート「3F0」は COM ポートの範囲");
    row("read C000: the simulated UARTs are at the COM bases only", {"read", "C000"}, "", 2, "",
        "ポート「C000」は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, 3F8-3FF）の外にあります");
    row("list shows this machine's kernel view", {"list"}, "", 0,
        "(ttyS[0-9]+: [^\\n]+。\\n)+|カーネルはシリアルポートを 1 つも登録していません。\\n", "");
    row("list --json", {"list", "--json"}, "", 0, "\\[\\n(    [^\\n]+\\n)*\\]\\n", "");
    row("list 3F8", {"list", "3F8"}, "", 2, "", "list には引数を指定しません");
    row("read --interval 5 3FD", {"read", "--interval", "5", "3FD"}, "", 2, "",
        "read にオプション「--interval」はありません");
    row("watch --count 0 3FD", {"watch", "--count", "0", "3FD"}, "", 2, "", "「--count」には");
    row("capture 2F8 --for 5 --lsr", {"capture", "2F8", "--for", "5", "--lsr"}, "", 0,
        "# 2F8 の MSR と LSR、[^\n]+\n# [^\n]+\n(0\\.000 [A-Z]+ [01]\n){11}", "");
    row("capture --script - across the null-modem cable",
        {"capture", "2F8", "--for=1", "--script", "-"}, "W 3FC 02\nSLEEP 2\nR 2FE\n", 0,
        "# [^\n]+\n# [^\n]+\n(0\\.000 [A-Z]+ [01]\n){4}[0-9.]+ CTS 1\n", "R 2FE = 10");
    row("capture --for 0", {"capture", "2F8", "--for", "0"}, "", 2, "",
        "「--for」には 1〜3600000 のミリ秒");
    row("capture without --for", {"capture", "2F8"}, "", 2, "", "「--for ミリ秒」");
    row("capture 2FE is not a base", {"capture", "2FE", "--for", "5"}, "", 2, "", "UART のベース");
    row("capture to a file that cannot be written",
        {"capture", "2F8", "--for", "5", "--vcd", "/nonexistent/lines.vcd"}, "", 2, "",
        "ファイル「/nonexistent/lines.vcd」に書き込めません。ポートには触れていません。");
    row("--version", {"--version"}, "", 0, "regwise-io-sim " REGWISE_VERSION "\n", "");
    row("-V", {"-V"}, "", 0, "regwise-io-sim " REGWISE_VERSION "\n", "");
    row("help", {"help"}, "", 0, "使い方:\n(.|\n)*副作用(.|\n)*", "");
    row("run --help", {"run", "--help"}, "", 0, "使い方:\n(.|\\n)*副作用(.|\\n)*", "");
    row("--help names every chip and draws every plug", {"--help"}, "", 0,
        "使い方:\n(.|\n)*"
        "（none、8250、16450、16550、16550A、16750、\n          16650、XR16C850、16C950）を調べ"
        "(.|\n)*\n"
        "  2-3,7-8,4-6-1    既定  3 TXD─2 RXD  7 RTS─8 CTS        4 DTR─6 DSR─1 DCD\n"
        "  2-3,7-8-9,4-6-1        3 TXD─2 RXD  7 RTS─8 CTS─9 RI   4 DTR─6 DSR─1 DCD\n"
        "  2-3,7-8,1-4-6-9        3 TXD─2 RXD  7 RTS─8 CTS        4 DTR─6 DSR─1 DCD─9 RI\n"
        "\n(.|\n)*",
        "");
}

void TestProgram::commands() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(SimProgram::In, stdinFrom);
    QFETCH(SimProgram::Out, stdoutTo);
    QFETCH(QByteArray, chips);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, error);

    SimProgram program;
    QVERIFY(program.start(args, input, stdinFrom, stdoutTo, chips));
    const int wait = program.finish();
    const QString out = program.out();
    const QString err = program.err();
    QVERIFY2(WIFEXITED(wait), qPrintable(err));
    QVERIFY2(WEXITSTATUS(wait) == status, qPrintable(err));
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(output));
    QVERIFY2(pattern.match(out).hasMatch(), qPrintable(out));
    if (error.isEmpty())
        QVERIFY2(err.isEmpty(), qPrintable(err));
    else
        QVERIFY2(err.contains(error), qPrintable(err));
    // Whatever it was given, the program prints no control character but the line feed.
    for (const QChar c : out + err)
        QVERIFY2(c == u'\n' || c.unicode() >= 0x20, qPrintable(err));
}

// Ctrl-C is how a watch ends: the program closes its session and exits normally.
// A stop signal once the program has printed its first line: a watch ends cleanly with 0,
// as that is how a watch ends; a script ends early with 128 + the signal, the transcript so
// far printed and the session closed. A signal the program was started with ignored (nohup's
// SIGHUP) stays ignored: the script goes on to its end.
void TestProgram::stopSignal_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("ignored");  // ignored when the program starts; 0: none
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("error");

    const QByteArray sleeping("R 3FD\nSLEEP 60000\nW 3FB 83\n");
    const QString first = QStringLiteral("R 3FD = 60\n");
    QTest::newRow("watch, Ctrl-C") << QStringList{"watch", "3FD"} << QByteArray() << 0 << SIGINT
                                   << 0 << QStringLiteral("R 3FD = 60  # 0.000 s\n") << QString();
    QTest::newRow("run, Ctrl-C during a SLEEP")
        << QStringList{"run", "-"} << sleeping << 0 << SIGINT << 130 << first
        << QStringLiteral("中断の要求（シグナル 2）");
    QTest::newRow("run, SIGTERM during a SLEEP")
        << QStringList{"run", "-"} << sleeping << 0 << SIGTERM << 143 << first
        << QStringLiteral("中断の要求（シグナル 15）");
    QTest::newRow("run, SIGHUP during a SLEEP")
        << QStringList{"run", "-"} << sleeping << 0 << SIGHUP << 129 << first
        << QStringLiteral("中断の要求（シグナル 1）");
    QTest::newRow("run, SIGQUIT during a SLEEP")
        << QStringList{"run", "-"} << sleeping << 0 << SIGQUIT << 131 << first
        << QStringLiteral("中断の要求（シグナル 3）");
    QTest::newRow("run, SIGHUP ignored from the start, as under nohup")
        << QStringList{"run", "-"} << QByteArray("R 3FD\nSLEEP 2000\nR 3FD\n") << SIGHUP << SIGHUP
        << 0 << QStringLiteral("R 3FD = 60\nR 3FD = 60\n") << QString();
}

void TestProgram::stopSignal() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, ignored);
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, error);

    SimProgram program;
    // An ignored signal is inherited through exec, as nohup hands it on.
    struct sigaction before {};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    if (ignored != 0)
        sigaction(ignored, &ignore, &before);
    const bool started = program.start(args, input);
    if (ignored != 0)
        sigaction(ignored, &before, nullptr);
    QVERIFY(started);
    QVERIFY(program.waitForOutput());
    ::kill(program.pid(), signal);
    const int wait = program.finish();

    QVERIFY(WIFEXITED(wait));
    QCOMPARE(WEXITSTATUS(wait), status);
    QCOMPARE(program.out(), output);
    if (error.isEmpty())
        QCOMPARE(program.err(), QString());
    else
        QVERIFY2(program.err().contains(error), qPrintable(program.err()));
}

// A self-test's TAP, read by Perl's prove: a passing run passes, and a run with no plug
// fitted fails exactly the checks that need one.
void TestProgram::tapReadByProve_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("failed");

    QTest::newRow("internal loopback")
        << QStringList{"selftest", "--tap", "3F8"} << 0 << QStringList();
    QTest::newRow("a plug that is not fitted")
        << QStringList{"selftest", "--tap", "--plug", "2-3,7-8-9,4-6-1", "2E8"} << 1
        << QStringList{"plug-rts",     "plug-dtr",  "data-9600", "data-115200", "fifo-burst",
                       "fifo-overrun", "trigger-1", "trigger-4", "trigger-8",   "trigger-14"};
}

void TestProgram::tapReadByProve() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QStringList, failed);
    if (std::system("command -v prove >/dev/null 2>&1") != 0)
        QSKIP("prove is not installed (Debian package perl)");

    SimProgram program;
    QVERIFY(program.start(args, {}));
    const int wait = program.finish();
    QVERIFY(WIFEXITED(wait));
    QCOMPARE(WEXITSTATUS(wait), status);
    const QString tap = program.out();
    QStringList seenFailed;
    static const QRegularExpression notOk(QStringLiteral("^not ok [0-9]+ - (\\S+)$"),
                                          QRegularExpression::MultilineOption);
    for (auto it = notOk.globalMatch(tap); it.hasNext();)
        seenFailed << it.next().captured(1);
    QCOMPARE(seenFailed, failed);

    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("selftest.tap"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(tap.toUtf8()) == tap.toUtf8().size());
    out.close();
    const std::string command =
        "prove --exec cat '" + file.toStdString() + "' >'" + file.toStdString() + ".prove' 2>&1";
    const int proved = std::system(command.c_str());
    QFile report(file + QStringLiteral(".prove"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString said = QString::fromUtf8(report.readAll());
    QVERIFY2(WIFEXITED(proved) && (WEXITSTATUS(proved) == 0) == (status == 0), qPrintable(said));
    QVERIFY2(
        said.contains(status == 0 ? QLatin1String("Result: PASS") : QLatin1String("Result: FAIL")),
        qPrintable(said));
    if (status != 0)
        QVERIFY2(said.contains(QStringLiteral("Failed %1/").arg(failed.size())), qPrintable(said));
}

QTEST_APPLESS_MAIN(TestProgram)
#include "tst_program.moc"
