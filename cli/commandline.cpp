// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/commandline.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/base/numbers.h"
#include "cli/base/writtentext.h"

namespace cli {

namespace {

struct CommandName {
    std::string_view name;
    Command::Kind kind;
};
constexpr CommandName kCommands[] = {
    {"read", Command::Kind::Read},         {"write", Command::Kind::Write},
    {"run", Command::Kind::Run},           {"watch", Command::Kind::Watch},
    {"list", Command::Kind::List},         {"identify", Command::Kind::Identify},
    {"selftest", Command::Kind::Selftest}, {"capture", Command::Kind::Capture}};

constexpr int kLongestIntervalMs = 3600000;  // an hour
constexpr int kLargestCount = 1000000000;

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

// "（read、write、run、watch、list、identify、selftest、capture のいずれかです）": every command,
// from kCommands.
std::string commandChoice() {
    std::string names;
    for (const CommandName& entry : kCommands)
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
    for (const CommandName& entry : kCommands) {
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

// The watch options that take a number: --interval MS, --count N, or with "=".
std::string watchNumber(std::string_view name, const std::optional<std::string>& text,
                        Command& command) {
    const bool interval = name == "--interval";
    const int largest = interval ? kLongestIntervalMs : kLargestCount;
    if (!text)
        return "「" + std::string(name) + "」の後に数がありません";
    const std::optional<int> value = parseDecimal(*text, 1, largest);
    if (!value) {
        return "「" + std::string(name) + "」には 1〜" + std::to_string(largest) + " の" +
               (interval ? "ミリ秒" : "回数") + "を 10 進数で指定してください（" + shown(*text) +
               "は使えません）" + fullWidthHint(*text);
    }
    (interval ? command.intervalMs : command.count) = *value;
    return {};
}

// Checks the operands of the command and stores them.
std::string takeOperands(const std::vector<std::string>& operands, const Reach& reach,
                         Command& command) {
    switch (command.kind) {
        case Command::Kind::Read:
            if (operands.empty())
                return "read には読むポートを 1 つ以上指定してください（read ポート...）";
            for (const std::string& text : operands) {
                const Operand port = parsePort(text, reach);
                if (!port.ok())
                    return port.error;
                command.ports.push_back(port.value);
            }
            return {};
        case Command::Kind::Write: {
            if (operands.size() != 2)
                return "write にはポートと値を 1 つずつ指定してください（write ポート 値）";
            const Operand port = parsePort(operands[0], reach);
            if (!port.ok())
                return port.error;
            const Operand value = parseByte(operands[1]);
            if (!value.ok())
                return value.error;
            command.ports = {port.value};
            command.value = value.value;
            return {};
        }
        case Command::Kind::Run:
            if (operands.size() != 1)
                return "run にはスクリプトのファイルを 1 つ指定してください（標準入力は -）";
            command.file = operands[0];
            return {};
        case Command::Kind::Watch: {
            if (operands.size() != 1)
                return "watch には見張るポートを 1 つ指定してください（watch ポート）";
            const Operand port = parsePort(operands[0], reach);
            if (!port.ok())
                return port.error;
            command.ports = {port.value};
            return {};
        }
        case Command::Kind::List:
            if (!operands.empty())
                return "list には引数を指定しません（list [--json]）";
            return {};
        case Command::Kind::Identify:
        case Command::Kind::Selftest:
            return takeProbeOperands(command.kind == Command::Kind::Selftest, operands,
                                     command.ports, command.probe, reach);
        case Command::Kind::Capture:
            return takeCaptureOperands(operands, reach, command.capture);
        default:
            return {};
    }
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

    Command command;
    const CommandName* found = nullptr;
    for (const CommandName& entry : kCommands) {
        if (args[0] == entry.name)
            found = &entry;
    }
    if (found == nullptr) {
        return failure("不明なコマンド" + shown(args[0]) + "です" + commandChoice() +
                       fullWidthHint(args[0]) + nearestCommands(args[0]));
    }
    command.kind = found->kind;

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
        std::optional<std::string> inlineValue;
        if (equals != std::string::npos)
            inlineValue = arg.substr(equals + 1);

        const bool probing =
            command.kind == Command::Kind::Identify || command.kind == Command::Kind::Selftest;
        std::optional<std::string> probeError;
        if (probing) {
            probeError = takeProbeOption(command.kind == Command::Kind::Selftest, name, inlineValue,
                                         args, i, command.probe, reach);
        } else if (command.kind == Command::Kind::Capture) {
            probeError = takeCaptureOption(name, inlineValue, args, i, command.capture);
        }
        if (probeError) {
            if (!probeError->empty())
                return failure(std::move(*probeError));
        } else if (name == "--explain" && !inlineValue && command.kind != Command::Kind::Selftest &&
                   command.kind != Command::Kind::List && command.kind != Command::Kind::Capture) {
            command.explain = true;
        } else if (name == "--json" && !inlineValue &&
                   (command.kind == Command::Kind::List || command.kind == Command::Kind::Watch)) {
            command.json = true;
        } else if (command.kind == Command::Kind::Watch &&
                   (name == "--interval" || name == "--count")) {
            std::optional<std::string> text = inlineValue;
            if (!text && i + 1 < args.size())
                text = args[++i];
            if (std::string error = watchNumber(name, text, command); !error.empty())
                return failure(std::move(error));
        } else {
            return failure(std::string(found->name) + " にオプション" + shown(arg) +
                           "はありません");
        }
    }
    if (std::string error = takeOperands(operands, reach, command); !error.empty())
        return failure(std::move(error));
    return {command, {}};
}

}  // namespace cli
