// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script.h"

#include <istream>

#include "cli/hexnumber.h"

namespace cli {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The words of a line without its comment; "=" is a word of its own even when nothing
// separates it from its neighbours ("R 3FD=60").
std::vector<std::string_view> words(std::string_view line) {
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> result;
    std::size_t at = 0;
    while (at < line.size()) {
        if (isBlank(line[at])) {
            ++at;
            continue;
        }
        std::size_t end = at + 1;
        if (line[at] != '=') {
            while (end < line.size() && !isBlank(line[end]) && line[end] != '=')
                ++end;
        }
        result.push_back(line.substr(at, end - at));
        at = end;
    }
    return result;
}

std::string upper(std::string_view word) {
    std::string result(word);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return result;
}

std::string joined(const std::vector<std::string_view>& list, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < list.size(); ++i)
        text += (text.empty() ? "" : " ") + std::string(list[i]);
    return text;
}

ParsedLine failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

ParsedLine extraText(const std::vector<std::string_view>& list, std::size_t from,
                     const char* after) {
    return failure(std::string(after) + "の後に余分な文字「" + joined(list, from) + "」があります");
}

// "KIND PORT VALUE" with nothing after: W and MASK.
ParsedLine portAndByte(Statement::Kind kind, const std::vector<std::string_view>& list,
                       const char* usage, const char* valueName) {
    if (list.size() < 3)
        return failure(std::string(usage) + " と書いてください");
    const Operand port = parsePort(list[1]);
    if (!port.ok())
        return failure(port.error);
    const Operand value = parseByte(list[2]);
    if (!value.ok())
        return failure(value.error);
    if (list.size() > 3)
        return extraText(list, 3, valueName);
    return {Statement{kind, port.value, value.value, false}, {}};
}

ParsedLine read(const std::vector<std::string_view>& list) {
    if (list.size() < 2)
        return failure("R ポート、または R ポート = 期待値 と書いてください");
    const Operand port = parsePort(list[1]);
    if (!port.ok())
        return failure(port.error);
    if (list.size() == 2)
        return {Statement{Statement::Kind::Read, port.value, 0, false}, {}};
    if (list[2] != "=") {
        return failure("ポートの後に余分な文字「" + joined(list, 2) +
                       "」があります（期待値は R ポート = 値 と書きます）");
    }
    if (list.size() == 3)
        return failure("「=」の後に期待値がありません");
    const Operand expected = parseByte(list[3]);
    if (!expected.ok())
        return failure(expected.error);
    if (list.size() > 4)
        return extraText(list, 4, "期待値");
    return {Statement{Statement::Kind::Read, port.value, expected.value, true}, {}};
}

}  // namespace

ParsedLine parseLine(std::string_view line) {
    const std::vector<std::string_view> list = words(line);
    if (list.empty())
        return {};
    const std::string keyword = upper(list[0]);
    if (keyword == "W")
        return portAndByte(Statement::Kind::Write, list, "W ポート 値", "値");
    if (keyword == "R")
        return read(list);
    if (keyword == "MASK")
        return portAndByte(Statement::Kind::Mask, list, "MASK ポート ビット", "ビット");
    return failure("不明な命令「" + std::string(list[0]) + "」です（W、R、MASK のいずれかです）");
}

Script parseScript(std::istream& in, const std::string& name) {
    Script script;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        ParsedLine parsed = parseLine(line);
        if (parsed.statement)
            script.statements.push_back(*parsed.statement);
        else if (!parsed.error.empty())
            script.errors.push_back(name + ":" + std::to_string(number) + ": " + parsed.error);
    }
    return script;
}

}  // namespace cli
