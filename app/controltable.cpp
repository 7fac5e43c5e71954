// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/controltable.h"

#include <array>

#include "app/formnames.h"
#include "handlers/formload.h"
#include "handlers/registermap.h"

namespace {

struct FrameRow {
    int top;
    int tabIndex;
    std::array<const char*, 3> labels;  // the "HEX", "DEC" and "BIN" column labels
    int order;                          // which of kRowTabOrders the row follows
};

// fr0...fr6, one under the other, each overlapping the next by one pixel.
constexpr std::array<FrameRow, kRegisterCount> kFrames{{
    {840, 8, {"Label2", "Label3", "Label4"}, 0},
    {2040, 32, {"Label12", "Label11", "Label10"}, 2},
    {3240, 20, {"Label15", "Label14", "Label13"}, 0},
    {4440, 59, {"Label7", "Label8", "Label17"}, 0},
    {5640, 45, {"Label19", "Label20", "Label21"}, 0},
    {6840, 71, {"Label5", "Label6", "Label9"}, 1},
    {8040, 83, {"Label18", "Label22", "Label23"}, 1},
}};
constexpr int kFrameLeft = 2880;
constexpr int kFrameWidth = 6375;
constexpr int kFrameHeight = 1215;

// The eleven controls of a register row, in creation order.
enum RowPart {
    HexLabel,
    DecLabel,
    BinLabel,
    CmdInput,
    InHex,
    InDec,
    InBin,
    CmdOutput,
    OutHex,
    OutDec,
    OutBin,
    kRowParts
};

struct RowPartSpec {
    ControlKind kind;
    const char* caption;  // none for a column label: it is the name of its form
    int left;
    int top;
    int width;
    int height;
    ControlLook look;
};

constexpr int kHexLeft = 2280, kHexWidth = 855;
constexpr int kDecLeft = 3360, kDecWidth = 735;
constexpr int kBinLeft = 4320, kBinWidth = 1695;

constexpr std::array<RowPartSpec, kRowParts> kRowPartSpecs{{
    {ControlKind::Label, nullptr, kHexLeft, 120, kHexWidth, 255, ControlLook::ColumnLabel},
    {ControlKind::Label, nullptr, kDecLeft, 120, kDecWidth, 255, ControlLook::ColumnLabel},
    {ControlKind::Label, nullptr, kBinLeft, 120, kBinWidth, 255, ControlLook::ColumnLabel},
    {ControlKind::CommandButton, "INPUT", 240, 360, 1815, 375, ControlLook::Plain},
    {ControlKind::TextBox, "", kHexLeft, 360, kHexWidth, 345, ControlLook::InputBox},
    {ControlKind::TextBox, "", kDecLeft, 360, kDecWidth, 345, ControlLook::InputBox},
    {ControlKind::TextBox, "", kBinLeft, 360, kBinWidth, 345, ControlLook::InputBox},
    {ControlKind::CommandButton, "OUTPUT", 240, 720, 1815, 375, ControlLook::Plain},
    {ControlKind::TextBox, "", kHexLeft, 720, kHexWidth, 345, ControlLook::OutputBox},
    {ControlKind::TextBox, "", kDecLeft, 720, kDecWidth, 345, ControlLook::OutputBox},
    {ControlKind::TextBox, "", kBinLeft, 720, kBinWidth, 345, ControlLook::OutputBox},
}};

// Tab positions of a row's parts, counted from its frame's. Rows follow one of three orders:
// output side first and right to left; left to right; and row 1's input side first.
constexpr std::array<std::array<int, kRowParts>, 3> kRowTabOrders{{
    {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
    {9, 10, 11, 1, 2, 3, 4, 5, 6, 7, 8},
    {7, 6, 5, 4, 3, 2, 1, 9, 10, 11, 12},
}};

QString rowPartCaption(RowPart part) {
    if (part >= HexLabel && part <= BinLabel)
        return formNames(static_cast<ValueForm>(part - HexLabel)).label;
    return QString::fromLatin1(kRowPartSpecs[static_cast<size_t>(part)].caption);
}

QString rowPartName(RowPart part, int row, const FrameRow& frame) {
    switch (part) {
        case HexLabel:
        case DecLabel:
        case BinLabel:
            return QString::fromLatin1(frame.labels[static_cast<size_t>(part - HexLabel)]);
        case CmdInput:
            return inputButtonName(row);
        case InHex:
        case InDec:
        case InBin:
            return inputBoxName(row, static_cast<ValueForm>(part - InHex));
        case CmdOutput:
            return outputButtonName(row);
        case OutHex:
        case OutDec:
        case OutBin:
            return outputBoxName(row, static_cast<ValueForm>(part - OutHex));
        case kRowParts:
            break;
    }
    return {};
}

}  // namespace

QString frameName(int row) {
    return QStringLiteral("fr%1").arg(row);
}
QString inputButtonName(int row) {
    return QStringLiteral("cmdInput%1").arg(row);
}
QString outputButtonName(int row) {
    return QStringLiteral("cmdOutput%1").arg(row);
}

QString inputBoxName(int row, ValueForm form) {
    return QStringLiteral("txtInput%1").arg(row) + formNames(form).suffix;
}

QString outputBoxName(int row, ValueForm form) {
    return QStringLiteral("txtOutput%1").arg(row) + formNames(form).suffix;
}

std::vector<ControlSpec> windowControls() {
    using K = ControlKind;
    using L = ControlLook;
    const QString window;
    const QString frBase = QStringLiteral("frBase");
    const QString frame2 = QStringLiteral("Frame2");

    // lblVersion comes after Label1 so that its one-pixel overlap stays visible.
    std::vector<ControlSpec> controls{
        {QStringLiteral("Label1"), K::Label, window, QStringLiteral("Regwise"), 240, 240, 9015, 375,
         0, L::Heading},
        {QStringLiteral("lblVersion"), K::Label, window, versionLabel(), 7320, 0, 1935, 255, 40,
         L::Version},
        {frBase, K::Frame, window, QStringLiteral("ベースアドレス"), 240, 840, 2295, 2055, 1,
         L::Plain},
        {QStringLiteral("opt3F8"), K::OptionButton, frBase, QStringLiteral("0x3F8"), 240, 360, 1095,
         375, 2, L::BaseOption},
        {QStringLiteral("opt2F8"), K::OptionButton, frBase, QStringLiteral("0x2F8"), 240, 720, 1095,
         375, 3, L::BaseOption},
        {QStringLiteral("opt3E8"), K::OptionButton, frBase, QStringLiteral("0x3E8"), 240, 1080,
         1095, 375, 57, L::BaseOption},
        {QStringLiteral("opt2E8"), K::OptionButton, frBase, QStringLiteral("0x2E8"), 240, 1440,
         1095, 375, 58, L::BaseOption},
        {frame2, K::Frame, window, QStringLiteral("I/O制御"), 240, 3000, 2295, 2775, 5, L::Plain},
        {QStringLiteral("cmdIOStart"), K::CommandButton, frame2, QStringLiteral("Ｉ／Ｏ制御開始"),
         360, 480, 1575, 615, 7, L::Plain},
        {QStringLiteral("cmdIOEnd"), K::CommandButton, frame2, QStringLiteral("Ｉ／Ｏ制御終了"),
         360, 1680, 1575, 615, 6, L::Plain},
        {QStringLiteral("chkConfirm"), K::CheckBox, window, QStringLiteral("OUT時に確認する"), 480,
         6120, 1695, 375, 4, L::Plain},
    };

    for (int row = 0; row < kRegisterCount; ++row) {
        const FrameRow& frame = kFrames[static_cast<size_t>(row)];
        const QString name = frameName(row);
        controls.push_back({name, K::Frame, window, registerName(row), kFrameLeft, frame.top,
                            kFrameWidth, kFrameHeight, frame.tabIndex, L::Plain});
        const auto& order = kRowTabOrders[static_cast<size_t>(frame.order)];
        for (int part = 0; part < kRowParts; ++part) {
            const RowPartSpec& partLayout = kRowPartSpecs[static_cast<size_t>(part)];
            // The designer left row 0's INPUT button two pixels shorter than the others.
            const int height = (row == 0 && part == CmdInput) ? 345 : partLayout.height;
            const auto rowPart = static_cast<RowPart>(part);
            controls.push_back(
                {rowPartName(rowPart, row, frame), partLayout.kind, name, rowPartCaption(rowPart),
                 partLayout.left, partLayout.top, partLayout.width, height,
                 frame.tabIndex + order[static_cast<size_t>(part)], partLayout.look});
        }
    }
    return controls;
}
