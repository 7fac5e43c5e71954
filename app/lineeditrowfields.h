// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>

#include "handlers/rowfields.h"

class QLineEdit;

// A register row's six boxes on the window. Each box carries a tooltip and an accessible
// description that say what its text means in the register; both follow the text however it
// changes (a read, a synchronisation, the write's reset, the user's typing).
class LineEditRowFields final : public RowFields {
public:
    LineEditRowFields(int row, std::array<QLineEdit*, 3> inputs, std::array<QLineEdit*, 3> outputs);

    QString output(ValueForm form) const override;
    void setOutput(ValueForm form, const QString& text) override;
    void setInput(ValueForm form, const QString& text) override;
    void repaintWindow() override;

private:
    std::array<QLineEdit*, 3> m_inputs;   // Hex, Dec, Bin
    std::array<QLineEdit*, 3> m_outputs;  // Hex, Dec, Bin
};
