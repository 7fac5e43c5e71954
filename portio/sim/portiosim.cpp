// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// libregwise-portio-sim.so: the port I/O library on four simulated UARTs.
//
// Like the real library it refuses port access outside a session, so a program that
// forgets IOSCM_Start fails here as it would on hardware. IOSCM_Start does not reset the
// UARTs (but for one whose chip REGWISE_SIM_UARTS changes, below): a real chip keeps its
// registers across sessions, and so does this bus for the life of the process.
//
// The UARTs keep time by the machine's monotonic clock. REGWISE_SIM_TIMING, read at each
// IOSCM_Start, picks the timing: "line" (the default) gives each character its time on the
// line as a real chip does, "instant" completes every transfer at once. Any other value
// makes the start fail.
//
// REGWISE_SIM_UARTS, read at each IOSCM_Start too, names the chips at COM1 ... COM4: exactly
// four names from the simulated chips of uart::kChips, none (no UART: the window reads FF)
// and floating (no UART, and the window reads the last byte written to any of its ports),
// as written there (case and all), separated by single commas with nothing else between
// them, e.g. "16550A,16450,none,16750". A chip's name may be followed by @ and the frequency
// at its baud clock input, 1 to 100 MHz in whole hertz, in Hz without a unit or with Hz, kHz
// or MHz written after it: "16550A@14.7456MHz", "16750@7372800"; without one it runs from
// the PC's 1.8432 MHz. Unset, all four are 16550As. Any other value makes the start fail. A
// start that puts another chip or clock at a COM port replaces that UART with a fresh one,
// as a power cycle would; the others keep their state.
//
// REGWISE_SIM_FAULTS, read at each IOSCM_Start as well, gives UARTs faults: a list of
// PORT:FAULT separated by single commas, PORT a COM base in hexadecimal ("0x" optional, any
// case), FAULT a name of Uart16550::kFaultNames, e.g. "3F8:temt-stuck,3F8:no-interrupt".
// Unset or empty, no UART has a fault. A fault for a COM port without a UART, or any other
// value, makes the start fail. A UART whose faults change is a new one, as for a new chip.
//
// IOSCM_Sequence runs in this process under the bus's lock, no other access between its
// steps, each access worked out at the clock's time as InpB and OutB are: a POLL of LSR sees
// a character arrive when its stop bit ends. It reaches every port InpB and OutB reach.

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "portio/ioscm.h"
#include "portio/lasterror.h"
#include "portio/sequencerunner.h"
#include "portio/sim/simclock.h"
#include "portio/sim/uartbus.h"
#include "portio/wideaccess.h"
#include "text/quoted.h"
#include "uart/chips.h"

