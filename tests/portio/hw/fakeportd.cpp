// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// A stand-in for regwise-portd that the client tests start in its place. It is the helper's
// own main and server with ports that are memory (tests/fakes/memoryports.h): it touches no
// port, and every access is appended to the file "accesses" beside it. How it behaves is read
// from the file "mode" beside it (the client passes no arguments or environment): a word
// naming the behaviour, then for "eperm" the facts the helper found at start ("rawio", "nnp",
// "traced", "nosuid"). The replies no sound helper gives (cut, overlong, garbled or
// unterminated, a refusal of its own) are made here, outside the helper's main.

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

#include "portio/hw/helpermain.h"
#include "portio/hw/portdprotocol.h"
#include "portio/hw/portdserver.h"
#include "tests/fakes/memoryports.h"

namespace {

// How late the "slow" helper is with its first reply and with every answer.
constexpr int kLateMs = 100;

// What the helper found when it asked for the ports.
OpenOutcome outcomeOf(const std::string& mode, const std::set<std::string>& facts) {
    OpenOutcome outcome;
    if (mode == "eperm" || mode == "lockdown") {
        outcome = {OpenOutcome::GainPorts, EPERM};
        outcome.rawioPermitted = facts.count("rawio") != 0;
        outcome.noNewPrivs = facts.count("nnp") != 0;
        outcome.traced = facts.count("traced") != 0;
        outcome.nosuidMount = facts.count("nosuid") != 0;
    }
    if (mode == "enomem")
        outcome = {OpenOutcome::GainPorts, ENOMEM};
    if (mode == "drop-fails")
        outcome = {OpenOutcome::DropPrivileges, EIO};
    if (mode == "privileges-left")
        outcome = {OpenOutcome::CheckDropped, 0};
    return outcome;
}

// A reply of the wrong size, as the first reply or as the answer to the first request. The
// helper then ignores its socket: only a kill ends it.
int wrongSize(const std::string& mode) {
    portd::Reply reply;
    reply.value = 0x55;
    unsigned char bytes[sizeof reply + 1] = {};
    std::memcpy(bytes, &reply, sizeof reply);
    if (mode == "short" || mode == "long") {
        send(portd::kSocketFd, &reply, sizeof reply, MSG_NOSIGNAL);
        portd::Request request;
        if (recv(portd::kSocketFd, &request, sizeof request, 0) != sizeof request)
            return 1;
    }
    const bool cut = mode.rfind("short", 0) == 0;
    send(portd::kSocketFd, bytes, cut ? offsetof(portd::Reply, text) : sizeof bytes, MSG_NOSIGNAL);
    pause();
    return 0;
}

// Served by the helper's server, but with every reply garbled ("garbled") or the second
// request refused untouched and the others served as usual ("refuse-2nd").
int alteredReplies(const std::string& mode, MemoryPorts& ports, const std::string& lockdownPath) {
    PortdServer server(ports, lockdownPath);
    const portd::Reply first = server.start();
    send(portd::kSocketFd, &first, sizeof first, MSG_NOSIGNAL);
    portd::Request request;
    int received = 0;
    while (recv(portd::kSocketFd, &request, sizeof request, 0) == sizeof request) {
        ++received;
        bool stop = false;
        portd::Reply reply;
        if (mode == "refuse-2nd" && received == 2) {
            reply.status = portd::StatusBadRequest;
            reply.setText("refused by fakeportd");
        } else {
            reply = server.handle(&request, sizeof request, stop);
        }
        if (mode == "garbled") {
            reply.status = portd::StatusBadRequest;
            std::memset(reply.text, 'x', sizeof reply.text);
            reply.text[sizeof reply.text - 1] = '\x1b';
        }
        send(portd::kSocketFd, &reply, sizeof reply, MSG_NOSIGNAL);
        if (stop)
            return 0;
    }
    return 0;
}

}  // namespace

int main(int, char** argv) {
    ignoreProgramSignals();  // as regwise-portd does before anything else it may wait for
    std::string folder = argv[0];
    folder.erase(folder.rfind('/') + 1);
    std::ifstream modeFile(folder + "mode");
    std::string mode;
    modeFile >> mode;
    std::set<std::string> facts;
    for (std::string word; modeFile >> word;)
        facts.insert(word);

    if (mode == "exit")
        return 3;
    if (mode == "hang") {
        pause();
        return 0;
    }
    if (mode == "unterminated") {
        portd::Reply lockdown;
        lockdown.status = portd::StatusLockdown;
        std::memset(lockdown.text, 'x', sizeof lockdown.text);
        lockdown.text[sizeof lockdown.text - 1] = '\x1b';  // must reach the user quoted
        send(portd::kSocketFd, &lockdown, sizeof lockdown, MSG_NOSIGNAL);
        return 1;
    }
    if (mode == "short-first" || mode == "long-first" || mode == "short" || mode == "long")
        return wrongSize(mode);

    MemoryPorts ports;
    ports.outcome = outcomeOf(mode, facts);
    const std::string log = folder + "accesses";
    int accesses = 0;
    ports.watch = [&](const MemoryPorts::Access& access) {
        if (mode == "die-after-1" && ++accesses == 2)
            _exit(0);  // gone before the second access, its request unanswered
        if (mode == "mute")
            pause();  // never answers a request that touches a port
        if (mode == "slow")
            usleep(kLateMs * 1000);
        std::ofstream(log, std::ios::app)
            << access.kind << ' ' << std::hex << access.port << ' ' << int(access.value) << '\n';
    };
    if (mode == "lockdown")
        std::ofstream(folder + "lockdown") << "none [integrity] confidentiality\n";
    if (mode == "garbled" || mode == "refuse-2nd")
        return alteredReplies(mode, ports, folder + "lockdown");
    if (mode == "slow")
        usleep(kLateMs * 1000);
    return portd::helperMain(ports, folder + "lockdown");
}
