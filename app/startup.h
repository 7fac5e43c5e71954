#pragma once

#include <QFont>
#include <QString>

class QCoreApplication;

// The title of the window and of the plain message boxes.
QString applicationTitle();

// The Japanese face the window asks for, at the given point size. It is found through the
// substitutes that installFontSubstitutes() registers.
QFont japaneseFont(qreal pointSize);

// Registers the faces that stand in for the Japanese face on this platform. Once, at start.
void installFontSubstitutes();

// Loads Qt's own Japanese translation (the standard buttons' texts) when it is installed.
// Returns whether it was found.
bool installQtTranslation(QCoreApplication& app);
