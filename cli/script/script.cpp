// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/script.h"

#include "cli/base/numbers.h"
#include "cli/base/writtentext.h"

namespace cli {

namespace {

// The length of the separator at line[at], or 0: ASCII blanks, and the no-break space
// (U+00A0) and the ideographic space (U+3000) that Japanese input methods type.
std::size_t separatorAt(std::string_view line, std::size_t at) {
    const char c = line[at];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f')
        return 1;
    const std::string_view rest = line.substr(at);
    if (rest.starts_with("\xC2\xA0"))
        return 2;
    if (rest.starts_with("\xE3\x80\x80"))
        return 3;
    return 0;
}

// The words of a line without its comment; "=" is a word of its own even when nothing
// separates it from its neighbours ("R 3FD=60").
std::vector<std::string_view> words(std::string_view line) {
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> result;
    std::size_t at = 0;
    while (at < line.size()) {
        if (const std::size_t blank = separatorAt(line, at)) {
            at += blank;
            continue;
        }
        std::size_t end = at + 1;
        if (line[at] != '=') {
            while (end < line.size() && separatorAt(line, end) == 0 && line[end] != '=')
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

// The words from the given one to the end, as the line had them.
std::string_view rest(const std::vector<std::string_view>& list, std::size_t from) {
    const char* begin = list[from].data();
    const char* end = list.back().data() + list.back().size();
    return {begin, static_cast<std::size_t>(end - begin)};
}

ParsedLine failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

// Other languages' comments, which a person may type out of habit.
bool looksLikeComment(std::string_view text) {
    return text.starts_with(";") || text.starts_with("//");
}

constexpr const char* kCommentHint = "（注釈は # で始めます）";

ParsedLine extraText(const std::vector<std::string_view>& list, std::size_t from,
                     const char* after) {
    const std::string_view extra = rest(list, from);
    return failure(std::string(after) + "の後に余分な文字" + shown(extra) + "があります" +
                   (looksLikeComment(extra) ? kCommentHint : ""));
}

// A port or value word that fails and holds the start of such a comment ("13;").
std::string withCommentHint(std::string error, std::string_view word) {
    if (word.find(';') != std::string_view::npos || word.find("//") != std::string_view::npos)
        error += kCommentHint;
    return error;
}

// A wait in milliseconds after WITHIN or SLEEP.
std::optional<int> waitMs(std::string_view text) {
    return parseDecimal(text, 1, kLongestWaitMs);
}

std::string badWait(const char* keyword, std::string_view text) {
    return std::string(keyword) + "には 1〜" + std::to_string(kLongestWaitMs) +
           " のミリ秒を 10 進数で指定してください（" + shown(text) + "は使えません）" +
           fullWidthHint(text);
}

// "KIND PORT VALUE" with nothing after: W and MASK.
ParsedLine portAndByte(Statement::Kind kind, const std::vector<std::string_view>& list,
                       const Reach& reach, const char* usage, const char* valueName) {
    if (list.size() < 3)
        return failure(std::string(usage) + " と書いてください");
    const Operand port = parsePort(list[1], reach);
    if (!port.ok())
        return failure(withCommentHint(port.error, list[1]));
    const Operand value = parseByte(list[2]);
    if (!value.ok())
        return failure(withCommentHint(value.error, list[2]));
    if (list.size() > 3)
        return extraText(list, 3, valueName);
    return {Statement{kind, port.value, value.value, false, 0}, {}};
}

ParsedLine read(const std::vector<std::string_view>& list, const Reach& reach) {
    if (list.size() < 2)
        return failure("R ポート、または R ポート = 期待値 と書いてください");
    const Operand port = parsePort(list[1], reach);
    if (!port.ok())
        return failure(withCommentHint(port.error, list[1]));
    if (list.size() == 2)
        return {Statement{Statement::Kind::Read, port.value, 0, false, 0}, {}};
    if (list[2] != "=") {
        if (looksLikeComment(list[2]))
            return extraText(list, 2, "ポート");
        return failure("ポートの後に余分な文字" + shown(rest(list, 2)) +
                       "があります（期待値は R ポート = 値 と書きます）");
    }
    if (list.size() == 3)
        return failure("「=」の後に期待値がありません");
    const Operand expected = parseByte(list[3]);
    if (!expected.ok())
        return failure(withCommentHint(expected.error, list[3]));
    Statement statement{Statement::Kind::Read, port.value, expected.value, true, 0};
    if (list.size() == 4)
        return {statement, {}};
    if (upper(list[4]) != "WITHIN")
        return extraText(list, 4, "期待値");
    if (list.size() == 5)
        return failure("WITHIN の後にミリ秒がありません");
    const std::optional<int> ms = waitMs(list[5]);
    if (!ms)
        return failure(badWait("WITHIN", list[5]));
    if (list.size() > 6)
        return extraText(list, 6, "ミリ秒");
    statement.ms = *ms;
    return {statement, {}};
}

ParsedLine sleep(const std::vector<std::string_view>& list) {
    if (list.size() < 2)
        return failure("SLEEP ミリ秒 と書いてください");
    const std::optional<int> ms = waitMs(list[1]);
    if (!ms)
        return failure(badWait("SLEEP", list[1]));
    if (list.size() > 2)
        return extraText(list, 2, "ミリ秒");
    return {Statement{Statement::Kind::Sleep, 0, 0, false, *ms}, {}};
}

}  // namespace

ParsedLine parseLine(std::string_view line, const Reach& reach) {
    const std::vector<std::string_view> list = words(line);
    if (list.empty())
        return {};
    const std::string keyword = upper(list[0]);
    if (keyword == "W")
        return portAndByte(Statement::Kind::Write, list, reach, "W ポート 値", "値");
    if (keyword == "R")
        return read(list, reach);
    if (keyword == "MASK")
        return portAndByte(Statement::Kind::Mask, list, reach, "MASK ポート ビット", "ビット");
    if (keyword == "SLEEP")
        return sleep(list);
    return failure("不明な命令" + shown(list[0]) + "です（W、R、MASK、SLEEP のいずれかです）" +
                   fullWidthHint(list[0]));
}

}  // namespace cli
