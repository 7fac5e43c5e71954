// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include "regval/codec.h"
#include "regval/valueform.h"

class Dialogs;
class PortLibrary;

// One register row's six boxes, as the handlers see them: the three editable output boxes
// (read and written) and the three read-only input boxes (written only).
class RowFields {
public:
    virtual ~RowFields() = default;
    virtual QString output(ValueForm form) const = 0;
    virtual void setOutput(ValueForm form, const QString& text) = 0;
    virtual void setInput(ValueForm form, const QString& text) = 0;
    // Repaints the whole window at once.
    virtual void repaintWindow() = 0;
};

// What a row's INPUT and OUTPUT handlers work with.
struct RowContext {
    int16_t ioStarted;  // the session flag: 0 closed, any other value open
    int16_t port;       // the row's port address: base + register index
    RowFields& fields;
    PortLibrary& library;
    Dialogs& dialogs;
    const BitWeightTable& bitWeight;
};
