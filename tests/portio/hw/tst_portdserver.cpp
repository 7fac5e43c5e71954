// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The helper's request handling, against a fake port accessor: no port is touched.

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fstream>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

#include "portio/hw/portdprotocol.h"
#include "portio/hw/portdserver.h"
#include "tests/fakes/memoryports.h"

using namespace portd;

namespace {

using Access = MemoryPorts::Access;

// Every read answers 0x5A, and every access is kept.
struct FakePorts final : MemoryPorts {
    FakePorts() {
        readValue = 0x5A;
        keepAccesses = true;
    }
};

Reply send(PortdServer& server, Request request, bool& stop) {
    return server.handle(&request, sizeof request, stop);
}

}  // namespace

class TestPortdServer : public QObject {
    Q_OBJECT

private slots:
    void allowList_data();
    void allowList();
    void writeData_data();
    void writeData();
    void malformed_data();
    void malformed();
    void stopRequest();
    void start_data();
    void start();
    void serveOverSocket();
};

void TestPortdServer::allowList_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("opened");  // the start opened a PCI window at C000
    QTest::addColumn<bool>("allowed");
    for (int base : {0x2E8, 0x2F8, 0x3E8, 0x3F8}) {
        for (int port = base; port < base + 8; ++port)
            QTest::addRow("0x%X", port) << port << false << true;
    }
    for (int port : {0x2E7, 0x2F0, 0x2F7, 0x3E7, 0x3F0, 0x3F7, 0x400, 0x0, 0xE9, 0x80, 0xFFFF,
                     0x103F8, -1, -0x3F8, -0x8000, 0xC000})
        QTest::addRow("%s0x%X", port < 0 ? "-" : "", port < 0 ? -port : port)
            << port << false << false;
    // The kernel's other port-I/O UARTs: exactly the windows the start opened.
    for (int port : {0xC000, 0xC007, 0x3F8})
        QTest::addRow("0x%X with C000 opened", port) << port << true << true;
    for (int port : {0xBFFF, 0xC008, 0x1C000, 0xC000 - 0x10000})
        QTest::addRow("%s0x%X with C000 opened", port < 0 ? "-" : "", port < 0 ? -port : port)
            << port << true << false;
}

// Every port of the windows the start opened is served with exactly one access; every other
// port, including one that would alias a window if truncated to 16 bits, is refused
// untouched.
void TestPortdServer::allowList() {
    QFETCH(int, port);
    QFETCH(bool, opened);
    QFETCH(bool, allowed);
    FakePorts ports;
    if (opened)
        ports.outcome.otherWindows = {0xC000};
    PortdServer server(ports);
    QCOMPARE(server.start().status, StatusOk);
    bool stop = true;

    const Reply read = send(server, {OpRead, port, 0}, stop);
    const Reply write = send(server, {OpWrite, port, 0x81}, stop);
    QCOMPARE(stop, false);
    if (allowed) {
        QCOMPARE(read.status, StatusOk);
        QCOMPARE(read.value, 0x5A);
        QCOMPARE(write.status, StatusOk);
        const std::vector<Access> expected{{'R', uint16_t(port), 0x5A},
                                           {'W', uint16_t(port), 0x81}};
        QVERIFY(ports.accesses == expected);
    } else {
        QCOMPARE(read.status, StatusRefused);
        QCOMPARE(write.status, StatusRefused);
        QCOMPARE(read.value, 0);
        QVERIFY(ports.accesses.empty());
    }
}

void TestPortdServer::writeData_data() {
    QTest::addColumn<int>("data");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0") << 0 << true;
    QTest::newRow("255") << 255 << true;
    QTest::newRow("256") << 256 << false;
    QTest::newRow("-1") << -1 << false;
    QTest::newRow("0x7FFFFFFF") << 0x7FFFFFFF << false;
}

void TestPortdServer::writeData() {
    QFETCH(int, data);
    QFETCH(bool, accepted);
    FakePorts ports;
    PortdServer server(ports);
    bool stop = false;
    const Reply reply = send(server, {OpWrite, 0x3FF, data}, stop);
    QCOMPARE(reply.status, accepted ? StatusOk : StatusBadRequest);
    QCOMPARE(ports.accesses.size(), accepted ? 1u : 0u);
    if (accepted)
        QCOMPARE(ports.accesses[0].value, uint8_t(data));
}

