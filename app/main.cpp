// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QApplication>

#include "app/frmregwise.h"
#include "app/messageboxdialogs.h"
#include "app/startup.h"
#include "handlers/modcommon.h"
#include "portio/modioscmdef.h"

int main(int argc, char* argv[]) {
    // Qt takes its own platform options from the command line; the program reads nothing.
    QApplication app(argc, argv);
    installFontSubstitutes();
    QApplication::setFont(windowFont());
    installQtTranslation(app);

    ModCommon state;
    ModIOSCMdef library(REGWISE_PORTIO_LIBRARY);  // opened at the first call, not here
    MessageBoxDialogs dialogs;
    frmRegwise window(state, library, dialogs);
    dialogs.setParentWidget(&window);
    window.show();
    return app.exec();
}
