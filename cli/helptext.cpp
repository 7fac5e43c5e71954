// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/helptext.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cli/commandline.h"
#include "cli/probe/plugprofiles.h"
#include "cli/script/script.h"
#include "uart/chips.h"
#include "uart/comwindows.h"

namespace cli {

namespace {

// The columns a line of the help takes on a terminal, and the most it may take.
constexpr std::size_t kHelpWidth = 85;
std::size_t columns(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) == 0x80)
            continue;  // a UTF-8 continuation byte
        // Japanese script and full-width forms (from U+3000, three bytes from E3 on) take two
        // columns; ASCII and the box-drawing line (E2 94 80) take one.
        count += byte >= 0xE3 ? 2 : 1;
    }
    return count;
}

// text followed by spaces up to width columns.
std::string padded(const std::string& text, std::size_t width) {
    const std::size_t used = columns(text);
    return text + std::string(width > used ? width - used : 0, ' ');
}

// head, then the words joined by "、" and followed by tail, wrapped within kHelpWidth
// columns, each line after the first under indent.
std::string wrappedList(std::string line, const std::vector<std::string>& words,
                        std::string_view tail, std::string_view indent) {
    std::string lines;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string piece = words[i] + (i + 1 < words.size() ? "、" : std::string(tail));
        if (columns(line + piece) > kHelpWidth) {
            lines += line + "\n";
            line = indent;
        }
        line += piece;
    }
    return lines + line + "\n";
}

// The chips identify may name, "none" first.
std::vector<std::string> chipNames() {
    std::vector<std::string> names{std::string(uart::chipFacts(uart::Chip::None).name)};
    for (const uart::ChipFacts& facts : uart::kChips) {
        if (facts.chip != uart::Chip::None)
            names.emplace_back(facts.name);
    }
    return names;
}

// The DB9 pins of the modem-status inputs, in the order a wire is drawn through them.
struct InputPin {
    uint8_t msr;
    std::string_view pin;
};
constexpr std::array<InputPin, 4> kInputPins{{
    {uart::MSR_CTS, "8 CTS"},
    {uart::MSR_DSR, "6 DSR"},
    {uart::MSR_DCD, "1 DCD"},
    {uart::MSR_RI, "9 RI"},
}};

// "7 RTS─8 CTS─9 RI": an output pin and the inputs it reaches.
std::string wire(std::string_view from, uint8_t reaches) {
    std::string drawn(from);
    for (const InputPin& input : kInputPins) {
        if (reaches & input.msr)
            drawn += "─" + std::string(input.pin);
    }
    return drawn;
}

// One line a plug profile: its name, whether it is the default, and its wires.
std::string plugLines() {
    std::string lines;
    for (const PlugProfile& profile : kPlugProfiles) {
        lines += "  " + padded(std::string(profile.name), 17) +
                 (&profile == &kDefaultPlug ? "既定  " : "      ") + "3 TXD─2 RXD  " +
                 padded(wire("7 RTS", profile.rtsReaches), 19) + wire("4 DTR", profile.dtrReaches) +
                 "\n";
    }
    return lines;
}

}  // namespace

