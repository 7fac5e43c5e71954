#include <QApplication>

#include "frmregwise.h"
#include "messageboxdialogs.h"
#include "modcommon.h"
#include "modioscmdef.h"
#include "startup.h"

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
