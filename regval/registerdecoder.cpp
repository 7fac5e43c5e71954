// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "regval/registerdecoder.h"

#include <QStringList>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>

#include "regval/codec.h"
#include "uart/registers.h"

using namespace uart;

namespace {

// The PC's UART clock is 1.8432 MHz and the UART divides it by 16, so divisor 1 is 115200 bps.
constexpr int kBaudAtDivisorOne = kClockHz / kClocksPerBit;
static_assert(kBaudAtDivisorOne == 115200);

// A field's bits are the contiguous ones of its mask.
constexpr int lowBit(uint8_t mask) {
    return std::countr_zero(mask);
}

constexpr int highBit(uint8_t mask) {
    return std::bit_width(mask) - 1;
}

// The number a field's bits make, e.g. 3 for LCR_WLS in 0x83.
constexpr int fieldValue(int byte, uint8_t mask) {
    return (byte & mask) >> lowBit(mask);
}

QString hexByte(int byte) {
    return QStringLiteral("0x") + ToHex2(byte);
}

// The field's bits as the data sheet writes them, highest first: "011".
QString bitsText(int byte, uint8_t mask) {
    QString text;
    for (int bit = highBit(mask); bit >= lowBit(mask); --bit) {
        text += (byte >> bit & 1) != 0 ? QLatin1Char('1') : QLatin1Char('0');
    }
    return text;
}

// "n" for a one-bit field, "a-b" for a wider one.
QString bitRange(uint8_t mask) {
    return lowBit(mask) == highBit(mask)
               ? QString::number(lowBit(mask))
               : QStringLiteral("%1-%2").arg(lowBit(mask)).arg(highBit(mask));
}

// One line of a field: "  LABEL (ビットn): TEXT" or "  LABEL (ビットa-b): TEXT".
QString fieldLine(const QString& label, uint8_t mask, const QString& text) {
    return QStringLiteral("  %1 (ビット%2): %3").arg(label, bitRange(mask), text);
}

QString directionHeading(const QString& name, RegisterDirection dir) {
    return dir == RegisterDirection::Read
               ? name + QStringLiteral("（読み出し: UART の現在の状態）")
               : name + QStringLiteral("（書き込み: この値を書いたときの動作）");
}

// Reserved bits read 0 on a 16550A; ones there mean another chip, or no UART at all.
void addReserved(QStringList& lines, int byte, uint8_t mask, RegisterDirection dir) {
    QStringList setBits;
    for (int bit = lowBit(mask); bit <= highBit(mask); ++bit) {
        if ((byte >> bit & 1) != 0) {
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
        QStringLiteral("予約"), mask,
        QStringLiteral("ビット %1 が 1").arg(setBits.join(QStringLiteral(", "))) + why);
}

// One row of a register's table, in bit order. A one-bit flag says what 1 and what 0 mean; a
// wider field, or one whose meaning depends on other bits, has a function that gives its
// meaning from the whole byte. A reserved row shows only when one of its bits is 1.
struct Row {
    uint8_t mask;
    const char* name;  // the data sheet's short name and what it is
    const char* whenSet;
    const char* whenClear;
    QString (*meaning)(int byte);
    bool reserved;
};

constexpr Row flag(uint8_t mask, const char* name, const char* whenSet, const char* whenClear) {
    return {mask, name, whenSet, whenClear, nullptr, false};
}

constexpr Row field(uint8_t mask, const char* name, QString (*meaning)(int byte)) {
    return {mask, name, nullptr, nullptr, meaning, false};
}

constexpr Row reserved(uint8_t mask) {
    return {mask, "予約", nullptr, nullptr, nullptr, true};
}

// Each row's line: "  NAME (ビットn): BITS — MEANING".
void addRows(QStringList& lines, std::span<const Row> rows, int byte, RegisterDirection dir) {
    for (const Row& row : rows) {
        if (row.reserved) {
            addReserved(lines, byte, row.mask, dir);
            continue;
        }
        const QString meaning =
            row.meaning ? row.meaning(byte)
                        : QString::fromUtf8((byte & row.mask) != 0 ? row.whenSet : row.whenClear);
        lines << fieldLine(QString::fromUtf8(row.name), row.mask,
                           bitsText(byte, row.mask) + QStringLiteral(" — ") + meaning);
    }
}

void addEmptyBusHint(QStringList& lines, int byte, RegisterDirection dir) {
    if (dir == RegisterDirection::Read && byte == 0xFF) {
        lines << QStringLiteral("  FF は UART のないポートを読んだときの値でもあります");
    }
}

// Bits that reading the register resets, named when a read shows one of them set.
void addClearedByReading(QStringList& lines, int byte, RegisterDirection dir, uint8_t mask,
                         const QString& registerName) {
    if (dir == RegisterDirection::Read && (byte & mask) != 0) {
        lines << QStringLiteral("  ビット%1 は %2 を読むと 0 に戻ります")
                     .arg(bitRange(mask), registerName);
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

constexpr Row kInterruptEnable[] = {
    flag(IER_ERBFI, "ERBFI 受信データ割込", "有効", "無効"),
    flag(IER_ETBEI, "ETBEI 送信保持レジスタ空割込", "有効", "無効"),
    flag(IER_ELSI, "ELSI 受信ラインステータス割込", "有効", "無効"),
    flag(IER_EDSSI, "EDSSI モデムステータス割込", "有効", "無効"),
    reserved(IER_RESERVED),
};

void describeInterruptEnable(QStringList& lines, int byte, RegisterDirection dir) {
    lines << QStringLiteral("DLAB=0: IER 割込許可");
    addRows(lines, kInterruptEnable, byte, dir);
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

// The pending interrupts by IIR bits 1-3, highest priority first.
struct InterruptSource {
    uint8_t id;
    const char* meaning;
};

constexpr InterruptSource kInterruptSources[] = {
    {IIR_ID_RLS, "受信ラインステータス（優先度 1・最高）。LSR を読むと解除"},
    {IIR_ID_RDA, "受信データあり（優先度 2）。RBR を読むと解除"},
    {IIR_ID_TIMEOUT, "文字タイムアウト（優先度 2、FIFO モードのみ）。RBR を読むと解除"},
    {IIR_ID_THRE, "送信保持レジスタ空（優先度 3）。IIR を読むか THR に書くと解除"},
    {IIR_ID_MSR, "モデムステータス（優先度 4・最低）。MSR を読むと解除"},
};

QString interruptIdText(int byte) {
    const int id = byte & IIR_ID;
    if ((byte & IIR_NO_INT) != 0) {
        return id == 0 ? QStringLiteral("保留がないため意味を持ちません")
                       : QStringLiteral("保留がないのに 0 以外（16550A では現れない値です）");
    }
    for (const InterruptSource& source : kInterruptSources) {
        if (id == source.id) {
            return QString::fromUtf8(source.meaning);
        }
    }
    return QStringLiteral("未定義の割込 ID（16550A では現れない値です）");
}

QString fifoStateText(int byte) {
    static constexpr std::array<const char*, 4> kFifoState{
        "FIFO なし（無効、または 16450 互換）",
        "未定義（16550A では現れない値です）",
        "FIFO 有効だが使えません（初代 16550）",
        "FIFO 有効",
    };
    return QString::fromUtf8(kFifoState[fieldValue(byte, IIR_FIFOS)]);
}

constexpr Row kInterruptIdentification[] = {
    flag(IIR_NO_INT, "割込保留", "保留中の割込はありません", "割込が保留されています"),
    field(IIR_ID, "割込 ID", interruptIdText),
    reserved(IIR_RESERVED),
    field(IIR_FIFOS, "FIFO", fifoStateText),
};

void describeInterruptId(QStringList& lines, int byte) {
    lines << directionHeading(QStringLiteral("IIR 割込識別"), RegisterDirection::Read);
    addRows(lines, kInterruptIdentification, byte, RegisterDirection::Read);
    addEmptyBusHint(lines, byte, RegisterDirection::Read);
}

QString triggerLevelText(int byte) {
    return QStringLiteral("%1 バイト").arg(int{rxTriggerLevel(static_cast<uint8_t>(byte))});
}

constexpr Row kFifoControl[] = {
    flag(FCR_ENABLE, "FIFO 有効", "送受信 FIFO を有効にする",
         "FIFO を無効にする（FIFO は空になり、ほかのビットは効きません）"),
    flag(FCR_RX_RESET, "RCVR FIFO リセット", "受信 FIFO を空にする", "しない"),
    flag(FCR_TX_RESET, "XMIT FIFO リセット", "送信 FIFO を空にする", "しない"),
    flag(FCR_DMA_MODE, "DMA モード", "モード 1（複数文字転送）", "モード 0（1 文字転送）"),
    reserved(FCR_RESERVED),
    field(FCR_TRIGGER, "受信トリガレベル", triggerLevelText),
};

void describeFifoControl(QStringList& lines, int byte) {
    lines << directionHeading(QStringLiteral("FCR FIFO 制御"), RegisterDirection::Write);
    addRows(lines, kFifoControl, byte, RegisterDirection::Write);
}

int wordLength(int byte) {
    return 5 + fieldValue(byte, LCR_WLS);
}

QString stopBits(int byte) {
    if ((byte & LCR_STB) == 0) {
        return QStringLiteral("1");
    }
    return wordLength(byte) == 5 ? QStringLiteral("1.5") : QStringLiteral("2");
}

// PEN, EPS and stick parity together, indexed by LCR bits 5-3.
struct Parity {
    const char* meaning;
    char letter;  // as in "8N1"
};

constexpr std::array<Parity, 8> kParity{{
    {"なし", 'N'},
    {"奇数", 'O'},
    {"なし（PEN=0 のためビット4-5 は効きません）", 'N'},
    {"偶数", 'E'},
    {"なし（PEN=0 のためビット4-5 は効きません）", 'N'},
    {"マーク（パリティビットは常に 1）", 'M'},
    {"なし（PEN=0 のためビット4-5 は効きません）", 'N'},
    {"スペース（パリティビットは常に 0）", 'S'},
}};

const Parity& parity(int byte) {
    return kParity[fieldValue(byte, LCR_PARITY)];
}

QString wordLengthText(int byte) {
    return QStringLiteral("%1 ビット").arg(wordLength(byte));
}

QString stopBitsText(int byte) {
    return stopBits(byte) + QStringLiteral(" ビット");
}

QString parityText(int byte) {
    return QString::fromUtf8(parity(byte).meaning);
}

constexpr Row kLineControl[] = {
    field(LCR_WLS, "データ長", wordLengthText),
    field(LCR_STB, "ストップビット", stopBitsText),
    field(LCR_PARITY, "パリティ", parityText),
    flag(LCR_BREAK, "ブレーク", "オン（送信線をスペースに固定）", "オフ"),
    flag(LCR_DLAB, "DLAB", "オン（0 番地と 1 番地は分周値ラッチ DLL/DLM）",
         "オフ（0 番地は RBR/THR、1 番地は IER）"),
};

void describeLineControl(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("LCR 回線制御"), dir);
    addRows(lines, kLineControl, byte, dir);
    lines << QStringLiteral("  フレーム形式: %1%2%3")
                 .arg(wordLength(byte))
                 .arg(QLatin1Char(parity(byte).letter))
                 .arg(stopBits(byte));
}

constexpr Row kModemControl[] = {
    flag(MCR_DTR, "DTR", "オン", "オフ"),
    flag(MCR_RTS, "RTS", "オン", "オフ"),
    flag(MCR_OUT1, "OUT1", "オン", "オフ"),
    flag(MCR_OUT2, "OUT2", "オン（PC では割込線 IRQ が有効）",
         "オフ（PC では割込が CPU に届きません）"),
    flag(MCR_LOOP, "ループバック",
         "オン（送信は受信へ、DTR/RTS/OUT1/OUT2 は DSR/CTS/RI/DCD へ折り返し）", "オフ"),
    reserved(MCR_RESERVED),
};

void describeModemControl(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("MCR モデム制御"), dir);
    addRows(lines, kModemControl, byte, dir);
}

constexpr Row kLineStatus[] = {
    flag(LSR_DR, "DR 受信データ", "あり（RBR に読める文字があります）", "なし"),
    flag(LSR_OE, "OE オーバーランエラー", "あり", "なし"),
    flag(LSR_PE, "PE パリティエラー", "あり", "なし"),
    flag(LSR_FE, "FE フレーミングエラー", "あり", "なし"),
    flag(LSR_BI, "BI ブレーク受信", "あり", "なし"),
    flag(LSR_THRE, "THRE 送信保持レジスタ空", "空（次の文字を書けます）",
         "空でない（送信待ちの文字があります）"),
    flag(LSR_TEMT, "TEMT 送信器空", "空（送信完了）", "送信中"),
    flag(LSR_RXFIFO_ERROR, "受信 FIFO エラー",
         "あり（FIFO 内にパリティ・フレーミング・ブレークの文字）", "なし"),
};

void describeLineStatus(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("LSR 回線ステータス"), dir);
    if (dir == RegisterDirection::Write) {
        lines << QStringLiteral("  LSR は読み出し用です。書き込みは工場テスト用で、勧められません");
    }
    addRows(lines, kLineStatus, byte, dir);
    addClearedByReading(lines, byte, dir, LSR_ERRORS, QStringLiteral("LSR"));
    addEmptyBusHint(lines, byte, dir);
}

constexpr Row kModemStatus[] = {
    flag(MSR_DCTS, "DCTS CTS 変化", "あり（前回 MSR を読んでから変化）", "なし"),
    flag(MSR_DDSR, "DDSR DSR 変化", "あり（前回 MSR を読んでから変化）", "なし"),
    flag(MSR_TERI, "TERI RI 終了", "あり（RI がオンからオフに変化）", "なし"),
    flag(MSR_DDCD, "DDCD DCD 変化", "あり（前回 MSR を読んでから変化）", "なし"),
    flag(MSR_CTS, "CTS 送信可", "オン", "オフ"),
    flag(MSR_DSR, "DSR データセットレディ", "オン", "オフ"),
    flag(MSR_RI, "RI 被呼表示", "オン", "オフ"),
    flag(MSR_DCD, "DCD キャリア検出", "オン", "オフ"),
};

void describeModemStatus(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("MSR モデムステータス"), dir);
    if (dir == RegisterDirection::Write) {
        lines << QStringLiteral(
            "  MSR は読み出し用です。書いてもモデム信号は変わりません（MCR で操作します）");
    }
    addRows(lines, kModemStatus, byte, dir);
    addClearedByReading(lines, byte, dir, MSR_DELTAS, QStringLiteral("MSR"));
}

void describeScratch(QStringList& lines, int byte, RegisterDirection dir) {
    lines << directionHeading(QStringLiteral("SCR スクラッチ"), dir);
    lines << QStringLiteral(
                 "  値 %1 (%2): 書いたとおりに保持されるだけで、UART の動作には影響しません")
                 .arg(hexByte(byte))
                 .arg(byte);
    lines << QStringLiteral(
        "  SCR は 16450 以降にあります。SCR のない 8250 では書いた値と違う値が読めます");
    addEmptyBusHint(lines, byte, dir);
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
    if (index < 0 || index > SCR) {
        return QStringLiteral("レジスタ番号 %1 はありません（0〜7）").arg(index);
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
        case RBR:  // and THR, DLL
            describeData(lines, byte, dir);
            break;
        case IER:  // and DLM
            describeInterruptEnable(lines, byte, dir);
            break;
        case IIR:  // FCR when written
            if (dir == RegisterDirection::Read) {
                describeInterruptId(lines, byte);
            } else {
                describeFifoControl(lines, byte);
            }
            break;
        case LCR:
            describeLineControl(lines, byte, dir);
            break;
        case MCR:
            describeModemControl(lines, byte, dir);
            break;
        case LSR:
            describeLineStatus(lines, byte, dir);
            break;
        case MSR:
            describeModemStatus(lines, byte, dir);
            break;
        default:
            describeScratch(lines, byte, dir);
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
