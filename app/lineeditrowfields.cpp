// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/lineeditrowfields.h"

#include <QLineEdit>

#include "app/accessibletext.h"
#include "regval/valueform.h"

namespace {

size_t slot(ValueForm form) {
    return static_cast<size_t>(form);
}

void describe(QLineEdit* box, int row, RowSide side, ValueForm form, const QString& text) {
    box->setToolTip(plainTextToolTip(boxDecoding(row, side, form, text)));
    box->setAccessibleDescription(boxAccessibleDescription(row, side, form, text));
}

// textChanged comes for the program's setText and the user's typing alike, and only when the
// text really changed, so the description never lags the text nor is rebuilt for nothing.
void follow(QLineEdit* box, int row, RowSide side, ValueForm form) {
    box->setAccessibleName(boxAccessibleName(row, side, form));
    describe(box, row, side, form, box->text());
    QObject::connect(
        box, &QLineEdit::textChanged, box,
        [box, row, side, form](const QString& text) { describe(box, row, side, form, text); });
}

}  // namespace

LineEditRowFields::LineEditRowFields(int row, std::array<QLineEdit*, 3> inputs,
                                     std::array<QLineEdit*, 3> outputs)
    : m_inputs(inputs), m_outputs(outputs) {
    for (ValueForm form : kValueForms) {
        follow(m_inputs[slot(form)], row, RowSide::Input, form);
        follow(m_outputs[slot(form)], row, RowSide::Output, form);
    }
}

QString LineEditRowFields::output(ValueForm form) const {
    return m_outputs[slot(form)]->text();
}

void LineEditRowFields::setOutput(ValueForm form, const QString& text) {
    m_outputs[slot(form)]->setText(text);
}

void LineEditRowFields::setInput(ValueForm form, const QString& text) {
    m_inputs[slot(form)]->setText(text);
}

void LineEditRowFields::repaintWindow() {
    m_outputs[0]->window()->repaint();
}
