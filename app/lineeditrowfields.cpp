#include "lineeditrowfields.h"

#include <QLineEdit>

namespace {
size_t slot(ValueForm form) {
    return static_cast<size_t>(form);
}
}  // namespace

LineEditRowFields::LineEditRowFields(std::array<QLineEdit*, 3> inputs,
                                     std::array<QLineEdit*, 3> outputs)
    : m_inputs(inputs), m_outputs(outputs) {}

QString LineEditRowFields::output(ValueForm form) const {
    return m_outputs[slot(form)]->text();
}

void LineEditRowFields::setOutput(ValueForm form, const QString& text) {
    setBoxText(m_outputs[slot(form)], text);
}

void LineEditRowFields::setInput(ValueForm form, const QString& text) {
    setBoxText(m_inputs[slot(form)], text);
}

void LineEditRowFields::repaintWindow() {
    m_outputs[0]->window()->repaint();
}

void LineEditRowFields::setBoxText(QLineEdit* box, const QString& text) {
    box->setText(text);
}
