// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/outputsync.h"

// An unreadable text leaves every box as it is and says nothing: leaving an empty box the
// user never touched is an ordinary act, not a mistake worth a dialog.
void txtOutput_Validate(ValueForm left, RowFields& fields, const BitWeightTable& bitWeight) {
    switch (left) {
        case ValueForm::Hex: {
            const std::optional<int32_t> value = FromHex(fields.output(ValueForm::Hex));
            if (!value)
                return;
            fields.setOutput(ValueForm::Dec, ToDec(*value));
            fields.setOutput(ValueForm::Bin, BinStr(*value, bitWeight));
            fields.setOutput(ValueForm::Hex, ToHex2(*value));
            fields.repaintWindow();
            return;
        }
        case ValueForm::Dec: {
            // The decimal box is the value the write sends; it keeps its text as typed.
            const std::optional<int32_t> value = readDecimal(fields.output(ValueForm::Dec));
            if (!value)
                return;
            fields.setOutput(ValueForm::Hex, ToHex2(*value));
            fields.setOutput(ValueForm::Bin, BinStr(*value, bitWeight));
            fields.repaintWindow();
            return;
        }
        case ValueForm::Bin: {
            const int16_t value = FromBin(fields.output(ValueForm::Bin), bitWeight);
            fields.setOutput(ValueForm::Dec, ToDec(value));
            fields.setOutput(ValueForm::Hex, ToHex2(value));
            return;
        }
    }
}
