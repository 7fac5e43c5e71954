// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/commandline.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "cli/base/numbers.h"
#include "cli/base/writtentext.h"
#include "cli/probeoptions.h"

namespace cli {

namespace {

// What an option takes after its name.
enum class Takes {
    Nothing,  // a flag: "--json=1" is none of the command's options
    Value,    // the text after "=", else the next argument, whatever it is
    Comma,    // the text after "=", else the next argument only when it has a comma (a plug's
              // wiring), else nothing
};

// An option's value: none for a flag, and for --plug without a wiring.
using Value = std::optional<std::string>;

// Where an option's value goes: empty when it was taken, else why it cannot be used.
using Taker = std::string (*)(Command& command, const Value& value, const Reach& reach);

struct Option {
    std::string_view name;
    Takes takes;
    std::string_view missing;  // Value: what a value left out should have been ("数")
    Taker take;
};

template <bool Command::*flag>
std::string set(Command& command, const Value&, const Reach&) {
    command.*flag = true;
    return {};
}

template <bool WatchOptions::*flag>
std::string setWatch(Command& command, const Value&, const Reach&) {
    command.watch.*flag = true;
    return {};
}

template <bool ProbeOptions::*flag>
std::string setProbe(Command& command, const Value&, const Reach&) {
    command.probe.*flag = true;
    return {};
}

constexpr int kLongestIntervalMs = 3600000;  // an hour
constexpr int kLargestCount = 1000000000;

// --interval MS and --count N: decimal, from 1.
std::string watchNumber(std::string_view name, const std::string& text, int largest,
                        const char* what, int& into) {
    const std::optional<int> value = parseDecimal(text, 1, largest);
    if (!value) {
        return "「" + std::string(name) + "」には 1〜" + std::to_string(largest) + " の" + what +
               "を 10 進数で指定してください（" + shown(text) + "は使えません）" +
               fullWidthHint(text);
    }
    into = *value;
    return {};
}

std::string takeInterval(Command& command, const Value& text, const Reach&) {
    int ms = 0;
    std::string error = watchNumber("--interval", *text, kLongestIntervalMs, "ミリ秒", ms);
    if (error.empty())
        command.watch.interval = std::chrono::milliseconds(ms);
    return error;
}

std::string takeCount(Command& command, const Value& text, const Reach&) {
    return watchNumber("--count", *text, kLargestCount, "回数", command.watch.count);
}

std::string takePlugOption(Command& command, const Value& text, const Reach&) {
    return takePlug(text, command.probe);
}

std::string takePeerOption(Command& command, const Value& text, const Reach& reach) {
    return takePeer(*text, command.probe, reach);
}

constexpr Option kExplain{"--explain", Takes::Nothing, {}, set<&Command::explain>};
constexpr Option kJson{"--json", Takes::Nothing, {}, set<&Command::json>};
// watch's, into its WatchOptions.
constexpr Option kWatchExplain{"--explain", Takes::Nothing, {}, setWatch<&WatchOptions::explain>};
constexpr Option kWatchJson{"--json", Takes::Nothing, {}, setWatch<&WatchOptions::json>};
constexpr Option kInterval{"--interval", Takes::Value, "数", takeInterval};
constexpr Option kCount{"--count", Takes::Value, "数", takeCount};
// identify's and selftest's, into their ProbeOptions.
constexpr Option kProbeExplain{"--explain", Takes::Nothing, {}, setProbe<&ProbeOptions::explain>};
constexpr Option kProbeJson{"--json", Takes::Nothing, {}, setProbe<&ProbeOptions::json>};
constexpr Option kTap{"--tap", Takes::Nothing, {}, setProbe<&ProbeOptions::tap>};
constexpr Option kTrace{"--trace", Takes::Nothing, {}, setProbe<&ProbeOptions::trace>};
constexpr Option kForce{"--force", Takes::Nothing, {}, setProbe<&ProbeOptions::force>};
constexpr Option kPlug{"--plug", Takes::Comma, {}, takePlugOption};
constexpr Option kPeer{"--peer", Takes::Value, "ポート", takePeerOption};

// Checks the command's operands and stores them: empty when they can be used, else why not.
using OperandTaker = std::string (*)(const std::vector<std::string>& operands, Command& command,
                                     const Reach& reach);

// Each of texts as a port in reach, into command.ports; the first that is not one stops it.
std::string takePorts(std::span<const std::string> texts, Command& command, const Reach& reach) {
    for (const std::string& text : texts) {
        const Operand port = parsePort(text, reach);
        if (!port.ok())
            return port.error;
        command.ports.push_back(port.value);
    }
    return {};
}

std::string readOperands(const std::vector<std::string>& operands, Command& command,
                         const Reach& reach) {
    if (operands.empty())
        return "read には読むポートを 1 つ以上指定してください（read ポート...）";
    return takePorts(operands, command, reach);
}

std::string writeOperands(const std::vector<std::string>& operands, Command& command,
                          const Reach& reach) {
    if (operands.size() != 2)
        return "write にはポートと値を 1 つずつ指定してください（write ポート 値）";
    if (std::string error = takePorts({operands.data(), 1}, command, reach); !error.empty())
        return error;
    const Operand value = parseByte(operands[1]);
    if (!value.ok())
        return value.error;
    command.value = value.value;
    return {};
}

std::string runOperands(const std::vector<std::string>& operands, Command& command, const Reach&) {
    if (operands.size() != 1)
        return "run にはスクリプトのファイルを 1 つ指定してください（標準入力は -）";
    command.file = operands[0];
    return {};
}

std::string watchOperands(const std::vector<std::string>& operands, Command& command,
                          const Reach& reach) {
    if (operands.size() != 1)
        return "watch には見張るポートを 1 つ指定してください（watch ポート）";
    const Operand port = parsePort(operands[0], reach);
    if (!port.ok())
        return port.error;
    command.watch.port = port.value;
    return {};
}

std::string listOperands(const std::vector<std::string>& operands, Command&, const Reach&) {
    if (!operands.empty())
        return "list には引数を指定しません（list [--json]）";
    return {};
}

std::string identifyOperands(const std::vector<std::string>& operands, Command& command,
                             const Reach& reach) {
    return takeProbeOperands(false, operands, command.probe, reach);
}

std::string selftestOperands(const std::vector<std::string>& operands, Command& command,
                             const Reach& reach) {
    return takeProbeOperands(true, operands, command.probe, reach);
}

// A command: its name, how --help shows it after the program's name, its options, and its
// operands. Adding a command is adding its row (and its Kind).
struct CommandEntry {
    std::string_view name;
    Command::Kind kind;
    std::string_view synopsis;
    std::vector<const Option*> options;
    OperandTaker operands;
};

const std::array<CommandEntry, 7> kCommands{{
    {"read", Command::Kind::Read, "read [--explain] ポート...", {&kExplain}, readOperands},
    {"write", Command::Kind::Write, "write [--explain] ポート 値", {&kExplain}, writeOperands},
    {"run", Command::Kind::Run, "run [--explain] ファイル", {&kExplain}, runOperands},
    {"watch",
     Command::Kind::Watch,
     "watch [--explain] [--json] [--interval ミリ秒] [--count 回数] ポート",
     {&kWatchExplain, &kWatchJson, &kInterval, &kCount},
     watchOperands},
    {"list", Command::Kind::List, "list [--json]", {&kJson}, listOperands},
    {"identify",
     Command::Kind::Identify,
     "identify [--explain] [--json] [--trace] [--force] [ベース...]",
     {&kProbeExplain, &kProbeJson, &kTrace, &kForce},
     identifyOperands},
    {"selftest",
     Command::Kind::Selftest,
     "selftest [--plug [結線] | --peer ベース2] [--tap] [--trace] [--force] ベース",
     {&kPlug, &kPeer, &kTap, &kTrace, &kForce},
     selftestOperands},
}};

bool asksFor(const std::vector<std::string>& args, std::initializer_list<std::string_view> names) {
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        for (const std::string_view name : names) {
            if (arg == name)
                return true;
        }
    }
    return false;
}

// "（read、write、run、watch、list、identify、selftest のいずれかです）": every command, from
// kCommands.
std::string commandChoice() {
    std::string names;
    for (const CommandEntry& entry : kCommands)
        names += (names.empty() ? "" : "、") + std::string(entry.name);
    return "（" + names + " のいずれかです）";
}

// The edit distance between two words, an adjacent swap counting as one edit ("raed").
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// "（read のことですか？）" for the commands nearest to word, at most two edits away and
// in any case; nothing when none is that near.
std::string nearestCommands(std::string_view word) {
    constexpr std::size_t kFarthest = 2;
    if (word.size() > 32)
        return {};  // no command is that long; the distance table stays small
    std::string lower(word);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    std::size_t best = kFarthest + 1;
    std::string names;
    for (const CommandEntry& entry : kCommands) {
        const std::size_t distance = editDistance(lower, entry.name);
        if (distance > kFarthest)
            continue;
        if (distance < best) {
            best = distance;
            names = entry.name;
        } else if (distance == best) {
            names += "、" + std::string(entry.name);
        }
    }
    return names.empty() ? std::string() : "（" + names + " のことですか？）";
}

ParsedCommandLine failure(std::string error) {
    return {{}, std::move(error)};
}

ParsedCommandLine only(Command::Kind kind) {
    ParsedCommandLine parsed;
    parsed.command.kind = kind;
    return parsed;
}

// The command's option of that name, or none.
const Option* optionNamed(const CommandEntry& entry, std::string_view name) {
    for (const Option* option : entry.options) {
        if (option->name == name)
            return option;
    }
    return nullptr;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args, const Reach& reach) {
    // Asking for help or the version wins wherever it stands.
    if (asksFor(args, {"--help", "-h"}) || (!args.empty() && args[0] == "help"))
        return only(Command::Kind::Help);
    if (asksFor(args, {"--version", "-V"}))
        return only(Command::Kind::Version);
    if (args.empty())
        return failure("コマンドがありません" + commandChoice());

    const auto entry = std::find_if(kCommands.begin(), kCommands.end(),
                                    [&](const CommandEntry& e) { return args[0] == e.name; });
    if (entry == kCommands.end()) {
        return failure("不明なコマンド" + shown(args[0]) + "です" + commandChoice() +
                       fullWidthHint(args[0]) + nearestCommands(args[0]));
    }
    Command command;
    command.kind = entry->kind;

    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);  // "-" alone is standard input for run
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        std::optional<std::string> value;
        if (equals != std::string::npos)
            value = arg.substr(equals + 1);

        const Option* option = optionNamed(*entry, name);
        if (option == nullptr || (option->takes == Takes::Nothing && value)) {
            return failure(std::string(entry->name) + " にオプション" + shown(arg) +
                           "はありません");
        }
        if (!value && i + 1 < args.size() &&
            (option->takes == Takes::Value ||
             (option->takes == Takes::Comma && args[i + 1].find(',') != std::string::npos)))
            value = args[++i];
        if (!value && option->takes == Takes::Value)
            return failure("「" + name + "」の後に" + std::string(option->missing) +
                           "がありません");
        if (std::string error = option->take(command, value, reach); !error.empty())
            return failure(std::move(error));
    }
    if (std::string error = entry->operands(operands, command, reach); !error.empty())
        return failure(std::move(error));
    return {command, {}};
}

std::vector<std::string_view> commandSynopses() {
    std::vector<std::string_view> synopses;
    for (const CommandEntry& entry : kCommands)
        synopses.push_back(entry.synopsis);
    return synopses;
}

}  // namespace cli
