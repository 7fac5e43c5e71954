// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/registerwrite.h"

#include "handlers/dialogs.h"
#include "handlers/sessiongate.h"
#include "portio/portlibrary.h"
#include "portio/sessionoutcome.h"
#include "text/quoted.h"

namespace {

// A pasted text can be arbitrarily long and hold anything; the message names its start,
// made safe to show.
QString shortened(const QString& text) {
    return QString::fromStdString(text::quoted(text.toStdString()));
}

}  // namespace

void cmdOutput_Click(const RowContext& row, int confirmState) {
    if (!sessionOpen(row))
        return;

    // Only a truly empty box counts; blanks are a text the user typed.
    if (row.fields.output(ValueForm::Dec).isEmpty()) {
        row.fields.setOutput(ValueForm::Dec, ToDec(0));
        row.fields.setOutput(ValueForm::Hex, QStringLiteral("00"));
        row.fields.setOutput(ValueForm::Bin, QStringLiteral("00000000"));
    }

    // Checked before the confirmation: asking to confirm a write that cannot happen helps
    // nobody.
    // A Dec text that is no number at all left the other boxes as they were when it was left;
    // whatever they show is not what the user typed, so nothing of theirs is written either.
    const QString decText = row.fields.output(ValueForm::Dec);
    const std::optional<int16_t> value = FromDec(decText);
    if (!value && !isDecimalNumber(decText)) {
        row.dialogs.message(
            QStringLiteral(
                "10進数の出力データ「%1」を数値として読めないため、何も書き込みませんでした。")
                .arg(shortened(decText)),
            QString());
        return;
    }
    if (!value) {
        row.dialogs.message(
            QStringLiteral("出力データ「%1」は%2～%3の数値ではないため、何も書き込みませんでした。")
                .arg(shortened(decText), ToDec(kFromDecMin), ToDec(kFromDecMax)),
            QString());
        return;
    }

    // The confirmation quotes the Hex box and the user reads the row by it. A Hex text that
    // cannot be read was never brought into step with the Dec box when it was left, so the
    // Dec box may still hold an older value: writing it would send what the row no longer
    // shows.
    const QString hexText = row.fields.output(ValueForm::Hex);
    if (!FromHex(hexText)) {
        row.dialogs.message(
            QStringLiteral(
                "16進数の出力データ「%1」を数値として読めないため、何も書き込みませんでした。")
                .arg(shortened(hexText)),
            QString());
        return;
    }

    if (confirmState == 1) {
        const QString text = QStringLiteral("コントロールポート：0x") + ToHex(row.port) +
                             QStringLiteral("にデータ：0x") + hexText +
                             QStringLiteral("を書きこみます");
        if (!row.dialogs.confirm(QStringLiteral("確認"), text))
            return;
    }

    // The whole 16-bit value goes to the library; which byte reaches the port is its business.
    const PortCall call = row.library.outB(row.port, *value);
    if (call.failed()) {
        row.dialogs.message(
            QString::fromStdString(session::writeFailed(static_cast<uint16_t>(row.port), *value)),
            QString::fromStdString(call.error));
    }
}
