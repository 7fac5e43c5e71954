// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Preloaded (LD_PRELOAD) into the program the start-up benchmark measures. When the
// program's first window is exposed it writes the CLOCK_MONOTONIC time, in nanoseconds, to
// the file descriptor named by REGWISE_BENCH_REPORT_FD, with the window's object name so
// the benchmark can tell the main window from a message box, and ends the process at once:
// the program itself needs no hook and every program is measured the same way.

#include <unistd.h>
#include <QCoreApplication>
#include <QEvent>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

class ExposeWatcher final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && watched->isWindowType() &&
            static_cast<QWindow*>(watched)->isExposed())
            report(watched->objectName());
        return false;
    }

private:
    static void report(const QString& windowName) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const char* fdText = std::getenv("REGWISE_BENCH_REPORT_FD");
        if (fdText != nullptr) {
            char line[96];
            const int length =
                std::snprintf(line, sizeof line, "%lld %s\n",
                              static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                              qPrintable(windowName.left(40)));
            if (write(std::atoi(fdText), line, static_cast<size_t>(length)) < 0)
                _exit(3);
        }
        _exit(0);
    }
};

void installWatcher() {
    if (std::getenv("REGWISE_BENCH_REPORT_FD") == nullptr)
        return;
    QCoreApplication::instance()->installEventFilter(
        new ExposeWatcher(QCoreApplication::instance()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installWatcher)
