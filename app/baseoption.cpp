// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/baseoption.h"

#include <algorithm>

BaseOption::BaseOption(QWidget* parent) : QRadioButton(parent) {
    connect(this, &QAbstractButton::toggled, this, &BaseOption::keepCheckedAsTabStop);
}

void BaseOption::focusInEvent(QFocusEvent* event) {
    QRadioButton::focusInEvent(event);
    keepCheckedAsTabStop();
}

void BaseOption::keepCheckedAsTabStop() {
    if (!parentWidget())
        return;
    const auto options = parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
    const bool anyChecked =
        std::any_of(options.begin(), options.end(), [](auto* o) { return o->isChecked(); });
    for (QRadioButton* option : options) {
        const bool stop = !anyChecked || option->isChecked();
        option->setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}
