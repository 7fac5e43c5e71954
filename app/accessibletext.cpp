// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/accessibletext.h"

#include "app/formnames.h"
#include "handlers/registermap.h"
#include "regval/registerdecoder.h"

namespace {

QString sideWord(RowSide side) {
    return side == RowSide::Input ? QStringLiteral("INPUT") : QStringLiteral("OUTPUT");
}

}  // namespace

QString boxAccessibleName(int row, RowSide side, ValueForm form) {
    return buttonAccessibleName(row, side) + u' ' + formNames(form).label;
}

QString buttonAccessibleName(int row, RowSide side) {
    return registerName(row) + u' ' + sideWord(side);
}

QString buttonAccessibleDescription(const QString& frameCaption, RowSide side) {
    return side == RowSide::Input
               ? QStringLiteral("%1を1バイト読み、INPUT 欄に表示します").arg(frameCaption)
               : QStringLiteral("OUTPUT 欄の値を%1に書き込みます").arg(frameCaption);
}

QString boxDecoding(int row, RowSide side, ValueForm form, const QString& text) {
    // An input box shows what the UART reported; an output box holds what is to be written.
    // At offset 2 these are different registers (IIR and FCR).
    const RegisterDirection dir =
        side == RowSide::Input ? RegisterDirection::Read : RegisterDirection::Write;
    return describeBoxText(row, dir, form, text);
}

QString boxAccessibleDescription(int row, RowSide side, ValueForm form, const QString& text) {
    if (!text.isEmpty())
        return boxDecoding(row, side, form, text);
    return side == RowSide::Input
               ? QStringLiteral("INPUT で読んだ値の%1表示（読み取り専用）")
                     .arg(formNames(form).radix)
               : QStringLiteral("OUTPUT で書き込む値を%1で入力します").arg(formNames(form).radix);
}

QString plainTextToolTip(const QString& text) {
    if (text.isEmpty())
        return {};
    // The leading <p> makes Qt take the tip as rich text whatever the text holds, and
    // white-space:pre keeps the decoder's line breaks and indentation.
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

QString controlAccessibleDescription(const QString& objectName) {
    if (objectName.startsWith(QLatin1String("opt")))
        return QStringLiteral("ベースアドレスを0x%1にします").arg(objectName.mid(3));
    if (objectName == QLatin1String("cmdIOStart"))
        return QStringLiteral("ポートの直接入出力を開始します");
    if (objectName == QLatin1String("cmdIOEnd"))
        return QStringLiteral("ポートの直接入出力を終了します");
    if (objectName == QLatin1String("chkConfirm"))
        return QStringLiteral("チェックすると、OUTPUT で書き込む前に確認します");
    return {};
}
