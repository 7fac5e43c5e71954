#include "registerdecoder.h"

#include <QStringList>
#include <array>
#include <optional>

#include "codec.h"

namespace {

// The PC's UART clock is 1.8432 MHz and the UART divides it by 16, so divisor 1 is 115200 bps.
constexpr int kBaudAtDivisorOne = 115200;

constexpr bool isSet(int byte, int bit) {
    return (byte >> bit & 1) != 0;
}

QString hexByte(int byte) {
    return QStringLiteral("0x") + QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

QString bitsText(int byte, int lowBit, int count) {
    QString text;
    for (int bit = lowBit + count - 1; bit >= lowBit; --bit) {
        text += isSet(byte, bit) ? QLatin1Char('1') : QLatin1Char('0');
    }
    return text;
}

// One line of a field: "  LABEL (ビットn): TEXT" or "  LABEL (ビットa-b): TEXT".
QString fieldLine(const QString& label, int lowBit, int highBit, const QString& text) {
    const QString bits = lowBit == highBit ? QString::number(lowBit)
                                           : QStringLiteral("%1-%2").arg(lowBit).arg(highBit);
    return QStringLiteral("  %1 (ビット%2): %3").arg(label, bits, text);
}

QString flagLine(int byte, int bit, const QString& label, const QString& onText,
                 const QString& offText) {
    return fieldLine(
        label, bit, bit,
        isSet(byte, bit) ? QStringLiteral("1 — ") + onText : QStringLiteral("0 — ") + offText);
}

QString directionHeading(const QString& name, RegisterDirection dir) {
    return dir == RegisterDirection::Read
               ? name + QStringLiteral("（読み出し: UART の現在の状態）")
               : name + QStringLiteral("（書き込み: この値を書いたときの動作）");
}

// Reserved bits read 0 on a 16550A; ones there mean another chip, or no UART at all.
void addReserved(QStringList& lines, int byte, int lowBit, int highBit, RegisterDirection dir) {
    QStringList setBits;
    for (int bit = lowBit; bit <= highBit; ++bit) {
        if (isSet(byte, bit)) {
            setBits << QString::number(bit);
        }
    }
    if (setBits.isEmpty()) {
        return;
    }
    const QString why = dir == RegisterDirection::Read
                            ? QStringLiteral("（16550A では常に 0 のはずです）")
                            : QStringLiteral("（予約ビットです。0 にしてください）");
    lines << fieldLine(
        QStringLiteral("予約"), lowBit, highBit,
        QStringLiteral("ビット %1 が 1").arg(setBits.join(QStringLiteral(", "))) + why);
}

void addEmptyBusHint(QStringList& lines, int byte, RegisterDirection dir) {
    if (dir == RegisterDirection::Read && byte == 0xFF) {
        lines << QStringLiteral("  FF は UART のないポートを読んだときの値でもあります");
    }
}

QString characterText(int byte) {
    static constexpr std::array<const char*, 32> kControlNames{
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (byte < 0x20) {
        return QStringLiteral("制御文字 ") + QLatin1String(kControlNames[byte]);
    }
    if (byte == 0x20) {
        return QStringLiteral("文字 ' '（空白）");
    }
    if (byte < 0x7F) {
        return QStringLiteral("文字 '%1'").arg(QLatin1Char(static_cast<char>(byte)));
    }
    if (byte == 0x7F) {
        return QStringLiteral("制御文字 DEL");
    }
    return QStringLiteral("ASCII 外の文字コード");
}

QString divisorText(int divisor) {
    if (divisor == 0) {
        return QStringLiteral("分周値 0: ボーレートクロックが止まり、送受信できません");
    }
    if (kBaudAtDivisorOne % divisor == 0) {
        return QStringLiteral("分周値 %1 → %2 bps").arg(divisor).arg(kBaudAtDivisorOne / divisor);
    }
    return QStringLiteral("分周値 %1 → 約 %2 bps")
        .arg(divisor)
        .arg(static_cast<double>(kBaudAtDivisorOne) / divisor, 0, 'f', 2);
}

void describeData(QStringList& lines, int byte, RegisterDirection dir) {
    const QString data =
        QStringLiteral("%1 (%2) %3").arg(hexByte(byte)).arg(byte).arg(characterText(byte));
    lines << (dir == RegisterDirection::Read
                  ? QStringLiteral("DLAB=0: RBR 受信バッファ — 受信データ ") + data
                  : QStringLiteral("DLAB=0: THR 送信保持 — 送信するデータ ") + data);
    lines << QStringLiteral("DLAB=1: DLL 分周値ラッチ下位 — DLM=0 なら") + divisorText(byte);
}

void describeInterruptEnable(QStringList& lines, int byte, RegisterDirection dir) {
    lines << QStringLiteral("DLAB=0: IER 割込許可");
    const QString on = QStringLiteral("有効");
    const QString off = QStringLiteral("無効");
    lines << flagLine(byte, 0, QStringLiteral("ERBFI 受信データ割込"), on, off);
    lines << flagLine(byte, 1, QStringLiteral("ETBEI 送信保持レジスタ空割込"), on, off);
    lines << flagLine(byte, 2, QStringLiteral("ELSI 受信ラインステータス割込"), on, off);
    lines << flagLine(byte, 3, QStringLiteral("EDSSI モデムステータス割込"), on, off);
    addReserved(lines, byte, 4, 7, dir);
    addEmptyBusHint(lines, byte, dir);
    if (byte == 0) {
        lines << QStringLiteral(
            "DLAB=1: DLM 分周値ラッチ上位 — 0: 分周値は DLL の値だけで決まります");
    } else {
        lines << QStringLiteral("DLAB=1: DLM 分周値ラッチ上位 — 分周値 = %1×256 + DLL。DLL=0 なら")
                         .arg(byte) +
                     divisorText(byte * 256);
    }
}

QString interruptIdText(int byte) {
    const int id = byte >> 1 & 0x07;
    if (isSet(byte, 0)) {
        return id == 0
                   ? QStringLiteral("000 — 保留がないため意味を持ちません")
                   : bitsText(byte, 1, 3) +
                         QStringLiteral(" — 保留がないのに 0 以外（16550A では現れない値です）");
    }
    QString meaning;
    switch (id) {
        case 0b011:
            meaning = QStringLiteral("受信ラインステータス（優先度 1・最高）。LSR を読むと解除");
            break;
        case 0b010:
            meaning = QStringLiteral("受信データあり（優先度 2）。RBR を読むと解除");
            break;
        case 0b110:
            meaning =
                QStringLiteral("文字タイムアウト（優先度 2、FIFO モードのみ）。RBR を読むと解除");
            break;
        case 0b001:
            meaning =
                QStringLiteral("送信保持レジスタ空（優先度 3）。IIR を読むか THR に書くと解除");
            break;
        case 0b000:
            meaning = QStringLiteral("モデムステータス（優先度 4・最低）。MSR を読むと解除");
            break;
        default:
            meaning = QStringLiteral("未定義の割込 ID（16550A では現れない値です）");
            break;
    }
    return bitsText(byte, 1, 3) + QStringLiteral(" — ") + meaning;
}

void describeInterruptId(QStringList& lines, int byte) {
    lines << directionHeading(QStringLiteral("IIR 割込識別"), RegisterDirection::Read);
    lines << flagLine(byte, 0, QStringLiteral("割込保留"),
                      QStringLiteral("保留中の割込はありません"),
                      QStringLiteral("割込が保留されています"));
    lines << fieldLine(QStringLiteral("割込 ID"), 1, 3, interruptIdText(byte));
    addReserved(lines, byte, 4, 5, RegisterDirection::Read);
    static const std::array<QString, 4> kFifoState{
        QStringLiteral("FIFO なし（無効、または 16450 互換）"),
        QStringLiteral("未定義（16550A では現れない値です）"),
        QStringLiteral("FIFO 有効だが使えません（初代 16550）"),
        QStringLiteral("FIFO 有効"),
    };
    lines << fieldLine(QStringLiteral("FIFO"), 6, 7,
                       bitsText(byte, 6, 2) + QStringLiteral(" — ") + kFifoState[byte >> 6 & 3]);
    addEmptyBusHint(lines, byte, RegisterDirection::Read);
}

void describeFifoControl(QStringList& lines, int byte) {
    lines << directionHeading(QStringLiteral("FCR FIFO 制御"), RegisterDirection::Write);
    lines << flagLine(
        byte, 0, QStringLiteral("FIFO 有効"), QStringLiteral("送受信 FIFO を有効にする"),
        QStringLiteral("FIFO を無効にする（FIFO は空になり、ほかのビットは効きません）"));
    lines << flagLine(byte, 1, QStringLiteral("RCVR FIFO リセット"),
                      QStringLiteral("受信 FIFO を空にする"), QStringLiteral("しない"));
    lines << flagLine(byte, 2, QStringLiteral("XMIT FIFO リセット"),
                      QStringLiteral("送信 FIFO を空にする"), QStringLiteral("しない"));
    lines << flagLine(byte, 3, QStringLiteral("DMA モード"),
                      QStringLiteral("モード 1（複数文字転送）"),
                      QStringLiteral("モード 0（1 文字転送）"));
    addReserved(lines, byte, 4, 5, RegisterDirection::Write);
    static constexpr std::array<int, 4> kTriggerLevel{1, 4, 8, 14};
    lines << fieldLine(
        QStringLiteral("受信トリガレベル"), 6, 7,
        bitsText(byte, 6, 2) + QStringLiteral(" — %1 バイト").arg(kTriggerLevel[byte >> 6 & 3]));
}

void describeLineControl(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("LCR 回線制御"), dir);
    const int wordLength = 5 + (byte & 0x03);
    lines << fieldLine(QStringLiteral("データ長"), 0, 1,
                       bitsText(byte, 0, 2) + QStringLiteral(" — %1 ビット").arg(wordLength));

    const bool extraStop = isSet(byte, 2);
    const QString stopBits = !extraStop        ? QStringLiteral("1")
                             : wordLength == 5 ? QStringLiteral("1.5")
                                               : QStringLiteral("2");
    lines << fieldLine(QStringLiteral("ストップビット"), 2, 2,
                       QStringLiteral("%1 — %2 ビット").arg(extraStop ? 1 : 0).arg(stopBits));

    // PEN (bit 3), EPS (bit 4) and stick parity (bit 5) together choose the parity.
    QString parity;
    QChar letter;
    if (!isSet(byte, 3)) {
        parity = (byte & 0x30) == 0 ? QStringLiteral("なし")
                                    : QStringLiteral("なし（PEN=0 のためビット4-5 は効きません）");
        letter = QLatin1Char('N');
    } else if (!isSet(byte, 5)) {
        parity = isSet(byte, 4) ? QStringLiteral("偶数") : QStringLiteral("奇数");
        letter = isSet(byte, 4) ? QLatin1Char('E') : QLatin1Char('O');
    } else {
        parity = isSet(byte, 4) ? QStringLiteral("スペース（パリティビットは常に 0）")
                                : QStringLiteral("マーク（パリティビットは常に 1）");
        letter = isSet(byte, 4) ? QLatin1Char('S') : QLatin1Char('M');
    }
    lines << fieldLine(QStringLiteral("パリティ"), 3, 5,
                       bitsText(byte, 3, 3) + QStringLiteral(" — ") + parity);

    lines << flagLine(byte, 6, QStringLiteral("ブレーク"),
                      QStringLiteral("オン（送信線をスペースに固定）"), QStringLiteral("オフ"));
    lines << flagLine(byte, 7, QStringLiteral("DLAB"),
                      QStringLiteral("オン（0 番地と 1 番地は分周値ラッチ DLL/DLM）"),
                      QStringLiteral("オフ（0 番地は RBR/THR、1 番地は IER）"));
    lines << QStringLiteral("  フレーム形式: %1%2%3").arg(wordLength).arg(letter).arg(stopBits);
}

void describeModemControl(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("MCR モデム制御"), dir);
    const QString on = QStringLiteral("オン");
    const QString off = QStringLiteral("オフ");
    lines << flagLine(byte, 0, QStringLiteral("DTR"), on, off);
    lines << flagLine(byte, 1, QStringLiteral("RTS"), on, off);
    lines << flagLine(byte, 2, QStringLiteral("OUT1"), on, off);
    lines << flagLine(byte, 3, QStringLiteral("OUT2"),
                      QStringLiteral("オン（PC では割込線 IRQ が有効）"),
                      QStringLiteral("オフ（PC では割込が CPU に届きません）"));
    lines << flagLine(
        byte, 4, QStringLiteral("ループバック"),
        QStringLiteral("オン（送信は受信へ、DTR/RTS/OUT1/OUT2 は DSR/CTS/RI/DCD へ折り返し）"),
        off);
    addReserved(lines, byte, 5, 7, dir);
}

void describeLineStatus(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("LSR 回線ステータス"), dir);
    if (dir == RegisterDirection::Write) {
        lines << QStringLiteral("  LSR は読み出し用です。書き込みは工場テスト用で、勧められません");
    }
    const QString yes = QStringLiteral("あり");
    const QString no = QStringLiteral("なし");
    lines << flagLine(byte, 0, QStringLiteral("DR 受信データ"),
                      QStringLiteral("あり（RBR に読める文字があります）"), no);
    lines << flagLine(byte, 1, QStringLiteral("OE オーバーランエラー"), yes, no);
    lines << flagLine(byte, 2, QStringLiteral("PE パリティエラー"), yes, no);
    lines << flagLine(byte, 3, QStringLiteral("FE フレーミングエラー"), yes, no);
    lines << flagLine(byte, 4, QStringLiteral("BI ブレーク受信"), yes, no);
    lines << flagLine(byte, 5, QStringLiteral("THRE 送信保持レジスタ空"),
                      QStringLiteral("空（次の文字を書けます）"),
                      QStringLiteral("空でない（送信待ちの文字があります）"));
    lines << flagLine(byte, 6, QStringLiteral("TEMT 送信器空"), QStringLiteral("空（送信完了）"),
                      QStringLiteral("送信中"));
    lines << flagLine(byte, 7, QStringLiteral("受信 FIFO エラー"),
                      QStringLiteral("あり（FIFO 内にパリティ・フレーミング・ブレークの文字）"),
                      no);
    if (dir == RegisterDirection::Read && (byte & 0x1E) != 0) {
        lines << QStringLiteral("  ビット1-4 は LSR を読むと 0 に戻ります");
    }
    addEmptyBusHint(lines, byte, dir);
}

