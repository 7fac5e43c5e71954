// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include "regval/valueform.h"

// Which side of a register a value belongs to: Read is what the UART reports, Write is what
// writing the value makes it do. At offset 2 they are different registers (IIR and FCR).
enum class RegisterDirection { Read, Write };

// What a value means in the register at offset index (0...7) of a 16550A, in Japanese, one
// line per field with the data sheet's short names; offset 7 is the scratch register SCR.
// Only the low byte is decoded; a value outside 0...255 gets a first line saying that only
// its low byte reaches the port. Offsets 0 and 1 depend on LCR's DLAB bit, which the caller
// cannot know, so both meanings are given, each labelled "DLAB=0:" or "DLAB=1:". An index
// outside 0...7 gives one line saying so.
QString describeRegister(int index, RegisterDirection dir, int value);

// The same for the text of one of a row's boxes, read the way that box's text is read: a Dec
// box by the decimal reading, a Hex box by FromHex (the value its two digits stand for once
// the box is left), a Bin box by FromBin but only for one to eight characters 0/1. The empty
// text gives the empty description; a text that does not convert gives one line saying so.
QString describeBoxText(int index, RegisterDirection dir, ValueForm form, const QString& text);
