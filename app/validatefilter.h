// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QObject>
#include <functional>

class QWidget;

// Raises a text box's validate step: when the focus is about to leave the box for another
// control of the same window, the step runs to its end before that control gets the focus,
// and so before a click on it (the focus moves on mouse press, the click comes on release).
// Focus lost to a message box, a menu or another window is not leaving the box.
class ValidateFilter final : public QObject {
public:
    // Installs itself on box and lives as long as the box.
    ValidateFilter(QWidget* box, std::function<void()> validate);

    // Whether focus leaving box for newFocus (the application's focus widget by then), for
    // this reason, leaves the box for another control of its window.
    static bool leavesBox(Qt::FocusReason reason, const QWidget* box, const QWidget* newFocus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_box;
    std::function<void()> m_validate;
};
