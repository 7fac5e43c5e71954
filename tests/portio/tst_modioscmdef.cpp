// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#include "portio/modioscmdef.h"

using namespace Qt::StringLiterals;

namespace {

const std::string kLibDir = LOADER_LIB_DIR;
const std::string kWhole = WHOLE_LIB;
const std::string kPartial = PARTIAL_LIB;

// Whether the dynamic loader holds the library at path, without loading it.
bool isMapped(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        ::dlclose(handle);
    return handle != nullptr;
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Restores the working directory a test changed.
struct CwdGuard {
    std::filesystem::path saved = std::filesystem::current_path();
    ~CwdGuard() { std::filesystem::current_path(saved); }
};

}  // namespace

class TestModIOSCMdef : public QObject {
    Q_OBJECT

private slots:
    void loadsAtFirstCallOnly();
    void callsReachTheLibrary_data();
    void callsReachTheLibrary();
    void missingLibraryIsRetried();
    void missingFunction();
    void looksOnlyWhereAllowed_data();
    void looksOnlyWhereAllowed();
    void defaultFoldersAreBesideTheProgram();
};

void TestModIOSCMdef::loadsAtFirstCallOnly() {
    const std::string path = kLibDir + "/" + kWhole;
    QVERIFY(!isMapped(path));
    {
        ModIOSCMdef library(kWhole, {kLibDir});
        QVERIFY(!library.loaded());
        QVERIFY(!isMapped(path));

        const PortCall call = library.stop();
        QVERIFY(call.made);
        QVERIFY(library.loaded());
        QVERIFY(isMapped(path));
    }
    // Loaded once, the library stays until the process ends.
    QVERIFY(isMapped(path));
}

void TestModIOSCMdef::callsReachTheLibrary_data() {
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("error");

    QTest::newRow("IOSCM_Start") << "start" << 0 << 0 << 0x10002 << "";
    QTest::newRow("IOSCM_Stop negative") << "stop" << 0 << 0 << -2 << "";
    QTest::newRow("InpB 0x3FD") << "inpB" << 0x3FD << 0 << 0xFD << "";
    QTest::newRow("InpB -1 with reason") << "inpB" << -1 << 0 << 0 << "port out of range";
    QTest::newRow("InpB 0x3FF empty reason")
        << "inpB" << 0x3FF << 0 << 0 << "InpB が理由を示さずに失敗しました";
    QTest::newRow("OutB 0x3F8 255") << "outB" << 0x3F8 << 255 << 0 << "";
    QTest::newRow("OutB 0x3F8 256") << "outB" << 0x3F8 << 256 << -1 << "data out of range";
    // A sequence of one read: the steps run, and the library's reason when it stopped early.
    QTest::newRow("IOSCM_Sequence R 0x3FD") << "sequence" << 0x3FD << 0 << 1 << "";
    QTest::newRow("IOSCM_Sequence R -1") << "sequence" << -1 << 0 << 0 << "port out of range";
}

void TestModIOSCMdef::callsReachTheLibrary() {
    QFETCH(QString, function);
    QFETCH(int, port);
    QFETCH(int, data);
    QFETCH(int, value);
    QFETCH(QString, error);

    ModIOSCMdef library(kWhole, {kLibDir});
    const auto p = static_cast<int16_t>(port);
    PortCall call;
    // Twice: the second call goes through the kept function and must clear the reason.
    for (int i = 0; i < 2; ++i) {
        if (function == u"start")
            call = library.start();
        else if (function == u"stop")
            call = library.stop();
        else if (function == u"inpB")
            call = library.inpB(p);
        else if (function == u"outB")
            call = library.outB(p, static_cast<int16_t>(data));
        else {
            const IOSCM_Step read{IOSCM_STEP_READ, p, 0, 0, 0, 0};
            IOSCM_StepResult result{};
            call = library.sequence({&read, 1}, {&result, 1});
            QVERIFY(library.runsSequences());
            QCOMPARE(int(result.value), call.value == 1 ? port & 0xFF : 0);
        }
        QVERIFY(call.made);
        QCOMPARE(call.value, value);
        QCOMPARE(q(call.error), error);
    }
    QCOMPARE(library.inpB(0x2E8).error, std::string());
}

void TestModIOSCMdef::missingLibraryIsRetried() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ModIOSCMdef library(kWhole, {dir.path().toStdString()});

    PortCall call = library.start();
    QVERIFY(!call.made);
    QVERIFY(!library.loaded());
    QVERIFY2(q(call.error).startsWith(u"IOSCM_Start: "), call.error.c_str());
    QVERIFY2(q(call.error).contains(dir.path() + u'/' + q(kWhole)), call.error.c_str());

    QVERIFY(QFile::copy(q(kLibDir + "/" + kWhole), dir.filePath(q(kWhole))));
    call = library.start();
    QVERIFY2(call.made, call.error.c_str());
    QCOMPARE(call.value, 0x10002);
}

