// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/helptext.h"

namespace cli {

std::string helpText(const std::string& program) {
    static constexpr const char* kSynopses[] = {
        "read [--explain] ポート...", "write [--explain] ポート 値",
        "run [--explain] ファイル",   "watch [--explain] [--interval ミリ秒] [--count 行数] ポート",
        "--help | --version",
    };
    std::string text = "使い方:\n";
    for (const char* synopsis : kSynopses)
        text += "  " + program + " " + synopsis + "\n";
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
           "          1 行表示します。--count の行数を表示するか Ctrl-C で終わります。\n"
           "\n"
           "  --explain  値の意味を「  # 」の後に同じ行で表示します（書き込みも表示）。\n"
           "\n"
           "ポートと値は 16 進数です（0x は省略可、大文字小文字は問いません）。ポートは\n"
           "COM ポートの範囲 2E8-2EF, 2F8-2FF, 3E8-3EF, 3F8-3FF のどれかに限ります。\n"
           "\n"
           "注意: 読み出しには副作用があります。RBR（受信バッファ）を読むと受信データが\n"
           "取り出され、LSR を読むとエラービットが、MSR を読むと変化ビットが 0 に戻り、\n"
           "IIR を読むと送信保持レジスタ空の割込が解除されます。watch はこれを繰り返します。\n"
           "\n"
           "スクリプト（1 行に 1 文、# から行末までは注釈、空行は無視）:\n"
           "  W ポート 値          1 バイト書き込む\n"
           "  R ポート             1 バイト読む\n"
           "  R ポート = 値        読んで、その値であることを確かめる\n"
           "  MASK ポート ビット   以後そのポートの確認はこのビットだけを比べる（FF で元に戻る）\n"
           "スクリプトは実行の前に全行を確かめます。誤りのある行が 1 つでもあれば、\n"
           "ポートには一切触れず、誤りをすべて「ファイル:行: 理由」の形で表示します。\n"
           "\n"
           "regwise-io-sim の模擬 UART の状態は 1 回の実行の間だけ保たれ、次の実行では\n"
           "初期状態に戻ります。一連の手順を模擬 UART で試すには、run でスクリプトに\n"
           "まとめて実行してください。同じスクリプトを regwise-io でそのまま実機に使えます。\n"
           "\n"
           "終了ステータス:\n"
           "  0  すべてのアクセスが成功し、すべての確認が一致した\n"
           "  1  確認が一致しなかった、またはポート I/O ライブラリが失敗した\n"
           "  2  使い方またはスクリプトの誤り（ポートには触れていない）\n";
}

}  // namespace cli
