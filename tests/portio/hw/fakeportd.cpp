// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// A stand-in for regwise-portd that the client tests start in its place. It speaks the
// same protocol through the same server logic but touches no port: its "ports" are an
// array, and every access is appended to the file "accesses" beside it. How it behaves
// is read from the file "mode" beside it (the client passes no arguments or environment):
// a word naming the behaviour, then for "eperm" the facts the helper found at start
// ("rawio", "nnp", "traced", "nosuid").

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "portio/hw/portdprotocol.h"
#include "portio/hw/portdserver.h"

namespace {

// How late the "slow" helper is with its first reply and with every answer.
constexpr int kLateMs = 100;

class MemoryPorts final : public PortAccessor {
public:
    MemoryPorts(std::string log, OpenOutcome outcome) : m_log(std::move(log)), m_outcome(outcome) {}
    OpenOutcome open() override { return m_outcome; }
    uint8_t read(uint16_t port) override {
        record('R', port, m_bytes[port]);
        return m_bytes[port];
    }
    void write(uint16_t port, uint8_t value) override {
        record('W', port, value);
        m_bytes[port] = value;
    }

private:
    void record(char kind, uint16_t port, uint8_t value) {
        std::ofstream(m_log, std::ios::app)
            << kind << ' ' << std::hex << port << ' ' << int(value) << '\n';
    }
    std::string m_log;
    OpenOutcome m_outcome;
    uint8_t m_bytes[0x10000] = {};
};

}  // namespace

int main(int, char** argv) {
    struct stat st {};
    if (fstat(portd::kSocketFd, &st) != 0 || !S_ISSOCK(st.st_mode))
        return 2;
    ignoreProgramSignals();  // as regwise-portd does first
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
    // A reply of the wrong size, as the first reply or as the answer to the first request.
    // The helper then ignores its socket: only a kill ends it.
    if (mode == "short-first" || mode == "long-first" || mode == "short" || mode == "long") {
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
        send(portd::kSocketFd, bytes, cut ? offsetof(portd::Reply, text) : sizeof bytes,
             MSG_NOSIGNAL);
        pause();
        return 0;
    }
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
    if (mode == "lockdown")
        std::ofstream(folder + "lockdown") << "none [integrity] confidentiality\n";
    MemoryPorts ports(folder + "accesses", outcome);
    PortdServer server(ports, folder + "lockdown");
    if (mode == "slow")
        usleep(kLateMs * 1000);
    const portd::Reply first = server.start();
    send(portd::kSocketFd, &first, sizeof first, MSG_NOSIGNAL);
    if (first.status != portd::StatusOk)
        return 1;
    if (mode == "die-after-1" || mode == "slow" || mode == "mute" || mode == "garbled" ||
        mode == "refuse-2nd") {
        portd::Request request;
        int received = 0;
        while (recv(portd::kSocketFd, &request, sizeof request, 0) == sizeof request) {
            ++received;
            if (mode == "mute")
                continue;
            if (mode == "slow")
                usleep(kLateMs * 1000);
            bool stop = false;
            portd::Reply reply;
            if (mode == "refuse-2nd" && received == 2) {  // refused untouched, then on as usual
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
            if (stop || mode == "die-after-1")
                return 0;
        }
        return 0;
    }
    return server.serve(portd::kSocketFd);
}
