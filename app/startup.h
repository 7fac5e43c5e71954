// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QFont>
#include <QString>

class QCoreApplication;

// The title of the window and of the plain message boxes.
QString applicationTitle();

// The Japanese face the window asks for, at the given point size. It is found through the
// substitutes that installFontSubstitutes() registers.
QFont japaneseFont(qreal pointSize);

// The window's own font, for frames, buttons, the check box and the version label, and the
// application's, so that message boxes read the same: the Japanese face at 9 pt (12 px), the
// size dialog text usually has on a Japanese desktop.
QFont windowFont();

// Registers the faces that stand in for the Japanese face on this platform. Once, at start.
void installFontSubstitutes();

// Loads Qt's own Japanese translation (the standard buttons' texts) when it is installed.
// Returns whether it was found.
bool installQtTranslation(QCoreApplication& app);