void TestPortdServer::malformed_data() {
    QTest::addColumn<QByteArray>("message");
    const Request read{OpRead, 0x3F8, 0};
    const QByteArray whole(reinterpret_cast<const char*>(&read), sizeof read);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte short") << whole.left(sizeof read - 1);
    QTest::newRow("one byte long") << whole + '\0';
    QTest::newRow("reply-sized") << QByteArray(sizeof(Reply), '\0');
    const auto withOp = [](uint32_t op) {
        const Request r{op, 0x3F8, 0};
        return QByteArray(reinterpret_cast<const char*>(&r), sizeof r);
    };
    QTest::newRow("op 0") << withOp(0);
    QTest::newRow("op 4") << withOp(4);
    QTest::newRow("op 0xFFFFFFFF") << withOp(0xFFFFFFFF);
}

void TestPortdServer::malformed() {
    QFETCH(QByteArray, message);
    FakePorts ports;
    PortdServer server(ports);
    bool stop = true;
    const Reply reply = server.handle(message.constData(), std::size_t(message.size()), stop);
    QCOMPARE(reply.status, StatusBadRequest);
    QVERIFY(reply.text[0] != '\0');
    QCOMPARE(stop, false);
    QVERIFY(ports.accesses.empty());
}

void TestPortdServer::stopRequest() {
    FakePorts ports;
    PortdServer server(ports);
    bool stop = false;
    const Reply reply = send(server, {OpStop, 0x3F8, 0}, stop);
    QCOMPARE(reply.status, StatusOk);
    QVERIFY(stop);
    QVERIFY(ports.accesses.empty());
}

void TestPortdServer::start_data() {
    QTest::addColumn<int>("failedStep");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("facts");     // what the helper held at start
    QTest::addColumn<QByteArray>("lockdown");  // "-": no lockdown file, "dir": unreadable
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("text");

    const QByteArray none = "[none] integrity confidentiality";
    const QByteArray integrity = "none [integrity] confidentiality";
    const int ports = OpenOutcome::GainPorts;
    QTest::newRow("granted") << int(OpenOutcome::Opened) << 0 << QByteArray() << integrity
                             << int(StatusOk) << 0 << QByteArray();
    QTest::newRow("EPERM, lockdown none")
        << ports << EPERM << QByteArray() << none << int(StatusNoCapability) << 0 << QByteArray();
    QTest::newRow("EPERM, no lockdown file") << ports << EPERM << QByteArray() << QByteArray("-")
                                             << int(StatusNoCapability) << 0 << QByteArray();
    QTest::newRow("EPERM, unreadable lockdown text")
        << ports << EPERM << QByteArray() << QByteArray("garbage") << int(StatusNoCapability) << 0
        << QByteArray();
    QTest::newRow("EPERM, lockdown integrity")
        << ports << EPERM << QByteArray() << integrity << int(StatusLockdown) << 0
        << QByteArray("integrity");
    QTest::newRow("EPERM, lockdown confidentiality")
        << ports << EPERM << QByteArray() << QByteArray("none integrity [confidentiality]")
        << int(StatusLockdown) << 0 << QByteArray("confidentiality");
    // Lockdown refuses even root, so it is named whether or not the capability was held.
    QTest::newRow("EPERM, capability held, lockdown integrity")
        << ports << EPERM << QByteArray("rawio") << integrity << int(StatusLockdown) << 0
        << QByteArray("integrity");
    QTest::newRow("EPERM, capability held, lockdown none")
        << ports << EPERM << QByteArray("rawio") << none << int(StatusKernelRefused) << 0
        << QByteArray();
    QTest::newRow("EPERM, capability held, lockdown file unreadable")
        << ports << EPERM << QByteArray("rawio") << QByteArray("dir") << int(StatusKernelRefused)
        << 0 << QByteArray();
    QTest::newRow("EPERM, capability held under no_new_privs")
        << ports << EPERM << QByteArray("rawio nnp") << none << int(StatusKernelRefused) << 0
        << QByteArray();
    QTest::newRow("EPERM, no_new_privs")
        << ports << EPERM << QByteArray("nnp") << none << int(StatusNoCapability)
        << int(CauseNoNewPrivs) << QByteArray();
    QTest::newRow("EPERM, traced") << ports << EPERM << QByteArray("traced") << none
                                   << int(StatusNoCapability) << int(CauseTraced) << QByteArray();
    QTest::newRow("EPERM, nosuid") << ports << EPERM << QByteArray("nosuid") << none
                                   << int(StatusNoCapability) << int(CauseNosuid) << QByteArray();
    QTest::newRow("EPERM, no_new_privs, traced and nosuid")
        << ports << EPERM << QByteArray("nnp traced nosuid") << none << int(StatusNoCapability)
        << int(CauseNoNewPrivs | CauseTraced | CauseNosuid) << QByteArray();
    QTest::newRow("ENOMEM") << ports << ENOMEM << QByteArray("rawio") << none
                            << int(StatusStartFailed) << ENOMEM << QByteArray();
    QTest::newRow("dropping privileges fails, EPERM")
        << int(OpenOutcome::DropPrivileges) << EPERM << QByteArray("rawio") << integrity
        << int(StatusDropFailed) << EPERM << QByteArray();
    QTest::newRow("privileges left after dropping")
        << int(OpenOutcome::CheckDropped) << 0 << QByteArray("rawio") << integrity
        << int(StatusPrivilegesLeft) << 0 << QByteArray();
}

