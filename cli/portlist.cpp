// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The man page lists every Japanese text in this file.
#include "cli/portlist.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "kernel/kernelports.h"
#include "kernel/portwindows.h"
#include "text/quoted.h"
#include "uart/comwindows.h"
#include "uart/registers.h"

namespace cli {

namespace {

using kernelports::Port;
using kernelports::Verdict;

bool memoryMapped(const Port& port) {
    return port.ioType.value_or(0) >= 2;
}

std::string hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

// "COM1" for a COM base.
std::string comName(uint64_t base) {
    const auto found = std::find(uart::kComBases.begin(), uart::kComBases.end(), base);
    return "COM" + std::to_string(found - uart::kComBases.begin() + 1);
}

// Why regwise-io cannot reach the port; empty when it can.
std::string reason(const Port& port, Verdict verdict) {
    switch (verdict) {
        case Verdict::ComWindow:
        case Verdict::OtherWindow:
            return {};
        case Verdict::MemoryMapped:
            return "メモリーマップの UART で、I/O ポートにはありません（Regwise は I/O "
                   "ポートだけを使います）";
        case Verdict::Hub6:
            return "HUB6 カードの UART で、I/O ポートから直接は使えません";
        case Verdict::RegShift:
            return "レジスタが 1 ポートずつ並んでいません（iomem_reg_shift " +
                   std::to_string(port.regShift.value_or(0)) + "）";
        case Verdict::BadPort:
            return "ポートが 0 か 8 の倍数でないか、8 ポートが FFFF までに収まりません";
        case Verdict::Unreadable:
            return "カーネルの値（type、io_type、port、iomem_reg_shift）を読めませんでした";
        case Verdict::SystemPorts:
            return "ポートが 100 未満か PCI の設定ポート（CF8〜CFF）にかかり、UART "
                   "のものではありません";
        case Verdict::OutsideResource:
            return "ポートがデバイスの I/O 範囲（sysfs の resource）の外にあります";
    }
    return {};
}

std::string typeText(const Port& port) {
    if (!port.type || *port.type < 0)
        return "種別不明";
    const std::string name = kernelports::typeName(*port.type);
    return name.empty() ? "種別 " + std::to_string(*port.type) : name;
}

std::string whereText(const Port& port) {
    if (!port.ioType || *port.ioType < 0)
        return "アクセス方式不明";
    if (memoryMapped(port))
        return port.iomemBase ? "メモリーマップ " + hex(*port.iomemBase)
                              : "メモリーマップ（アドレス不明）";
    return port.port ? "ポート " + hex(*port.port) : "ポート不明";
}

// "ttyS1: ポート 2F8、IRQ 3、16550A。regwise-io で使えます（COM2）。"
std::string textLine(const Port& port) {
    const Verdict verdict = kernelports::verdictOf(port);
    std::string line = text::quoted(port.tty) + ": " + whereText(port) + "、" +
                       (port.irq ? "IRQ " + std::to_string(*port.irq) : std::string("IRQ 不明")) +
                       "、" + typeText(port);
    if (port.console)
        line += "、カーネルのコンソール";
    std::string where;
    if (verdict == Verdict::ComWindow)
        where = comName(*port.port);
    else if (verdict == Verdict::OtherWindow)
        where = uart::windowList(std::array<uint16_t, 1>{static_cast<uint16_t>(*port.port)});
    else
        return line + "。使えません: " + reason(port, verdict) + "。";
    line += "。regwise-io で使えます（" + where + "）";
    if (!port.console)
        return line + "。";
    return line +
           "が、カーネルのコンソールです: identify と selftest は --force "
           "を付けたときだけ調べ、書き込むとコンソールの出力が乱れます。";
}

template <typename T>
QJsonValue jsonNumber(const std::optional<T>& value) {
    if (!value)
        return QJsonValue::Null;
    if constexpr (std::is_unsigned_v<T>) {
        // sysfs numbers are read as 64-bit unsigned; one past qint64 is kept as a double
        // rather than wrapped to a negative number.
        if (*value > static_cast<uint64_t>(std::numeric_limits<qint64>::max()))
            return static_cast<double>(*value);
    }
    return static_cast<qint64>(*value);
}

QJsonValue jsonText(const std::string& text) {
    return text.empty() ? QJsonValue(QJsonValue::Null) : QString::fromStdString(text);
}

QJsonObject jsonObject(const Port& port) {
    const Verdict verdict = kernelports::verdictOf(port);
    const bool mmio = memoryMapped(port);
    return QJsonObject{
        {QStringLiteral("tty"), QString::fromStdString(text::quoted(port.tty))},
        {QStringLiteral("port"), jsonText(!mmio && port.port ? hex(*port.port) : std::string())},
        {QStringLiteral("mmio"),
         jsonText(mmio && port.iomemBase ? hex(*port.iomemBase) : std::string())},
        {QStringLiteral("irq"), jsonNumber(port.irq)},
        {QStringLiteral("type"),
         jsonText(port.type ? kernelports::typeName(*port.type) : std::string())},
        {QStringLiteral("type_number"), jsonNumber(port.type)},
        {QStringLiteral("io_type"), jsonNumber(port.ioType)},
        {QStringLiteral("uartclk"), jsonNumber(port.uartclk)},
        {QStringLiteral("fifo_size"), jsonNumber(port.fifoSize)},
        {QStringLiteral("console"), port.console},
        {QStringLiteral("reachable"), kernelports::reachable(verdict)},
        {QStringLiteral("reason"), jsonText(reason(port, verdict))},
    };
}

}  // namespace

int listPorts(const std::string& sysfsRoot, const Console& console, bool json) {
    const kernelports::Listing listing = kernelports::readPorts(sysfsRoot);
    if (listing.error != 0) {
        console.message("カーネルのシリアルポートの一覧「" +
                            text::quoted(sysfsRoot + "/class/tty", 200) + "」を読めません。",
                        std::strerror(listing.error));
        return kExitFailed;
    }
    std::string text;
    if (json) {
        QJsonArray ports;
        for (const Port& port : listing.ports)
            ports.append(jsonObject(port));
        text = QJsonDocument(ports).toJson(QJsonDocument::Indented).toStdString();
    } else if (listing.ports.empty()) {
        text = std::string("カーネルはシリアルポートを 1 つも登録していません。") + "\n";
    } else {
        for (const Port& port : listing.ports)
            text += textLine(port) + "\n";
    }
    if (listing.cut) {
        console.message("カーネルの一覧の項目が多すぎるため、一部だけを読みました。");
    }
    console.out << text;
    return console.flushed() ? kExitOk : kExitFailed;
}

}  // namespace cli