std::string helpText(const std::string& program) {
    std::string text = "使い方:\n";
    for (const std::string_view synopsis : commandSynopses())
        text += "  " + program + " " + std::string(synopsis) + "\n";
    text += "  " + program + " --help | -h | help | --version | -V\n";
    const std::string longestWait = std::to_string(kLongestWaitMs);
    return text +
           "\n"
           "16550 UART のレジスタを 1 バイトずつ読み書きします。regwise-io は実際のポートを、\n"
           "regwise-io-sim は模擬の 16550A UART 4 個を使います。\n"
           "\n"
           "コマンド:\n"
           "  read    各ポートを順に 1 回ずつ読み、「R 3FD = 60」の形で表示します。\n"
           "  write   ポートに 1 バイト書き込みます。\n"
           "  run     スクリプトを実行します（ファイルに - を指定すると標準入力）。\n"
           "  watch   ポートを一定間隔（既定 100 ミリ秒）で読み、最初と値が変わったときに\n"
           "          開始からの秒数とともに 1 行表示します。--count の回数だけ読むか Ctrl-C で\n"
           "          終わります。--json で 1 行に 1 つの JSON オブジェクトを表示します。\n"
           "  list    カーネルが登録したシリアルポートを、tty、ポート（またはメモリーマップの\n"
           "          アドレス）、IRQ、種別、コンソールかどうか、regwise-io で使えるかとともに\n"
           "          表示します。--json で JSON の配列にします。ポートには触れません。\n"
           "  identify  各ベース（省略時は COM1〜COM4 と、regwise-io "
           "ではカーネルが登録したほかの\n" +
           wrappedList("          シリアルポート）の UART の種類（", chipNames(), "）を調べ、",
                       "          ") +
           "          内部ループバックで入力クロック、FIFO の深さ、受信トリガーレベルを\n"
           "          測って表示します。\n" +
           "          --explain で根拠の読み出しを、--json で JSON の配列を表示します。\n"
           "  selftest  ポートが動くことをレジスタからピンまで確かめます。既定は内部ループバック\n"
           "          （MCR ビット 4）。--plug はループバックプラグを、--peer "
           "はヌルモデムケーブルで\n"
           "          つないだもう 1 つのポートを通します。--tap で TAP version 13 を出力します。\n"
           "  --trace   identify と selftest のすべてのアクセスをスクリプトの行として標準エラーに\n"
           "          表示します。\n"
           "  --force   カーネルのコンソールの UART にも触れます（出力が乱れます）。\n"
           "  identify と selftest は変えるレジスタを先に保存し、終わりに（失敗や Ctrl-C でも）\n"
           "  元に戻します。\n"
           "  capture   UART の MSR（--lsr で LSR も）を --for のミリ秒（1〜3600000）のあいだ\n"
           "          続けて読み、CTS、DSR、RI、DCD（と DR、OE、PE、FE、BI、THRE、TEMT）の変化を\n"
           "          「時刻（µs） 線 値」の行で表示します（--json で "
           "JSON）。読み出しの合間の短い\n"
           "          変化は MSR の変化ビットから 1 標本幅のパルスとして latched "
           "の印付きで示します。\n"
           "          --vcd で VCD ファイル（GTKWave、PulseView で開けます）、--png "
           "で時間軸つきの\n"
           "          図を書きます。--script のスクリプトを同時に実行し、その SLEEP と WITHIN の\n"
           "          待ちの間も読み続けます（記録はスクリプトが終わるまで続き、その行は標準\n"
           "          エラーに出ます）。スクリプトが変えたレジスタは終わりに（Ctrl-C でも）\n"
           "          元に戻します。変化は 1000000 個までです。\n"
           "\n"
           "ループバックプラグの結線（--plug、DB9: 1 DCD 2 RXD 3 TXD 4 DTR 5 GND 6 DSR\n"
           "7 RTS 8 CTS 9 RI）:\n" +
           plugLines() +
           "\n"
           "  --explain  値の意味を「  # 」の後に同じ行で表示します。書き込み、MASK、SLEEP も\n"
           "             表示するので、その出力はそのままスクリプトとして実行できます。\n"
           "\n"
           "ポートと値は 16 進数です（0x は省略可、大文字小文字は問いません）。ポートは\n"
           "COM ポートの範囲 " +
           uart::comWindowList() +
           " のどれかに限ります。\n"
           "regwise-io は、カーネルが I/O ポートで登録したほかの UART（PCI のシリアルカード\n"
           "など）の 8 ポートも使えます（list で確かめられます）。regwise-io-sim の模擬 UART は\n"
           "COM ポートの範囲にだけあります。\n"
           "\n"
           "注意: 読み出しには副作用があります。RBR（受信バッファ）を読むと受信データが\n"
           "取り出され、LSR を読むとエラービットが、MSR を読むと変化ビットが 0 に戻り、\n"
           "IIR を読むと送信保持レジスタ空の割込が解除されます。watch、capture と WITHIN は\n"
           "これを繰り返します。\n"
           "\n"
           "スクリプト（1 行に 1 文、# から行末までは注釈、空行は無視）:\n"
           "  W ポート 値                      1 バイト書き込む\n"
           "  R ポート                         1 バイト読む\n"
           "  R ポート = 値                    読んで、その値であることを確かめる\n"
           "  R ポート = 値 WITHIN ミリ秒      その値になるまで読み続ける（最長 "
           "ミリ秒。どの読み出しも\n"
           "                                   期限までに終える。LSR で途中に見えたエラービットも\n"
           "                                   不一致に数える）\n"
           "  MASK ポート ビット               以後そのポートの確認はこのビットだけを比べる\n"
           "                                   （FF で元に戻る）\n"
           "  SLEEP ミリ秒                     ポートに触れずに待つ\n"
           "ミリ秒は 1〜" +
           longestWait +
           " の 10 進数です。スクリプトは実行の前に全行を確かめます。誤りのある\n"
           "行が 1 つでもあれば、ポートには一切触れず、誤りを「ファイル:行: 理由」の形で\n"
           "表示します。\n"
           "\n"
           "実際の UART では、書き込んだバイトが送られ、相手に届くまでに 1 文字分の時間\n"
           "（9600 bps で約 1 ミリ秒）がかかります。regwise-io-sim の模擬 UART も同じだけ\n"
           "時間をかけるので、送信の完了や受信を待つところは R ポート = 値 WITHIN ミリ秒 で\n"
           "書いてください。そうすれば同じスクリプトを regwise-io でそのまま実機に使えます。\n"
           "模擬 UART の状態は 1 回の実行の間だけ保たれ、次の実行では初期状態に戻ります。\n"
           "\n"
           "終了ステータス:\n"
           "  0    すべてのアクセスが成功し、すべての確認が一致した\n"
           "  1    確認が一致しなかった、selftest の確認が不合格だった、ポート I/O\n"
           "       ライブラリが失敗した、または標準出力に書き込めなかった\n"
           "  2    使い方またはスクリプトの誤り、またはカーネルのコンソール\n"
           "       （ポートには触れていない）\n"
           "  3    identify、selftest か capture が変えたレジスタを元に戻せなかった可能性がある\n"
           "  141    標準出力の読み手が読むのをやめた（パイプが閉じられた）ので、静かに\n"
           "         終えた（セッションは閉じ、変えたレジスタは元に戻してある）\n"
           "  128+N  シグナル N（Ctrl-C なら 2、つまり 130）で run、identify、selftest、capture "
           "を\n"
           "         途中で終えた\n"
           "         （セッションは閉じてある。watch は Ctrl-C で 0 を返す）\n";
}

}  // namespace cli
