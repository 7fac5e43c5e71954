// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QTest>
#include <sstream>

#include "cli/base/console.h"
#include "cli/portlist.h"
#include "tests/fakes/sysfstree.h"

namespace {

// The exit status of jq -e expression on the file (1: false or null, above 1: not JSON or
// a bad expression), or -1 when jq cannot be started.
int jq(const QString& expression, const QString& file) {
    const std::string filter = expression.toStdString();
    const std::string path = file.toStdString();
    std::vector<char*> argv{const_cast<char*>("jq"), const_cast<char*>("-e"),
                            const_cast<char*>(filter.c_str()), const_cast<char*>(path.c_str()),
                            nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, "jq", &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    if (failed != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 127)
        return -1;
    return WEXITSTATUS(status);
}

}  // namespace

class TestList : public QObject {
    Q_OBJECT

private slots:
    void list_data();
    void list();
};

// "list" on a sysfs tree (see SysfsTree): its status, all of standard output, a text its
// standard error holds (empty: nothing at all), and for --json an expression jq must find
// true of the output.
void TestList::list_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("active");
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("check");

    const auto row = [](const char* name, const QStringList& entries, bool json, const char* output,
                        const char* check = "", const QString& active = QString()) {
        QTest::newRow(name) << entries << active << json << 0 << QString::fromUtf8(output)
                            << QString() << QString::fromUtf8(check);
    };
    const QString com1 = QStringLiteral("ttyS0 type=4 io_type=0 port=0x3F8 irq=4");
    const QStringList placeholders{"ttyS1 type=0 io_type=0 port=0x0 irq=0",
                                   "ttyS2 type=0 io_type=0 port=0x0 irq=0"};
    const QStringList pci{"ttyS4 type=4 io_type=0 port=0xC000 irq=17",
                          "ttyS5 type=10 io_type=0 port=0xD010 irq=18"};
    const QString mmio =
        QStringLiteral("ttyS6 type=4 io_type=2 port=0x0 iomem_base=0xFE030000 irq=20");

