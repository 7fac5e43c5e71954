// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QTest>

#include "tests/fakes/fakeportlibrary.h"
#include "tests/fakes/recordingdialogs.h"
#include "tests/handlers/fakerowfields.h"

// One register row as a button handler meets it: its boxes, the port library, the dialogs.
struct RowRig {
    FakeRowFields fields;
    FakePortLibrary library;
    RecordingDialogs dialogs;

    RowContext context(int16_t port, int16_t ioStarted = -1) {
        return {ioStarted, port, fields, library, dialogs, kBitWeight};
    }

    // A press with no session open touches neither the port nor the boxes, and says why.
    void verifyRefused() const {
        QVERIFY(library.calls.empty());
        QVERIFY(fields.events.empty());
        QCOMPARE(dialogs.shown.size(), 1u);
        QVERIFY(!dialogs.shown[0].isConfirm);
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("I/O制御開始処理を行ってください。"));
        QCOMPARE(dialogs.shown[0].detail, QString());
    }
};
