// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probeoptions.h"

#include <algorithm>

#include "cli/base/numbers.h"
#include "cli/base/writtentext.h"
#include "cli/probe/identify.h"
#include "cli/probe/plugprofiles.h"
#include "uart/registers.h"

namespace cli {

namespace {

Operand parseBase(std::string_view text, const Reach& reach) {
    Operand port = parsePort(text, reach);
    if (port.ok() && port.value % uart::kPortsPerUart != 0) {
        port.error =
            "ポート" + shown(text) + "は UART のベース（オフセット 0 のポート）ではありません";
    }
    return port;
}

std::string profileList() {
    std::string list;
    for (const PlugProfile& profile : kPlugProfiles)
        list += (list.empty() ? "" : "、") + std::string(profile.name);
    return list;
}

}  // namespace

std::string takePlug(const std::optional<std::string>& text, ProbeOptions& options) {
    options.plug = text ? plugNamed(*text) : &kDefaultPlug;
    if (options.plug == nullptr)
        return "プラグの結線" + shown(*text) + "は不明です（" + profileList() + " のいずれかです）";
    return {};
}

std::string takePeer(const std::string& text, ProbeOptions& options, const Reach& reach) {
    const Operand peer = parseBase(text, reach);
    if (!peer.ok())
        return peer.error;
    options.peer = peer.value;
    return {};
}

std::string takeProbeOperands(bool selftest, const std::vector<std::string>& operands,
                              ProbeOptions& options, const Reach& reach) {
    std::vector<int32_t>& bases = options.bases;
    if (selftest) {
        if (operands.size() != 1)
            return "selftest には調べるポートを 1 つ指定してください（selftest ポート）";
        if (options.plug && options.peer)
            return "「--plug」と「--peer」は同時に使えません";
    }
    // A base named twice is probed once, in the place it was first named; the bases are
    // counted before any is touched.
    for (const std::string& text : operands) {
        const Operand base = parseBase(text, reach);
        if (!base.ok())
            return base.error;
        if (std::find(bases.begin(), bases.end(), base.value) != bases.end())
            continue;
        if (bases.size() == kMostProbedBases) {
            return "調べるポートが多すぎます（一度に調べられるのは " +
                   std::to_string(kMostProbedBases) + " 個までです）";
        }
        bases.push_back(base.value);
    }
    if (selftest && options.peer && *options.peer == bases.front())
        return "「--peer」には調べるポートとは別のポートを指定してください";
    if (bases.empty())
        bases = defaultBases(reach);
    return {};
}

}  // namespace cli
