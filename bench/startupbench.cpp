// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Start-up benchmark: how long each program takes from fork to its first exposed window,
// and its peak resident set size by then, as medians over several runs, each against the
// first program (the baseline) measured in the same run.
//   startupbench <exposeprobe.so> <runs> <baseline-exe> <exe>...
// The platform (offscreen, xcb under Xvfb) is whatever QT_QPA_PLATFORM says.

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Sample {
    double startupMs;
    double peakRssMiB;
    std::string window;  // object name of the window that was exposed first
};

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

bool runOnce(const std::string& probe, const std::string& exe, Sample& sample) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const long long started = monotonicNs();
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        close(fds[0]);
        setenv("LD_PRELOAD", probe.c_str(), 1);
        setenv("REGWISE_BENCH_REPORT_FD", std::to_string(fds[1]).c_str(), 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);

    std::string text;
    pollfd p{fds[0], POLLIN, 0};
    char buffer[64];
    while (poll(&p, 1, 30000) > 0) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (text.empty())
        kill(child, SIGKILL);

    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (text.empty() || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s: no window was exposed (status %d)\n", exe.c_str(), status);
        return false;
    }
    sample.startupMs = static_cast<double>(std::atoll(text.c_str()) - started) / 1e6;
    const size_t space = text.find(' ');
    sample.window = space == std::string::npos ? std::string() : text.substr(space + 1);
    while (!sample.window.empty() && sample.window.back() == '\n')
        sample.window.pop_back();
    sample.peakRssMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s <exposeprobe.so> <runs> <baseline-exe> <exe>...\n",
                     argv[0]);
        return 2;
    }
    const std::string probe = argv[1];
    const int runs = std::max(1, std::atoi(argv[2]));
    const std::vector<std::string> exes(argv + 3, argv + argc);

    std::vector<std::vector<double>> times(exes.size()), rss(exes.size());
    std::vector<std::string> windows(exes.size());
    Sample sample{};
    for (size_t i = 0; i < exes.size(); ++i) {  // warm the page cache; not counted
        if (!runOnce(probe, exes[i], sample))
            return 1;
        windows[i] = sample.window;
    }
    for (int run = 0; run < runs; ++run) {
        // Alternate the order so neither program always follows the other.
        for (size_t k = 0; k < exes.size(); ++k) {
            const size_t i = run % 2 == 0 ? k : exes.size() - 1 - k;
            if (!runOnce(probe, exes[i], sample))
                return 1;
            if (sample.window != windows[i]) {
                std::fprintf(stderr, "%s: first exposed %s, before %s\n", exes[i].c_str(),
                             sample.window.c_str(), windows[i].c_str());
                return 1;
            }
            times[i].push_back(sample.startupMs);
            rss[i].push_back(sample.peakRssMiB);
        }
    }

    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("start-up to first exposed window, platform %s, median of %d runs\n",
                platform != nullptr ? platform : "(default)", runs);
    const double baseTime = median(times[0]);
    const double baseRss = median(rss[0]);
    bool withinTarget = true;
    for (size_t i = 0; i < exes.size(); ++i) {
        const double t = median(times[i]);
        const double r = median(rss[i]);
        std::printf("  %-14s %-20s %8.1f ms  x%.2f   peak RSS %7.1f MiB  x%.2f\n",
                    exes[i].substr(exes[i].rfind('/') + 1).c_str(), windows[i].c_str(), t,
                    t / baseTime, r, r / baseRss);
        withinTarget = withinTarget && t / baseTime <= 1.3 && r / baseRss <= 1.3;
    }
    std::printf("  target (within x1.30 of the baseline): %s\n", withinTarget ? "met" : "MISSED");
    return 0;
}
