// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <memory>

#include "app/accessibletext.h"
#include "app/controltable.h"
#include "app/frmregwise.h"
#include "tests/fakes/fakeportlibrary.h"
#include "tests/fakes/recordingdialogs.h"

// A register row's boxes by their object names: one box, a row's three, or all 21 of a side.
inline QString boxName(RowSide side, int row, ValueForm form) {
    return side == RowSide::Input ? inputBoxName(row, form) : outputBoxName(row, form);
}

inline QStringList rowBoxes(RowSide side, int row) {
    QStringList names;
    for (ValueForm form : kValueForms)
        names << boxName(side, row, form);
    return names;
}

inline QStringList allBoxes(RowSide side) {
    QStringList names;
    for (int row = 0; row < kRegisterCount; ++row)
        names << rowBoxes(side, row);
    return names;
}

// The window on a fake library, as the program builds it, with the steps a user takes.
template <class DialogsT>
struct BasicWindowRig {
    ModCommon state;
    FakePortLibrary library;
    DialogsT dialogs;
    std::unique_ptr<frmRegwise> window = std::make_unique<frmRegwise>(state, library, dialogs);

    template <class T = QWidget>
    T* get(const QString& name) const {
        T* widget = window->findChild<T*>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }

    // Focus tests need the window active; offscreen has no window manager to make it so.
    bool showActive() {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    QString focusName() const {
        QWidget* focus = QApplication::focusWidget();
        return focus ? focus->objectName() : QString();
    }

    void click(const QString& name) { QTest::mouseClick(get(name), Qt::LeftButton); }

    void typeInto(const QString& box, const QString& text) {
        click(box);
        QTest::keyClicks(get(box), text);
    }

    // A key to whatever has the focus.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }
};

using WindowRig = BasicWindowRig<RecordingDialogs>;
