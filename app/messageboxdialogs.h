// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QPointer>
#include <QWidget>

#include "handlers/dialogs.h"

// The handlers' messages and confirmations as modal QMessageBoxes.
class MessageBoxDialogs final : public Dialogs {
public:
    explicit MessageBoxDialogs(QWidget* parent = nullptr);

    // The window the boxes are centred on; none while it does not exist yet.
    void setParentWidget(QWidget* parent);

    void message(const QString& text, const QString& detail) override;
    bool confirm(const QString& title, const QString& text) override;

private:
    QPointer<QWidget> m_parent;
};
