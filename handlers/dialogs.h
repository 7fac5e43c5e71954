// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

// How the handlers speak to the user. The window shows these as modal message boxes;
// tests record them. Every handler reports through here, never by a crash or silently.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A modal box with an OK button only, no icon, and the application's title "Regwise".
    // A non-empty detail (the library's reason, say) stands under the message.
    virtual void message(const QString& text, const QString& detail) = 0;

    // A modal box with OK and Cancel (OK the default), a warning icon and its own title.
    // True for OK; Cancel, Escape and closing the box all give false.
    virtual bool confirm(const QString& title, const QString& text) = 0;
};