namespace {

struct Machine {
    std::mutex mutex;
    SteadySimClock clock;
    UartBus bus{clock};
};

Machine& machine() {
    static Machine instance;
    return instance;
}

std::atomic<bool> g_sessionOpen{false};

void clearError() {
    lasterror::clear();
}

void fail(std::string_view reason) {
    lasterror::set(reason);
}

constexpr const char* kTimingVariable = "REGWISE_SIM_TIMING";

// The timing a value of REGWISE_SIM_TIMING names (null: unset); none for a value it does
// not know, the empty one included.
std::optional<Uart16550::Timing> timingNamed(const char* value) {
    if (value == nullptr || std::string_view(value) == "line")
        return Uart16550::Timing::Line;
    if (std::string_view(value) == "instant")
        return Uart16550::Timing::Instant;
    return std::nullopt;
}

std::string badTimingMessage(const char* value) {
    return std::string("環境変数 ") + kTimingVariable + " の値" + text::bracketed(value) +
           "は使えません。line（回線の時間どおり、既定）または instant（転送が瞬時）を指定"
           "してください。";
}

constexpr const char* kUartsVariable = "REGWISE_SIM_UARTS";
// No UART, and a bus that keeps the last byte written (UartBus::Slot::floating).
constexpr const char* kFloatingName = "floating";

// The frequency "14.7456MHz", "7372.8kHz", "1843200Hz" or "1843200" stands for, in whole
// hertz within the simulated chips' bounds; none for anything else.
std::optional<uint32_t> clockNamed(std::string_view text) {
    uint64_t scale = 1;
    for (const auto& [unit, factor] :
         {std::pair<std::string_view, uint64_t>{"MHz", 1'000'000}, {"kHz", 1'000}, {"Hz", 1}}) {
        if (text.size() > unit.size() && text.ends_with(unit)) {
            text.remove_suffix(unit.size());
            scale = factor;
            break;
        }
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digits = [](std::string_view part, std::size_t most) {
        return part.size() <= most &&
               std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    // Nine digits before the point and six after it are more than any bound needs.
    if (whole.empty() || !digits(whole, 9) || !digits(fraction, 6) ||
        (point != std::string_view::npos && fraction.empty()))
        return std::nullopt;
    uint64_t hz = 0;
    for (const char c : whole)
        hz = hz * 10 + static_cast<uint64_t>(c - '0');
    hz *= scale;
    uint64_t part = 0;
    uint64_t unit = 1;
    for (const char c : fraction) {
        part = part * 10 + static_cast<uint64_t>(c - '0');
        unit *= 10;
    }
    if (part * scale % unit != 0)
        return std::nullopt;  // not a whole number of hertz
    hz += part * scale / unit;
    if (hz < ComSlot::kLowestClockHz || hz > ComSlot::kHighestClockHz)
        return std::nullopt;
    return static_cast<uint32_t>(hz);
}

// The chips a value of REGWISE_SIM_UARTS names (null: unset); none for a value that is not
// four names (each maybe with @ and a clock) and three commas. It reads the value once, from
// the start to a fifth name at most.
std::optional<UartBus::Slots> chipsNamed(const char* value) {
    if (value == nullptr)
        return UartBus::kDefaultSlots;
    UartBus::Slots slots{};
    std::string_view rest(value);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const std::size_t comma = rest.find(',');
        const bool last = i + 1 == slots.size();
        if (last != (comma == std::string_view::npos))
            return std::nullopt;
        const std::string_view item = rest.substr(0, comma);
        const std::size_t at = item.find('@');
        const std::string_view name = item.substr(0, at);
        std::optional<uint32_t> clockHz;
        if (at != std::string_view::npos && !(clockHz = clockNamed(item.substr(at + 1))))
            return std::nullopt;
        if (name == kFloatingName) {
            if (clockHz)
                return std::nullopt;  // no chip, no clock
            slots[i] = UartBus::Slot::floatingBus();
        } else {
            const std::optional<uart::Chip> chip = uart::chipNamed(name);
            if (!chip || (*chip != uart::Chip::None && !uart::chipFacts(*chip).simulated))
                return std::nullopt;
            if (clockHz && *chip == uart::Chip::None)
                return std::nullopt;
            slots[i] = *chip;
            if (clockHz)
                slots[i].clockHz = *clockHz;
        }
        rest.remove_prefix(last ? rest.size() : comma + 1);
    }
    return slots;
}

// "8250、16450、16550、16550A（既定）、16750、none（UART なし）、floating（…）"
std::string chipNameList() {
    std::string list;
    for (const uart::ChipFacts& facts : uart::kChips) {
        if (!facts.simulated)
            continue;
        list += facts.name;
        if (facts.chip == uart::Chip::U16550A)
            list += "（既定）";
        list += "、";
    }
    return list + std::string(uart::chipFacts(uart::Chip::None).name) + "（UART なし）、" +
           kFloatingName + "（UART なし、最後に書いた値が読める）";
}

std::string badUartsMessage(const char* value) {
    return std::string("環境変数 ") + kUartsVariable + " の値" + text::bracketed(value) +
           "は使えません。COM1～COM4 のチップを " + chipNameList() +
           "から 4 つ選び、空白を入れずにコンマで区切って指定してください（例：16550A,16450,"
           "none,16750）。チップ名の後に @ を付けると、ボーレートのクロックを 1～100 MHz の範囲"
           "で、Hz 単位の整数になるように指定できます（例：16550A@14.7456MHz、16750@7372800）。";
}

constexpr const char* kFaultsVariable = "REGWISE_SIM_FAULTS";

using FaultSets = std::array<Uart16550::Faults, 4>;

// The COM port (0 ... 3) a hexadecimal base names: "3F8", "0x3f8", "03F8".
std::optional<std::size_t> comPortNamed(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned port = 0;
    const char* end = text.data() + text.size();
    if (const auto [stop, error] = std::from_chars(text.data(), end, port, 16);
        error != std::errc() || stop != end)
        return std::nullopt;
    for (std::size_t i = 0; i < uart::kComBases.size(); ++i) {
        if (uart::kComBases[i] == port)
            return i;
    }
    return std::nullopt;
}

// The faults a value of REGWISE_SIM_FAULTS gives each COM port (null or empty: none); none
// for a value that is not a list of PORT:FAULT.
std::optional<FaultSets> faultsNamed(const char* value) {
    FaultSets faults{};
    if (value == nullptr || *value == '\0')
        return faults;
    std::string_view rest(value);
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos)
            return std::nullopt;
        const std::optional<std::size_t> port = comPortNamed(item.substr(0, colon));
        if (!port)
            return std::nullopt;
        const std::string_view name = item.substr(colon + 1);
        const auto& names = Uart16550::kFaultNames;
        const auto named = std::find_if(names.begin(), names.end(),
                                        [name](const auto& entry) { return entry.name == name; });
        if (named == names.end())
            return std::nullopt;
        faults[*port] = static_cast<Uart16550::Faults>(faults[*port] | named->fault);
        if (comma == std::string_view::npos)
            return faults;
        rest.remove_prefix(comma + 1);
    }
}

// "temt-stuck、fifo-short、…"
std::string faultNameList() {
    std::string list;
    for (const Uart16550::FaultName& entry : Uart16550::kFaultNames) {
        if (!list.empty())
            list += "、";
        list += entry.name;
    }
    return list;
}

std::string badFaultsMessage(const char* value) {
    return std::string("環境変数 ") + kFaultsVariable + " の値" + text::bracketed(value) +
           "は使えません。ポート:障害 を空白を入れずにコンマで区切って指定してください。ポート"
           "は 3F8、2F8、3E8、2E8、障害は " +
           faultNameList() + " です（例：3F8:temt-stuck,3F8:no-interrupt）。";
}

std::string faultWithoutUartMessage(const char* value, std::size_t index) {
    char base[8];
    std::snprintf(base, sizeof base, "%X", static_cast<unsigned>(uart::kComBases.at(index)));
    return std::string("環境変数 ") + kFaultsVariable + " の値" + text::bracketed(value) +
           "は使えません。ポート " + base + " には UART がありません（" + kUartsVariable + "）。";
}

constexpr const char* kNoSession =
    "I/Oセッションが開始されていません (IOSCM_Start が呼ばれていないか、IOSCM_Stop の後です)";

uint16_t portOf(int16_t port) {
    return static_cast<uint16_t>(port);
}

// Reads count consecutive ports, low byte first. Each port is touched once.
std::optional<uint32_t> readBytes(int16_t port, int count) {
    clearError();
    if (!g_sessionOpen.load()) {
        fail(kNoSession);
        return std::nullopt;
    }
    Machine& m = machine();
    std::lock_guard lock(m.mutex);
    return wideaccess::read(count, [&m, port](int offset) -> std::optional<uint8_t> {
        return m.bus.read(static_cast<uint16_t>(portOf(port) + offset));
    });
}

bool writeBytes(int16_t port, int count, uint32_t data) {
    clearError();
    if (!g_sessionOpen.load()) {
        fail(kNoSession);
        return false;
    }
    Machine& m = machine();
    std::lock_guard lock(m.mutex);
    return wideaccess::write(count, data, [&m, port](int offset, uint8_t value) {
        m.bus.write(static_cast<uint16_t>(portOf(port) + offset), value);
        return true;
    });
}

// A sequence's accesses on the bus, on the UARTs' own clock. Its WAIT sleeps with the lock
// held: nothing else reaches the UARTs until the sequence ends, as on a bus the program holds.
struct BusSequence {
    Machine& m;
    std::optional<uint8_t> read(int16_t port) { return m.bus.read(portOf(port)); }
    bool write(int16_t port, uint8_t data) {
        m.bus.write(portOf(port), data);
        return true;
    }
    int64_t now() const { return m.clock.now().count(); }
    static void waitUntil(int64_t ns) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns)));
    }
    // A POLL sleeps a little between reads while its limit is far: the model changes only at
    // a character's bit times, and a process that spins on a busy machine is pushed aside
    // for longer than one that sleeps. Near the limit it reads without a pause, so that a
    // sleep's lateness never makes the last read late.
    void pause(int64_t latest) const {
        constexpr int64_t kFar = 500000;  // far above a sleep's lateness (50 us timer slack)
        if (latest - now() > kFar)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
};

}  // namespace