void describeModemStatus(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("MSR モデムステータス"), dir);
    if (dir == RegisterDirection::Write) {
        lines << QStringLiteral(
            "  MSR は読み出し用です。書いてもモデム信号は変わりません（MCR で操作します）");
    }
    const QString changed = QStringLiteral("あり（前回 MSR を読んでから変化）");
    const QString no = QStringLiteral("なし");
    const QString on = QStringLiteral("オン");
    const QString off = QStringLiteral("オフ");
    lines << flagLine(byte, 0, QStringLiteral("DCTS CTS 変化"), changed, no);
    lines << flagLine(byte, 1, QStringLiteral("DDSR DSR 変化"), changed, no);
    lines << flagLine(byte, 2, QStringLiteral("TERI RI 終了"),
                      QStringLiteral("あり（RI がオンからオフに変化）"), no);
    lines << flagLine(byte, 3, QStringLiteral("DDCD DCD 変化"), changed, no);
    lines << flagLine(byte, 4, QStringLiteral("CTS 送信可"), on, off);
    lines << flagLine(byte, 5, QStringLiteral("DSR データセットレディ"), on, off);
    lines << flagLine(byte, 6, QStringLiteral("RI 被呼表示"), on, off);
    lines << flagLine(byte, 7, QStringLiteral("DCD キャリア検出"), on, off);
    if (dir == RegisterDirection::Read && (byte & 0x0F) != 0) {
        lines << QStringLiteral("  ビット0-3 は MSR を読むと 0 に戻ります");
    }
}

