// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTest>

#include "handlers/formload.h"
#include "handlers/modcommon.h"
#include "tests/fakes/recordingdialogs.h"

class TestFormLoad : public QObject {
    Q_OBJECT

private slots:
    void loadGoesOnWhenTheFolderStepFails();
};

// Nothing later in the load depends on the working directory: the failure is reported with
// its reason and the state still gets every starting value.
void TestFormLoad::loadGoesOnWhenTheFolderStepFails() {
    ModCommon state;
    state.IoStarted = -1;
    RecordingDialogs dialogs;
    Form_Load(state, dialogs, [] { return std::string("/gone: No such file or directory"); });

    QCOMPARE(dialogs.texts(),
             QStringList{QStringLiteral("プログラムのフォルダを作業フォルダにできません。")});
    QCOMPARE(dialogs.shown[0].detail, QStringLiteral("/gone: No such file or directory"));
    QCOMPARE(state.IoStarted, int16_t{0});
    QCOMPARE(state.PortAdr, (PortAddresses{0x3F8, 0x3F9, 0x3FA, 0x3FB, 0x3FC, 0x3FD, 0x3FE}));
    QCOMPARE(state.BitWeight, kFilledBitWeight);
}

QTEST_APPLESS_MAIN(TestFormLoad)
#include "tst_formload.moc"
