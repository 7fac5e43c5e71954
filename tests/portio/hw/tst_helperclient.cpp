// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The library's side of the helper, against fakeportd standing in for regwise-portd.
// The real helper is never started here.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <csignal>
#include <ctime>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "portio/hw/helperclient.h"
#include "tests/portio/hw/fakehelperfolder.h"

using namespace Qt::StringLiterals;

namespace {

// SIGALRM every millisecond to the thread that made it, caught by a handler that does
// nothing and installed without SA_RESTART, so every blocking call of that thread in
// between fails with EINTR.
class InterruptingTimer {
public:
    InterruptingTimer() {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigaction(SIGALRM, &action, &m_previous);
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = SIGALRM;
        event._sigev_un._tid = gettid();  // sigev_notify_thread_id, which glibc 2.36 lacks
        timer_create(CLOCK_MONOTONIC, &event, &m_timer);
        const itimerspec every{{0, 1000000}, {0, 1000000}};
        timer_settime(m_timer, 0, &every, nullptr);
    }
    ~InterruptingTimer() {
        timer_delete(m_timer);
        // One raised just before the timer went may still be pending (valgrind delivers
        // late): take it here rather than under the default action, which kills.
        sigset_t alarm, mask;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        sigprocmask(SIG_BLOCK, &alarm, &mask);
        const timespec now{};
        while (sigtimedwait(&alarm, nullptr, &now) == SIGALRM) {
        }
        sigaction(SIGALRM, &m_previous, nullptr);
        sigprocmask(SIG_SETMASK, &mask, nullptr);
    }

private:
    struct sigaction m_previous {};
    timer_t m_timer{};
};

bool gone(pid_t pid) {
    return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH;
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

class TestHelperClient : public QObject {
    Q_OBJECT

private slots:
    void startFails_data();
    void startFails();
    void interruptedWaits_data();
    void interruptedWaits();
    void unterminatedAnswer();
    void readWriteTouchOncePerCall();
    void refusedPortNamesThePort();
    void notStarted();
    void startWhileRunningKeepsHelper();
    void startAfterHelperDiedReplacesIt();
    void helperDiesMidSession();
    void stopEndsHelper();
    void clientDeathEndsHelper();
    void programGroupSignalSparesHelper_data();
    void programGroupSignalSparesHelper();
};

void TestHelperClient::startFails_data() {
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QString>("message");  // %1: the helper's folder, links resolved
    QTest::newRow("no helper file")
        << QByteArray("missing")
        << QStringLiteral("見つかりません（%1/link/regwise-portd、%1/elsewhere/regwise-portd）");
    QTest::newRow("helper named by a relative path")
        << QByteArray("relative") << QStringLiteral("見つかりません（探す場所がわかりません）");
    QTest::newRow("helper not executable")
        << QByteArray("noexec") << QStringLiteral("実行する権限がありません");
    QTest::newRow("ioperm EPERM, no capability")
        << QByteArray("eperm") << QStringLiteral("「getcap %1/regwise-portd」");
    QTest::newRow("ioperm EPERM, no_new_privs")
        << QByteArray("eperm nnp") << QStringLiteral("働きませんでした。no_new_privs");
    QTest::newRow("ioperm EPERM, traced")
        << QByteArray("eperm traced") << QStringLiteral("働きませんでした。デバッガー");
    QTest::newRow("ioperm EPERM, nosuid")
        << QByteArray("eperm nosuid") << QStringLiteral("働きませんでした。nosuid");
    QTest::newRow("ioperm EPERM, no_new_privs and nosuid")
        << QByteArray("eperm nnp nosuid")
        << QStringLiteral(
               "起動されました。nosuid でマウントされた場所にあります（%1/"
               "regwise-portd）");
    QTest::newRow("ioperm EPERM, capability held")
        << QByteArray("eperm rawio")
        << QStringLiteral("cap_sys_rawio を持っていますが、カーネルがI/Oポートへのアクセスを拒否");
    QTest::newRow("lockdown") << QByteArray("lockdown")
                              << QStringLiteral("カーネルのロックダウン（integrity）");
    QTest::newRow("lockdown text without NUL")
        << QByteArray("unterminated") << QString(u"（"_s + QString(119, u'x') + u"\\x1B）"_s);
    QTest::newRow("other open error")
        << QByteArray("enomem") << QStringLiteral("開始できませんでした");
    QTest::newRow("dropping privileges fails")
        << QByteArray("drop-fails") << QStringLiteral("特権を手放せなかった");
    QTest::newRow("privileges left after dropping")
        << QByteArray("privileges-left")
        << QStringLiteral("特権を手放したことを確かめられなかった");
    QTest::newRow("short first reply")
        << QByteArray("short-first")
        << QStringLiteral("不正な形式の応答を返しました（8 バイト）。");
    QTest::newRow("long first reply")
        << QByteArray("long-first")
        << QStringLiteral("不正な形式の応答を返しました（129 バイト）。");
    QTest::newRow("exits before ready")
        << QByteArray("exit") << QStringLiteral("準備の前に終了しました（終了コード 3）");
    QTest::newRow("never answers") << QByteArray("hang") << QStringLiteral("応答しません");
}

void TestHelperClient::startFails() {
    QFETCH(QByteArray, setup);
    QFETCH(QString, message);
    FakeHelperFolder folder(setup.constData());
    if (setup == "missing")
        QFile::remove(folder.helper());
    if (setup == "noexec")
        chmod(folder.path().c_str(), 0644);  // even root cannot exec a file with no x bit

    // A relative place would find the helper from the folder it lies in, were it taken.
    const QString before = QDir::currentPath();
    if (setup == "relative")
        QDir::setCurrent(folder.real());
    HelperClient client(
        setup == "relative" ? std::vector<std::string>{"regwise-portd"} : folder.places(), 300);
    const std::string error = client.start();
    QDir::setCurrent(before);
    QVERIFY2(text(error).contains(message.replace(u"%1"_s, folder.real())), error.c_str());
    QVERIFY(!client.running());
    QCOMPARE(client.pid(), -1);
    QCOMPARE(waitpid(-1, nullptr, WNOHANG), -1);  // no helper left running or unreaped
    QVERIFY(client.read(0x3F8).error.size() > 0);
}

void TestHelperClient::interruptedWaits_data() {
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QString>("startError");  // empty: the start succeeds
    QTest::addColumn<QString>("readError");   // empty: the read succeeds
    QTest::newRow("late first reply and answer") << QByteArray("slow") << QString() << QString();
    QTest::newRow("no first reply") << QByteArray("hang") << QStringLiteral("応答しません")
                                    << QStringLiteral("開始されていません");
    QTest::newRow("no answer") << QByteArray("mute") << QString() << QStringLiteral("応答しません");
    QTest::newRow("short answer")
        << QByteArray("short") << QString()
        << QStringLiteral("不正な形式の応答を返しました（8 バイト）。I/Oを開始し直してください。");
    QTest::newRow("long answer") << QByteArray("long") << QString()
                                 << QStringLiteral("不正な形式の応答を返しました（129 バイト）。");
}

// Signals arriving while the client waits for the helper neither end a healthy session nor
// stretch the wait beyond its time limit.
void TestHelperClient::interruptedWaits() {
    QFETCH(QByteArray, mode);
    QFETCH(QString, startError);
    QFETCH(QString, readError);
    FakeHelperFolder folder(mode.constData());
    HelperClient client({folder.path()}, 1000);
    const InterruptingTimer timer;
    const std::string started = client.start();
    const HelperClient::Result read = client.read(0x3F8);
    // A helper that failed a request is gone, and the session with it.
    const bool runningAfterRead = client.running();
    const HelperClient::Result next = client.read(0x3F8);
    const std::string stopped = client.stop();

    QVERIFY2(startError.isEmpty() ? started.empty() : text(started).contains(startError),
             started.c_str());
    QVERIFY2(readError.isEmpty() ? read.error.empty() : text(read.error).contains(readError),
             read.error.c_str());
    QCOMPARE(runningAfterRead, readError.isEmpty());
    if (!readError.isEmpty()) {
        QCOMPARE(read.value, 0);
        QVERIFY2(text(next.error).contains(QStringLiteral("開始されていません")),
                 next.error.c_str());
        QCOMPARE(waitpid(-1, nullptr, WNOHANG), -1);  // killed and reaped
    }
    QCOMPARE(text(stopped), QString());
}

// A helper that fills a refusal's text to the last byte is read no further than the text,
// and what it sent is shown quoted.
void TestHelperClient::unterminatedAnswer() {
    FakeHelperFolder folder("garbled");
    HelperClient client({folder.path()});
    QCOMPARE(text(client.start()), QString());
    const HelperClient::Result r = client.read(0x3F8);
    QVERIFY2(text(r.error).endsWith(u": "_s + QString(119, u'x') + u"\\x1B"_s), r.error.c_str());
}

void TestHelperClient::readWriteTouchOncePerCall() {
    FakeHelperFolder folder("ok");
    HelperClient client({folder.path()});
    QCOMPARE(text(client.start()), QString());
    QVERIFY(client.running());

    QCOMPARE(text(client.write(0x3FF, 0x1A5).error), QString());  // low byte only
    const HelperClient::Result read = client.read(0x3FF);
    QCOMPARE(text(read.error), QString());
    QCOMPARE(read.value, 0xA5);
    QCOMPARE(text(client.write(0x2E8, -1).error), QString());
    QCOMPARE(client.read(0x2E8).value, 0xFF);
    QCOMPARE(text(client.stop()), QString());
    QCOMPARE(folder.accesses(), QStringList({"W 3ff a5", "R 3ff a5", "W 2e8 ff", "R 2e8 ff"}));
}

void TestHelperClient::refusedPortNamesThePort() {
    FakeHelperFolder folder("ok");
    HelperClient client({folder.path()});
    QCOMPARE(text(client.start()), QString());
    const HelperClient::Result r = client.read(0x400);
    QVERIFY2(text(r.error).contains(QStringLiteral("0x400")), r.error.c_str());
    QVERIFY(!client.write(0x3E7, 1).error.empty());
    QVERIFY(client.running());  // a refusal does not end the session
    QCOMPARE(client.read(0x3E8).error, std::string());
    QCOMPARE(folder.accesses(), QStringList({"R 3e8 0"}));
}

void TestHelperClient::notStarted() {
    FakeHelperFolder folder("ok");
    HelperClient client({folder.path()});
    QVERIFY(text(client.read(0x3F8).error).contains(QStringLiteral("開始されていません")));
    QVERIFY(!client.write(0x3F8, 1).error.empty());
    QCOMPARE(text(client.stop()), QString());  // stopping with none running succeeds
    QVERIFY(folder.accesses().isEmpty());
}

void TestHelperClient::startWhileRunningKeepsHelper() {
    FakeHelperFolder folder("ok");
    HelperClient client({folder.path()});
    QCOMPARE(text(client.start()), QString());
    const pid_t first = client.pid();
    client.write(0x3FF, 0x42);
    QCOMPARE(text(client.start()), QString());
    QCOMPARE(client.pid(), first);
    QCOMPARE(client.read(0x3FF).value, 0x42);  // same helper, same state
}

void TestHelperClient::startAfterHelperDiedReplacesIt() {
    FakeHelperFolder folder("ok");
    HelperClient client({folder.path()});
    QCOMPARE(text(client.start()), QString());
    const pid_t first = client.pid();
    kill(first, SIGKILL);
    const auto deadNotReaped = [first] {
        siginfo_t info{};
        return waitid(P_PID, id_t(first), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == first;
    };
    QTRY_VERIFY(deadNotReaped());
    QCOMPARE(text(client.start()), QString());
    QVERIFY(client.pid() != first);
    QVERIFY(gone(first));  // the old one was reaped
    QCOMPARE(client.read(0x3F8).error, std::string());
}

void TestHelperClient::helperDiesMidSession() {
    FakeHelperFolder folder("die-after-1");
    HelperClient client({folder.path()});
    QCOMPARE(text(client.start()), QString());
    const pid_t pid = client.pid();
    QCOMPARE(client.read(0x3F8).error, std::string());
    const HelperClient::Result r = client.read(0x3F8);
    QVERIFY2(text(r.error).contains(QStringLiteral("終了しました")), r.error.c_str());
    QVERIFY(!client.running());
    QVERIFY(gone(pid));
}

void TestHelperClient::stopEndsHelper() {
    FakeHelperFolder folder("ok");
    HelperClient client({folder.path()});
    QCOMPARE(text(client.start()), QString());
    const pid_t pid = client.pid();
    QCOMPARE(text(client.stop()), QString());
    QVERIFY(!client.running());
    QVERIFY(gone(pid));
    QCOMPARE(text(client.stop()), QString());
}

// A program that dies with a session open (the window closed without I/O end) leaves no
// helper behind: the helper sees its socket close and exits.
void TestHelperClient::clientDeathEndsHelper() {
    FakeHelperFolder folder("ok");
    QCOMPARE(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);  // orphaned helpers come back to us
    int pipeEnds[2];
    QCOMPARE(pipe(pipeEnds), 0);
    const pid_t program = fork();
    QVERIFY(program >= 0);
    if (program == 0) {
        HelperClient* client = new HelperClient({folder.path()});  // never destroyed
        pid_t helper = client->start().empty() ? client->pid() : -1;
        (void)!write(pipeEnds[1], &helper, sizeof helper);
        _exit(0);
    }
    pid_t helper = -1;
    QCOMPARE(read(pipeEnds[0], &helper, sizeof helper), ssize_t(sizeof helper));
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    QVERIFY(helper > 0);
    QCOMPARE(waitpid(program, nullptr, 0), program);

    QElapsedTimer timer;
    timer.start();
    int status = 0;
    pid_t done = 0;
    while (done == 0 && timer.elapsed() < 5000) {
        done = waitpid(helper, &status, WNOHANG);
        if (done == 0)
            QTest::qWait(10);
    }
    QCOMPARE(done, helper);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestHelperClient::programGroupSignalSparesHelper_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGQUIT") << SIGQUIT;
}

// A stop signal to the program's whole process group (a terminal's Ctrl-C, Ctrl-\ or hangup,
// timeout) leaves the helper serving, so the program that catches it can still put the UART
// back. The program here is a child leading a group of its own; the signal is pending on
// every member of the group before the write is sent, so a helper in that group would be
// gone before it could answer.
void TestHelperClient::programGroupSignalSparesHelper() {
    QFETCH(int, signal);
    FakeHelperFolder folder("ok");
    int pipeEnds[2];
    QCOMPARE(pipe(pipeEnds), 0);
    const pid_t program = fork();
    QVERIFY(program >= 0);
    if (program == 0) {
        setpgid(0, 0);
        struct sigaction caught {};
        caught.sa_handler = [](int) {};
        sigaction(signal, &caught, nullptr);
        HelperClient client({folder.path()});
        std::string said = client.start();
        if (said.empty()) {
            ::kill(0, signal);
            said = client.write(0x3F9, 0x0F).error;
            client.stop();
        }
        (void)!write(pipeEnds[1], said.data(), said.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    QByteArray said;
    char buffer[512];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    QCOMPARE(waitpid(program, &status, 0), program);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(QString::fromUtf8(said), QString());
    QCOMPARE(folder.accesses(), QStringList({"W 3f9 f"}));
}

QTEST_APPLESS_MAIN(TestHelperClient)
#include "tst_helperclient.moc"