    row("none", placeholders, false, "カーネルはシリアルポートを 1 つも登録していません。\n");
    row("none --json", placeholders, true, "[\n]\n", "length == 0");
    row("legacy only", QStringList(placeholders) << com1, false,
        "ttyS0: ポート 3F8、IRQ 4、16550A。regwise-io で使えます（COM1）。\n");
    row("PCI port I/O", pci, false,
        "ttyS4: ポート C000、IRQ 17、16550A。regwise-io で使えます（C000-C007）。\n"
        "ttyS5: ポート D010、IRQ 18、16C950。regwise-io で使えます（D010-D017）。\n");
    row("memory-mapped", {mmio}, false,
        "ttyS6: メモリーマップ FE030000、IRQ 20、16550A。使えません: メモリーマップの UART で、I/O "
        "ポートにはありません（Regwise は I/O ポートだけを使います）。\n");
    row("a console", {com1, "ttyS1 type=4 io_type=0 port=0x2F8 irq=3"}, false,
        "ttyS0: ポート 3F8、IRQ 4、16550A、カーネルのコンソール。regwise-io で使えます（COM1）が、"
        "カーネルのコンソールです: identify と selftest は --force を付けたときだけ調べ、"
        "書き込むとコンソールの出力が乱れます。\n"
        "ttyS1: ポート 2F8、IRQ 3、16550A。regwise-io で使えます（COM2）。\n",
        "", QStringLiteral("tty0 ttyS0"));
    row("values the program does not know",
        {"ttyS7 type=31 io_type=0 port=0xC004 irq=x", "ttyS8 type=? io_type=0 port=0xC008"}, false,
        "ttyS7: ポート C004、IRQ 不明、種別 31。使えません: ポートが 0 か 8 の倍数でないか、8 "
        "ポートが FFFF までに収まりません。\n"
        "ttyS8: ポート C008、IRQ 不明、種別不明。使えません: カーネルの値（type、io_type、port、"
        "iomem_reg_shift）を読めませんでした。\n");
    row("--json of every kind",
        QStringList{com1 + QStringLiteral(" uartclk=1843200 xmit_fifo_size=16"), mmio,
                    "ttyS7 type=31 io_type=1 port=0x302"}
            << pci,
        true,
        "[\n"
        "    {\n"
        "        \"console\": true,\n"
        "        \"fifo_size\": 16,\n"
        "        \"io_type\": 0,\n"
        "        \"irq\": 4,\n"
        "        \"mmio\": null,\n"
        "        \"port\": \"3F8\",\n"
        "        \"reachable\": true,\n"
        "        \"reason\": null,\n"
        "        \"tty\": \"ttyS0\",\n"
        "        \"type\": \"16550A\",\n"
        "        \"type_number\": 4,\n"
        "        \"uartclk\": 1843200\n"
        "    },\n"
        "    {\n"
        "        \"console\": false,\n"
        "        \"fifo_size\": null,\n"
        "        \"io_type\": 0,\n"
        "        \"irq\": 17,\n"
        "        \"mmio\": null,\n"
        "        \"port\": \"C000\",\n"
        "        \"reachable\": true,\n"
        "        \"reason\": null,\n"
        "        \"tty\": \"ttyS4\",\n"
        "        \"type\": \"16550A\",\n"
        "        \"type_number\": 4,\n"
        "        \"uartclk\": null\n"
        "    },\n"
        "    {\n"
        "        \"console\": false,\n"
        "        \"fifo_size\": null,\n"
        "        \"io_type\": 0,\n"
        "        \"irq\": 18,\n"
        "        \"mmio\": null,\n"
        "        \"port\": \"D010\",\n"
        "        \"reachable\": true,\n"
        "        \"reason\": null,\n"
        "        \"tty\": \"ttyS5\",\n"
        "        \"type\": \"16C950\",\n"
        "        \"type_number\": 10,\n"
        "        \"uartclk\": null\n"
        "    },\n"
        "    {\n"
        "        \"console\": false,\n"
        "        \"fifo_size\": null,\n"
        "        \"io_type\": 2,\n"
        "        \"irq\": 20,\n"
        "        \"mmio\": \"FE030000\",\n"
        "        \"port\": null,\n"
        "        \"reachable\": false,\n"
        "        \"reason\": \"メモリーマップの UART で、I/O ポートにはありません（Regwise は I/O "
        "ポートだけを使います）\",\n"
        "        \"tty\": \"ttyS6\",\n"
        "        \"type\": \"16550A\",\n"
        "        \"type_number\": 4,\n"
        "        \"uartclk\": null\n"
        "    },\n"
        "    {\n"
        "        \"console\": false,\n"
        "        \"fifo_size\": null,\n"
        "        \"io_type\": 1,\n"
        "        \"irq\": null,\n"
        "        \"mmio\": null,\n"
        "        \"port\": \"302\",\n"
        "        \"reachable\": false,\n"
        "        \"reason\": \"HUB6 カードの UART で、I/O ポートから直接は使えません\",\n"
        "        \"tty\": \"ttyS7\",\n"
        "        \"type\": null,\n"
        "        \"type_number\": 31,\n"
        "        \"uartclk\": null\n"
        "    }\n"
        "]\n",
        "length == 5 and .[0].console and .[0].uartclk == 1843200 and ([.[].reachable] == "
        "[true, true, true, false, false]) and .[3].port == null and .[3].mmio == \"FE030000\" "
        "and (.[4].reason | type) == \"string\" and .[4].type == null",
        QStringLiteral("ttyS0"));

    QTest::newRow("no tty folder at all")
        << QStringList() << QString() << false << 1 << QString()
        << QStringLiteral("カーネルのシリアルポートの一覧「") << QString();
}

void TestList::list() {
    QFETCH(QStringList, entries);
    QFETCH(QString, active);
    QFETCH(bool, json);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, error);
    QFETCH(QString, check);

    const SysfsTree tree(entries, active);
    QVERIFY(tree.ok());
    std::string root = tree.root().toStdString();
    if (status != 0)
        root += "/missing";
    std::ostringstream out;
    std::ostringstream err;
    const cli::Console console{out, err, "regwise-io-test"};

    QCOMPARE(cli::listPorts(root, console, json), status);
    QCOMPARE(QString::fromStdString(out.str()), output);
    const QString errText = QString::fromStdString(err.str());
    if (error.isEmpty())
        QVERIFY2(errText.isEmpty(), qPrintable(errText));
    else
        QVERIFY2(errText.contains(error), qPrintable(errText));

    if (json) {
        QFile file(tree.root() + QStringLiteral("/list.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(out.str()));
        file.close();
        const int answer = jq(check, file.fileName());
        if (answer < 0)
            QSKIP("jq is not installed (Debian package jq)");
        QCOMPARE(answer, 0);
    }
}

QTEST_APPLESS_MAIN(TestList)
#include "tst_list.moc"
