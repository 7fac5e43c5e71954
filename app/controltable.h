// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <vector>

#include "regval/valueform.h"

// The window's geometry is designed in twips; at 96 dpi fifteen make one pixel.
inline constexpr int kTwipsPerPixel = 15;

enum class ControlKind { Frame, Label, TextBox, CommandButton, OptionButton, CheckBox };

// What sets a control's font, colours and alignment apart from others of its kind.
enum class ControlLook { Plain, Heading, Version, ColumnLabel, InputBox, OutputBox, BaseOption };

struct ControlSpec {
    QString name;
    ControlKind kind;
    QString container;  // empty: the window itself
    QString caption;
    int left;  // twips, relative to the container's top-left corner
    int top;
    int width;
    int height;
    int tabIndex;  // position in the tab order, 0...94; only focusable controls use it
    ControlLook look;
};

// Every control of the window, containers before their children, in creation (z-) order.
std::vector<ControlSpec> windowControls();

// Names of a register row's controls, e.g. txtOutput3Hex.
QString frameName(int row);
QString inputButtonName(int row);
QString outputButtonName(int row);
QString inputBoxName(int row, ValueForm form);
QString outputBoxName(int row, ValueForm form);