extern "C" {

int32_t IOSCM_Start(void) {
    clearError();
    // Read once: the value checked is the value shown.
    const char* timingValue = std::getenv(kTimingVariable);
    const std::optional<Uart16550::Timing> timing = timingNamed(timingValue);
    const char* uartsValue = std::getenv(kUartsVariable);
    std::optional<UartBus::Slots> chips = chipsNamed(uartsValue);
    const char* faultsValue = std::getenv(kFaultsVariable);
    const std::optional<FaultSets> faults = faultsNamed(faultsValue);
    std::string refusal;
    if (!timing)
        refusal = badTimingMessage(timingValue);
    else if (!chips)
        refusal = badUartsMessage(uartsValue);
    else if (!faults)
        refusal = badFaultsMessage(faultsValue);
    for (std::size_t i = 0; refusal.empty() && i < chips->size(); ++i) {
        UartBus::Slot& slot = (*chips)[i];
        if ((*faults)[i] && !slot.chip)
            refusal = faultWithoutUartMessage(faultsValue, i);
        slot.faults = (*faults)[i];
    }
    if (!refusal.empty()) {
        g_sessionOpen.store(false);  // a failed start leaves no session open
        fail(refusal);
        return 1;
    }
    Machine& m = machine();  // the bus exists before the first port access
    {
        std::lock_guard lock(m.mutex);
        m.bus.setChips(*chips);
        m.bus.setTiming(*timing);
    }
    g_sessionOpen.store(true);
    return 0;
}

int16_t IOSCM_Stop(void) {
    clearError();
    g_sessionOpen.store(false);
    return 0;
}

int16_t InpB(int16_t port) {
    return wideaccess::word(readBytes(port, 1));
}

int16_t OutB(int16_t port, int16_t data) {
    return wideaccess::written(writeBytes(port, 1, static_cast<uint16_t>(data)));
}

int16_t InpW(int16_t port) {
    return wideaccess::word(readBytes(port, 2));
}

int32_t InpD(int16_t port) {
    return wideaccess::dword(readBytes(port, 4));
}

int16_t OutW(int16_t port, int16_t data) {
    return wideaccess::written(writeBytes(port, 2, static_cast<uint16_t>(data)));
}

int16_t OutD(int16_t port, int32_t data) {
    return wideaccess::written(writeBytes(port, 4, static_cast<uint32_t>(data)));
}

int32_t IOSCM_Sequence(const IOSCM_Step* steps, int32_t count, IOSCM_StepResult* results) {
    clearError();
    if (!g_sessionOpen.load()) {
        fail(kNoSession);
        return 0;
    }
    // Refused whole, nothing touched; every port InpB and OutB reach, a sequence reaches.
    if (const std::optional<std::string> refused =
            sequencerunner::callRefusal(steps, count, results)) {
        fail(*refused);
        return 0;
    }
    const std::span<const IOSCM_Step> list(steps, static_cast<std::size_t>(count));
    Machine& m = machine();
    std::lock_guard lock(m.mutex);
    BusSequence io{m};
    return sequencerunner::run(list, std::span(results, list.size()), io);
}

const char* IOSCM_LastError(void) {
    return lasterror::text();
}

}  // extern "C"
