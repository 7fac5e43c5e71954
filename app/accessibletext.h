// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include "regval/valueform.h"

// What a screen reader and a tooltip say about the window's controls. Plain text rules with
// no widgets, so that they are tested on their own.

// Which half of a register row a control belongs to.
enum class RowSide { Input, Output };

// "回線制御 INPUT HEX": register, side and form tell the 42 boxes apart even when heard
// without their frame. The port is left out so that a name never changes under the user.
QString boxAccessibleName(int row, RowSide side, ValueForm form);

// "回線制御 INPUT".
QString buttonAccessibleName(int row, RowSide side);

// What a row's button does, naming the register with its port as its frame does
// (frameCaption, e.g. "回線制御(3FB)").
QString buttonAccessibleDescription(const QString& frameCaption, RowSide side);

// What a box's text means in its register: an input box shows what was read, an output box
// what writing the value would do. Empty for an empty box.
QString boxDecoding(int row, RowSide side, ValueForm form, const QString& text);

// A box's accessible description: its decoding, or for an empty box what the box is for.
QString boxAccessibleDescription(int row, RowSide side, ValueForm form, const QString& text);

// A decoding as a tooltip: rich text that keeps its line breaks and indentation and shows any
// character of it literally. Empty for an empty decoding, so that the box shows no tooltip.
QString plainTextToolTip(const QString& text);

// The description of one of the controls outside the register rows, by object name (the
// base options, the session buttons, the check box); empty for the others.
QString controlAccessibleDescription(const QString& objectName);
