// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/registermap.h"

#include <algorithm>

#include "handlers/dialogs.h"
#include "uart/registers.h"

QString registerName(int index) {
    static const std::array<QString, kRegisterCount> names{
        QStringLiteral("デバイザラッチ"),   QStringLiteral("通信割込制御"),
        QStringLiteral("通信割込表示"),     QStringLiteral("回線制御"),
        QStringLiteral("モデム制御"),       QStringLiteral("回線ステータス"),
        QStringLiteral("モデムステータス"),
    };
    return index >= 0 && index < kRegisterCount ? names[static_cast<size_t>(index)] : QString();
}

void setPortAddresses(PortAddresses& portAdr, Dialogs& dialogs) {
    const auto base = static_cast<uint16_t>(portAdr[0]);
    if (std::ranges::find(uart::kComBases, base) == uart::kComBases.end()) {
        dialogs.message(QStringLiteral("規定外のアドレスが指定されています。0x3F8に変更します。"),
                        QString());
        portAdr[0] = static_cast<int16_t>(uart::kComBases[0]);
    }
    for (int i = 1; i < kRegisterCount; ++i)
        portAdr[static_cast<size_t>(i)] = static_cast<int16_t>(portAdr[0] + i);
}

std::array<QString, kRegisterCount> frameCaptions(const PortAddresses& portAdr) {
    std::array<QString, kRegisterCount> captions;
    for (int i = 0; i < kRegisterCount; ++i) {
        // Ports are positive 16-bit values here; the caption shows them unpadded, upper case.
        const auto port = static_cast<uint16_t>(portAdr[static_cast<size_t>(i)]);
        captions[static_cast<size_t>(i)] =
            registerName(i) + u'(' + QString::number(port, 16).toUpper() + u')';
    }
    return captions;
}

void optBase_Click(int16_t base, PortAddresses& portAdr, Dialogs& dialogs) {
    portAdr[0] = base;
    setPortAddresses(portAdr, dialogs);
}
