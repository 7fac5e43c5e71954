// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/runner.h"

#include <algorithm>
#include <istream>
#include <map>

#include "cli/console.h"
#include "cli/hexnumber.h"
#include "cli/portaccess.h"
#include "cli/transcript.h"

namespace cli {

namespace {

// The statements of one session. Answers 0, or 1 after a failed expectation or at the
// first failed access.
int runInSession(PortLibrary& library, const std::vector<Statement>& statements,
                 const Console& console, bool explain) {
    std::map<int32_t, int32_t> masks;  // by port; a port without one compares all eight bits
    int unmet = 0;
    for (const Statement& statement : statements) {
        switch (statement.kind) {
            case Statement::Kind::Mask:
                masks[statement.port] = statement.value;
                break;
            case Statement::Kind::Write:
                if (!writePort(library, statement.port, statement.value, console))
                    return kExitFailed;
                if (explain)
                    console.out << writeLine(statement.port, statement.value, true) << '\n';
                break;
            case Statement::Kind::Read: {
                const std::optional<int32_t> value = readPort(library, statement.port, console);
                if (!value)
                    return kExitFailed;
                console.out << readLine(statement.port, *value, explain);
                const auto found = masks.find(statement.port);
                const int32_t mask = found == masks.end() ? 0xFF : found->second;
                if (statement.expects && ((*value ^ statement.value) & mask) != 0) {
                    ++unmet;
                    console.out << "  # expected " << hexByte(statement.value) << " (mask "
                                << hexByte(mask) << ")";
                }
                console.out << '\n';
                break;
            }
        }
    }
    if (unmet > 0) {
        console.message("期待した値と異なる読み出しが" + std::to_string(unmet) + "件ありました。");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int runStatements(PortLibrary& library, const std::vector<Statement>& statements,
                  const Console& console, bool explain) {
    int status = withSession(library, console,
                             [&] { return runInSession(library, statements, console, explain); });
    // A transcript that could not be written is a failure too (a full disk, a closed pipe).
    if (!console.out.flush()) {
        console.message("標準出力に書き込めませんでした。");
        status = std::max(status, kExitFailed);
    }
    return status;
}

int runScript(std::istream& in, const std::string& name, PortLibrary& library,
              const Console& console, bool explain) {
    const Script script = parseScript(in, name);
    if (in.bad()) {
        console.message("スクリプト「" + name + "」を最後まで読めませんでした。");
        return kExitUsage;
    }
    if (!script.errors.empty()) {
        for (const std::string& error : script.errors)
            console.err << error << '\n';
        console.message("スクリプトに誤りがあるため、何も実行しませんでした。");
        return kExitUsage;
    }
    return runStatements(library, script.statements, console, explain);
}

}  // namespace cli
