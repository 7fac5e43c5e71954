// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The hardware library's exported surface. Only looked up, never called: calling its
// start here would run the real helper on this machine.

#include <QTest>

#include <dlfcn.h>

class TestPortioLibExports : public QObject {
    Q_OBJECT

private slots:
    void symbols_data();
    void symbols();

private:
    void* m_library = nullptr;
};

void TestPortioLibExports::symbols_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("exported");
    for (const char* name : {"IOSCM_Start", "IOSCM_Stop", "InpB", "OutB", "InpW", "InpD", "OutW",
                             "OutD", "IOSCM_Sequence", "IOSCM_LastError"})
        QTest::newRow(name) << QByteArray(name) << true;
    // Internals stay hidden so the program cannot come to depend on them.
    QTest::newRow("HelperClient::start") << QByteArray("_ZN12HelperClient5startB5cxx11Ev") << false;
    QTest::newRow("PortdServer::handle") << QByteArray("_ZN11PortdServer6handleEPKvmRb") << false;
}

void TestPortioLibExports::symbols() {
    QFETCH(QByteArray, name);
    QFETCH(bool, exported);
    if (m_library == nullptr)
        m_library = dlopen(PORTIO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(m_library != nullptr, dlerror());
    QCOMPARE(dlsym(m_library, name.constData()) != nullptr, exported);
}

QTEST_APPLESS_MAIN(TestPortioLibExports)
#include "tst_portiolibexports.moc"