void TestModIOSCMdef::missingFunction() {
    ModIOSCMdef library(kPartial, {kLibDir});
    // OutB is asked for first, and twice: its failed lookup must not spoil the others.
    for (int i = 0; i < 2; ++i) {
        const PortCall call = library.outB(0x3F8, 0x55);
        QVERIFY(!call.made);
        QVERIFY2(q(call.error).startsWith(u"OutB: "), call.error.c_str());
        QVERIFY2(q(call.error).contains(q(kPartial)), call.error.c_str());
    }
    PortCall call = library.start();
    QVERIFY(call.made);
    QCOMPARE(call.value, 0x10002);
    // Without IOSCM_LastError the library gives no reasons: a refused read looks clean.
    call = library.inpB(-1);
    QVERIFY(call.made);
    QCOMPARE(q(call.error), QString());
    // Without IOSCM_Sequence a sequence runs step by step through the library's InpB.
    QVERIFY(!library.runsSequences());
    const IOSCM_Step read{IOSCM_STEP_READ, 0x3FD, 0, 0, 0, 0};
    IOSCM_StepResult result{};
    call = library.sequence({&read, 1}, {&result, 1});
    QCOMPARE(call.value, 1);
    QCOMPARE(int(result.value), 0xFD);
}

void TestModIOSCMdef::looksOnlyWhereAllowed_data() {
    // Each row puts the library where a careless loader would find it.
    QTest::addColumn<QString>("cwd");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<bool>("besideProgram");
    QTest::addColumn<QString>("reason");

    const QString libDir = q(kLibDir);
    const QString parent = QFileInfo(libDir).path();
    const QString leaf = QFileInfo(libDir).fileName();
    const QString noFolder = QStringLiteral("探すフォルダが絶対パスで指定されていません");
    const QString notPlain = QStringLiteral("ファイル名が空か、/ を含んでいます");
    QTest::newRow("current folder")
        << libDir << q(kWhole) << QStringList() << true << QStringLiteral("を読み込めません: ");
    QTest::newRow("relative folder")
        << parent << q(kWhole) << QStringList{leaf} << false << noFolder;
    QTest::newRow("empty folder") << libDir << q(kWhole) << QStringList{QString()} << false
                                  << noFolder;
    QTest::newRow("no folders") << libDir << q(kWhole) << QStringList() << false << noFolder;
    QTest::newRow("name with folder")
        << parent << leaf + u'/' + q(kWhole) << QStringList{parent} << false << notPlain;
    QTest::newRow("empty name") << libDir << QString() << QStringList{libDir} << false << notPlain;
    // The name reaches the text twice: in the loader's words and in the system's.
    QTest::newRow("name with an escape sequence")
        << libDir << u"lib\x1b[2J.so"_s << QStringList{libDir} << false
        << u"ライブラリ lib\\x1B[2J.so を読み込めません: "_s + libDir + u"/lib\\x1B[2J.so"_s;
}

void TestModIOSCMdef::looksOnlyWhereAllowed() {
    QFETCH(QString, cwd);
    QFETCH(QString, fileName);
    QFETCH(QStringList, folders);
    QFETCH(bool, besideProgram);
    QFETCH(QString, reason);

    CwdGuard guard;
    std::filesystem::current_path(cwd.toStdString());
    std::vector<std::string> folderList;
    for (const QString& f : folders)
        folderList.push_back(f.toStdString());

    ModIOSCMdef library = besideProgram ? ModIOSCMdef(fileName.toStdString())
                                        : ModIOSCMdef(fileName.toStdString(), folderList);
    const PortCall call = library.inpB(0x3F8);
    QVERIFY(!call.made);
    QVERIFY(!library.loaded());
    QVERIFY2(q(call.error).startsWith(u"InpB: "), call.error.c_str());
    QVERIFY2(q(call.error).contains(reason), call.error.c_str());
    QVERIFY2(!q(call.error).contains(u'\x1b'), call.error.c_str());
}

void TestModIOSCMdef::defaultFoldersAreBesideTheProgram() {
    const std::filesystem::path bin = std::filesystem::canonical(TEST_BIN_DIR);
    ModIOSCMdef library("libregwise-not-there.so");
    const PortCall call = library.start();
    QVERIFY(!call.made);
    const QString error = q(call.error);
    const QString first = q(bin / "libregwise-not-there.so");
    const QString second =
        q(bin.parent_path() / REGWISE_LIBRARY_FOLDER / "libregwise-not-there.so");
    QVERIFY2(error.contains(first), call.error.c_str());
    QVERIFY2(error.indexOf(second) > error.indexOf(first), call.error.c_str());
}

QTEST_APPLESS_MAIN(TestModIOSCMdef)
#include "tst_modioscmdef.moc"
