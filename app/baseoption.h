// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QRadioButton>

// An option of an exclusive group in which only the checked option is a Tab stop: Tab
// enters the group at the selection and the arrow keys move it. (Qt on its own keeps the
// last-focused option as the stop, which need not be the checked one.)
class BaseOption final : public QRadioButton {
public:
    explicit BaseOption(QWidget* parent);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void keepCheckedAsTabStop();
};
