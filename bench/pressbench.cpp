// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// What one INPUT and one OUTPUT press cost on the simulated library: the handlers
// cmdInput_Click and cmdOutput_Click (confirmation off) with row boxes that do nothing,
// against the bare library calls InpB and OutB through dlsym pointers, measured in the
// same run as medians over many batches.
//   pressbench [batches] [presses-per-batch]

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "handlers/dialogs.h"
#include "handlers/registerread.h"
#include "handlers/registerwrite.h"
#include "handlers/rowfields.h"
#include "portio/ioscmexports.h"
#include "portio/modioscmdef.h"
#include "portio/programfolder.h"

namespace {

constexpr const char* kLibrary = "libregwise-portio-sim.so";
constexpr int16_t kBase = 0x2E8;  // COM4; any simulated UART does
constexpr int kLcrRow = 3;
constexpr int kLsrRow = 5;

class NoRowFields final : public RowFields {
public:
    QString output(ValueForm form) const override {
        return form == ValueForm::Dec ? QStringLiteral("3") : QStringLiteral("03");
    }
    void setOutput(ValueForm, const QString&) override {}
    void setInput(ValueForm, const QString&) override {}
    void repaintWindow() override {}
};

class CountingDialogs final : public Dialogs {
public:
    void message(const QString&, const QString&) override { ++shown; }
    bool confirm(const QString&, const QString&) override { return ++shown, true; }
    int shown = 0;
};

double medianMicroseconds(std::vector<double> perPress) {
    std::sort(perPress.begin(), perPress.end());
    return perPress[perPress.size() / 2];
}

// Microseconds per call of each function, each median over batches run in turn.
std::vector<double> measure(const std::vector<std::function<void()>>& bodies, int batches,
                            int perBatch) {
    std::vector<std::vector<double>> samples(bodies.size());
    for (int b = 0; b < batches; ++b) {
        for (size_t i = 0; i < bodies.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            for (int k = 0; k < perBatch; ++k)
                bodies[i]();
            const std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - start;
            samples[i].push_back(took.count() / perBatch);
        }
    }
    std::vector<double> medians;
    for (auto& s : samples)
        medians.push_back(medianMicroseconds(s));
    return medians;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int batches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 101;
    const int perBatch = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;

    ModIOSCMdef library(kLibrary);
    CountingDialogs dialogs;
    if (library.start().failed()) {
        std::fprintf(stderr, "the simulated library did not start\n");
        return 1;
    }

    // The same library file, opened again: dlopen hands back the already loaded copy.
    const std::string path = programFolder() + "/" + kLibrary;
    IoscmExports bare;
    if (!bare.open(path)) {
        std::fprintf(stderr, "%s\n", bare.library.error().c_str());
        return 1;
    }
    const IOSCM_InpBFn inpB = bare.inpB;
    const IOSCM_OutBFn outB = bare.outB;

    NoRowFields fields;
    const RowContext inputRow{
        -1, static_cast<int16_t>(kBase + kLsrRow), fields, library, dialogs, kFilledBitWeight};
    const RowContext outputRow{
        -1, static_cast<int16_t>(kBase + kLcrRow), fields, library, dialogs, kFilledBitWeight};
    volatile int16_t sink = 0;

    const std::vector<double> us =
        measure({
                    [&] { cmdInput_Click(inputRow); },
                    [&] { sink = inpB(static_cast<int16_t>(kBase + kLsrRow)); },
                    [&] { cmdOutput_Click(outputRow, 0); },
                    [&] { sink = outB(static_cast<int16_t>(kBase + kLcrRow), 3); },
                },
                batches, perBatch);
    // The writes must have reached the simulated UART.
    const PortCall lcr = library.inpB(static_cast<int16_t>(kBase + kLcrRow));
    if (lcr.failed() || lcr.value != 3) {
        std::fprintf(stderr, "OUTPUT did not reach the simulated LCR\n");
        return 1;
    }
    if (dialogs.shown != 0) {
        std::fprintf(stderr, "a handler showed %d message(s): the measurement is void\n",
                     dialogs.shown);
        return 1;
    }

    std::printf("one press on the simulated library, median of %d batches of %d\n", batches,
                perBatch);
    std::printf("  INPUT  press %7.3f us   bare InpB %7.3f us   x%.1f\n", us[0], us[1],
                us[0] / us[1]);
    std::printf("  OUTPUT press %7.3f us   bare OutB %7.3f us   x%.1f\n", us[2], us[3],
                us[2] / us[3]);
    std::printf("  target (a press within 20 us): %s\n",
                us[0] <= 20 && us[2] <= 20 ? "met" : "MISSED");
    return 0;
}