bool isBinaryText(const QString& text) {
    if (text.isEmpty() || text.size() > 8) {
        return false;
    }
    for (const QChar c : text) {
        if (c != QLatin1Char('0') && c != QLatin1Char('1')) {
            return false;
        }
    }
    return true;
}

}  // namespace

QString describeRegister(int index, RegisterDirection dir, int value) {
    if (index < 0 || index > 6) {
        return QStringLiteral("レジスタ番号 %1 はありません（0〜6）").arg(index);
    }
    const int byte = value & 0xFF;
    QStringList lines;
    if (value != byte) {
        lines << QStringLiteral(
                     "値 %1 は 0〜255 の範囲外です。ポートに渡るのは下位バイト %2 (%3) だけです")
                     .arg(value)
                     .arg(hexByte(byte))
                     .arg(byte);
    }
    switch (index) {
        case 0:
            describeData(lines, byte, dir);
            break;
        case 1:
            describeInterruptEnable(lines, byte, dir);
            break;
        case 2:
            if (dir == RegisterDirection::Read) {
                describeInterruptId(lines, byte);
            } else {
                describeFifoControl(lines, byte);
            }
            break;
        case 3:
            describeLineControl(lines, byte, dir);
            break;
        case 4:
            describeModemControl(lines, byte, dir);
            break;
        case 5:
            describeLineStatus(lines, byte, dir);
            break;
        default:
            describeModemStatus(lines, byte, dir);
            break;
    }
    return lines.join(QLatin1Char('\n'));
}

QString describeBoxText(int index, RegisterDirection dir, ValueForm form, const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    std::optional<int32_t> value;
    switch (form) {
        case ValueForm::Dec:
            value = readDecimal(text);
            break;
        case ValueForm::Hex:
            value = FromHex(text);
            break;
        case ValueForm::Bin:
            if (isBinaryText(text)) {
                value = FromBin(text, kFilledBitWeight);
            }
            break;
    }
    if (!value) {
        return QStringLiteral("この値は解釈できません");
    }
    // The write takes the decimal box as a 16-bit number and refuses anything wider, so such
    // a value never reaches the port: describing its low byte would mislead.
    if (*value < kFromDecMin || *value > kFromDecMax) {
        return QStringLiteral("値 %1 は %2〜%3 の範囲外のため、ポートには書き込めません")
            .arg(*value)
            .arg(kFromDecMin)
            .arg(kFromDecMax);
    }
    return describeRegister(index, dir, *value);
}
