#pragma once

#include <array>

#include "rowfields.h"

class QLineEdit;

// A register row's six boxes on the window. Every text the program puts into a box goes
// through setBoxText, the place to hang anything that should follow a box's text.
class LineEditRowFields final : public RowFields {
public:
    LineEditRowFields(std::array<QLineEdit*, 3> inputs, std::array<QLineEdit*, 3> outputs);

    QString output(ValueForm form) const override;
    void setOutput(ValueForm form, const QString& text) override;
    void setInput(ValueForm form, const QString& text) override;
    void repaintWindow() override;

private:
    static void setBoxText(QLineEdit* box, const QString& text);

    std::array<QLineEdit*, 3> m_inputs;   // Hex, Dec, Bin
    std::array<QLineEdit*, 3> m_outputs;  // Hex, Dec, Bin
};