void TestPortdServer::start() {
    QFETCH(int, failedStep);
    QFETCH(int, error);
    QFETCH(QByteArray, facts);
    QFETCH(QByteArray, lockdown);
    QFETCH(int, status);
    QFETCH(int, value);
    QFETCH(QByteArray, text);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("lockdown")).toStdString();
    if (lockdown == "dir")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("lockdown")));
    else if (lockdown != "-")
        std::ofstream(path) << lockdown.constData() << '\n';
    FakePorts ports;
    ports.outcome = {OpenOutcome::Step(failedStep), error};
    const QList<QByteArray> held = facts.split(' ');
    ports.outcome.rawioPermitted = held.contains("rawio");
    ports.outcome.noNewPrivs = held.contains("nnp");
    ports.outcome.traced = held.contains("traced");
    ports.outcome.nosuidMount = held.contains("nosuid");
    PortdServer server(ports, path);
    const Reply reply = server.start();
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.value, value);
    if (!text.isEmpty())
        QCOMPARE(QByteArray(reply.text), text);
    QVERIFY(ports.accesses.empty());
}

// The loop over a real SOCK_SEQPACKET pair: replies in order, an oversized message is
// refused as a whole (not read as a valid prefix), and stop ends the loop with 0.
void TestPortdServer::serveOverSocket() {
    int ends[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    FakePorts ports;
    PortdServer server(ports);
    int exitCode = -1;
    std::thread helper([&] { exitCode = server.serve(ends[1]); });

    const auto ask = [&](const void* data, std::size_t size) {
        Reply reply;
        reply.status = -1;
        if (::send(ends[0], data, size, 0) == ssize_t(size))
            ::recv(ends[0], &reply, sizeof reply, 0);
        return reply;
    };
    const Request read{OpRead, 0x2F9, 0};
    QCOMPARE(ask(&read, sizeof read).value, 0x5A);
    unsigned char big[sizeof(Request) + 8] = {};
    std::memcpy(big, &read, sizeof read);
    QCOMPARE(ask(big, sizeof big).status, StatusBadRequest);
    const Request stop{OpStop, 0, 0};
    QCOMPARE(ask(&stop, sizeof stop).status, StatusOk);
    helper.join();
    QCOMPARE(exitCode, 0);
    QCOMPARE(ports.accesses.size(), 1u);

    // A closed socket also ends the loop cleanly.
    std::thread again([&] { exitCode = server.serve(ends[1]); });
    ::close(ends[0]);
    again.join();
    QCOMPARE(exitCode, 0);
    ::close(ends[1]);
}

QTEST_APPLESS_MAIN(TestPortdServer)
#include "tst_portdserver.moc"
