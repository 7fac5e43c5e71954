// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/validatefilter.h"

#include <QApplication>
#include <QFocusEvent>
#include <QWidget>

ValidateFilter::ValidateFilter(QWidget* box, std::function<void()> validate)
    : QObject(box), m_box(box), m_validate(std::move(validate)) {
    box->installEventFilter(this);
}

bool ValidateFilter::leavesBox(Qt::FocusReason reason, const QWidget* box,
                               const QWidget* newFocus) {
    switch (reason) {
        case Qt::ActiveWindowFocusReason:  // a message box or another window came up
        case Qt::PopupFocusReason:         // the box's own context menu, say
        case Qt::MenuBarFocusReason:
        case Qt::NoFocusReason:
            return false;
        default:
            break;
    }
    // A box that is cleared of focus (the window is going away) has nowhere to go.
    return newFocus != nullptr && newFocus != box && newFocus->window() == box->window();
}

bool ValidateFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_box && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // By the time the box hears of it, the application already names the new focus.
        if (leavesBox(reason, m_box, QApplication::focusWidget()))
            m_validate();
    }
    return QObject::eventFilter(watched, event);
}
