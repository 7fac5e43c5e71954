// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <memory>

#include "app/startup.h"
#include "tests/app/whenmodal.h"
#include "tests/app/windowrig.h"

namespace {

// The window on fakes, recording its validate steps and button presses in order.
struct Rig : WindowRig {
    QStringList events;

    Rig() {
        QObject::connect(window.get(), &frmRegwise::outputValidated, window.get(),
                         [this](int row, ValueForm form) {
                             events << QStringLiteral("validate %1 %2").arg(row).arg(int(form));
                         });
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            QObject::connect(button, &QAbstractButton::pressed, window.get(),
                             [this, button] { events << "press " + button->objectName(); });
        }
    }
};

const QString kValidate3Hex = QStringLiteral("validate 3 %1").arg(int(ValueForm::Hex));

// The 21 "HEX", "DEC" and "BIN" labels: Label2 ... Label23; the design never had a Label16.
QStringList columnLabels() {
    QStringList names;
    for (int n = 2; n <= 23; ++n)
        if (n != 16)
            names << QStringLiteral("Label%1").arg(n);
    return names;
}

// The rows of an image that hold some of the text's ink (a pixel clearly darker than the
// light backgrounds the labels have).
int inkRows(const QImage& image) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 160) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

// The label's text in its font with room all round: what a label shows when nothing is cut.
int unclippedInkRows(const QLabel& label) {
    const QFontMetrics metrics(label.font());
    QImage image(metrics.horizontalAdvance(label.text()) + 20, 3 * metrics.height(),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(label.font());
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, label.text());
    painter.end();
    return inkRows(image);
}

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutes(); }

    void startUpState();
    void controlsByKind();
    void layout_data();
    void layout();
    void fonts_data();
    void fonts();
    void colours();
    void inputBoxesAreReadOnlyButFocusable();
    void windowIsFixedAndCentred();
    void tabChain();
    void radioGroupEnteredAtCheckedOption();
    void bases_data();
    void bases();
    void validateBeforeNewControlActs_data();
    void validateBeforeNewControlActs();
    void tabAndShiftTabValidate();
    void outputRightAfterTypingWritesTypedValue();
    void focusGoneElsewhereDoesNotValidate_data();
    void focusGoneElsewhereDoesNotValidate();
    void closingMakesNoLibraryCall();
};

// The version label and the frame captions at start-up are rows of the layout table.
void TestWindow::startUpState() {
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QDir::rootPath()));
    ModCommon state;
    state.IoStarted = -1;  // the load step clears it whatever it was
    FakePortLibrary library;
    RecordingDialogs dialogs;
    frmRegwise window(state, library, dialogs);
    const QString current = QDir::current().canonicalPath();
    QDir::setCurrent(before);

    QCOMPARE(current, QDir(QCoreApplication::applicationDirPath()).canonicalPath());
    QCOMPARE(state.IoStarted, int16_t(0));
    QCOMPARE(state.PortAdr, (PortAddresses{1016, 1017, 1018, 1019, 1020, 1021, 1022}));
    QCOMPARE(state.BitWeight, (BitWeightTable{1, 2, 4, 8, 16, 32, 64, 128, 0}));
    QVERIFY(dialogs.shown.empty());
    QVERIFY(library.calls.empty());

    QVERIFY(window.findChild<QRadioButton*>("opt3F8")->isChecked());
    for (const char* name : {"opt2F8", "opt3E8", "opt2E8"})
        QVERIFY2(!window.findChild<QRadioButton*>(name)->isChecked(), name);
    QVERIFY(window.findChild<QCheckBox*>("chkConfirm")->isChecked());
    for (const QString& name : allBoxes(RowSide::Input) + allBoxes(RowSide::Output))
        QVERIFY2(window.findChild<QLineEdit*>(name)->text().isEmpty(), qPrintable(name));
}

void TestWindow::controlsByKind() {
    Rig rig;
    const QWidget& w = *rig.window;
    QCOMPARE(w.findChildren<QGroupBox*>().size(), 9);
    QCOMPARE(w.findChildren<QLabel*>().size(), 23);
    QCOMPARE(w.findChildren<QLineEdit*>().size(), 42);
    QCOMPARE(w.findChildren<QPushButton*>().size(), 16);
    QCOMPARE(w.findChildren<QRadioButton*>().size(), 4);
    QCOMPARE(w.findChildren<QCheckBox*>().size(), 1);

    QStringList names;
    for (QWidget* child : w.findChildren<QWidget*>())
        if (!child->objectName().isEmpty())
            names << child->objectName();
    QCOMPARE(names.size(), 95);
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 95);
    QStringList expected{"Label1", "lblVersion", "frBase",     "opt3F8",   "opt2F8",    "opt3E8",
                         "opt2E8", "Frame2",     "cmdIOStart", "cmdIOEnd", "chkConfirm"};
    expected << columnLabels();
    for (int row = 0; row < 7; ++row)
        expected << QStringLiteral("fr%1").arg(row) << QStringLiteral("cmdInput%1").arg(row)
                 << QStringLiteral("cmdOutput%1").arg(row);
    expected << allBoxes(RowSide::Input) << allBoxes(RowSide::Output);
    for (const QString& name : expected)
        QVERIFY2(names.contains(name), qPrintable(name));
}

void TestWindow::layout_data() {
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");  // left, top, width, height

    auto row = [](const char* name, const char* container, const char* caption, int l, int t, int w,
                  int h) {
        QTest::newRow(name) << QString::fromLatin1(container) << QString::fromUtf8(caption)
                            << QRect(l, t, w, h);
    };
    row("Label1", "frmRegwise", "Regwise", 240, 240, 9015, 375);
    row("lblVersion", "frmRegwise", "Version1.05 Rev.0001", 7320, 0, 1935, 255);
    row("frBase", "frmRegwise", "ベースアドレス", 240, 840, 2295, 2055);
    row("opt3F8", "frBase", "0x3F8", 240, 360, 1095, 375);
    row("opt2F8", "frBase", "0x2F8", 240, 720, 1095, 375);
    row("opt3E8", "frBase", "0x3E8", 240, 1080, 1095, 375);
    row("opt2E8", "frBase", "0x2E8", 240, 1440, 1095, 375);
    row("Frame2", "frmRegwise", "I/O制御", 240, 3000, 2295, 2775);
    row("cmdIOStart", "Frame2", "Ｉ／Ｏ制御開始", 360, 480, 1575, 615);
    row("cmdIOEnd", "Frame2", "Ｉ／Ｏ制御終了", 360, 1680, 1575, 615);
    row("chkConfirm", "frmRegwise", "OUT時に確認する", 480, 6120, 1695, 375);

    row("fr0", "frmRegwise", "デバイザラッチ(3F8)", 2880, 840, 6375, 1215);
    row("fr1", "frmRegwise", "通信割込制御(3F9)", 2880, 2040, 6375, 1215);
    row("fr2", "frmRegwise", "通信割込表示(3FA)", 2880, 3240, 6375, 1215);
    row("fr3", "frmRegwise", "回線制御(3FB)", 2880, 4440, 6375, 1215);
    row("fr4", "frmRegwise", "モデム制御(3FC)", 2880, 5640, 6375, 1215);
    row("fr5", "frmRegwise", "回線ステータス(3FD)", 2880, 6840, 6375, 1215);
    row("fr6", "frmRegwise", "モデムステータス(3FE)", 2880, 8040, 6375, 1215);

    // The column labels: HEX, DEC, BIN of each frame.
    const char* labels[7][4] = {
        {"fr0", "Label2", "Label3", "Label4"},    {"fr1", "Label12", "Label11", "Label10"},
        {"fr2", "Label15", "Label14", "Label13"}, {"fr3", "Label7", "Label8", "Label17"},
        {"fr4", "Label19", "Label20", "Label21"}, {"fr5", "Label5", "Label6", "Label9"},
        {"fr6", "Label18", "Label22", "Label23"}};
    for (const auto& l : labels) {
        row(l[1], l[0], "HEX", 2280, 120, 855, 255);
        row(l[2], l[0], "DEC", 3360, 120, 735, 255);
        row(l[3], l[0], "BIN", 4320, 120, 1695, 255);
    }

    row("cmdInput0", "fr0", "INPUT", 240, 360, 1815, 345);
    row("txtInput0Hex", "fr0", "", 2280, 360, 855, 345);
    row("txtInput0Dec", "fr0", "", 3360, 360, 735, 345);
    row("txtInput0Bin", "fr0", "", 4320, 360, 1695, 345);
    row("cmdOutput0", "fr0", "OUTPUT", 240, 720, 1815, 375);
    row("txtOutput0Hex", "fr0", "", 2280, 720, 855, 345);
    row("txtOutput0Dec", "fr0", "", 3360, 720, 735, 345);
    row("txtOutput0Bin", "fr0", "", 4320, 720, 1695, 345);
    row("cmdInput6", "fr6", "INPUT", 240, 360, 1815, 375);
    row("cmdOutput6", "fr6", "OUTPUT", 240, 720, 1815, 375);
    row("txtOutput6Hex", "fr6", "", 2280, 720, 855, 345);
}

void TestWindow::layout() {
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    Rig rig;
    QWidget* control = rig.get(QString::fromLatin1(QTest::currentDataTag()));

    QCOMPARE(control->parentWidget()->objectName(), container);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(control->geometry(), pixels);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(control))
        text = label->text();
    else if (auto* frame = qobject_cast<QGroupBox*>(control))
        text = frame->title();
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        text = button->text();
    else if (auto* box = qobject_cast<QLineEdit*>(control))
        text = box->text();
    QCOMPARE(text, caption);
}

void TestWindow::fonts_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<qreal>("points");  // 0: the window's own font
    QTest::addColumn<int>("pixels");

    QTest::newRow("text boxes") << allBoxes(RowSide::Input) + allBoxes(RowSide::Output) << 14.25
                                << 19;
    QTest::newRow("column labels") << columnLabels() << 12.0 << 16;
    QTest::newRow("base options") << QStringList{"opt3F8", "opt2F8", "opt3E8", "opt2E8"} << 12.0
                                  << 16;
    QTest::newRow("Label1") << QStringList{"Label1"} << 18.0 << 24;
    QTest::newRow("window font") << QStringList{"frBase",     "Frame2",     "fr0",
                                                "fr6",        "cmdIOStart", "cmdInput3",
                                                "cmdOutput5", "chkConfirm", "lblVersion"}
                                 << 0.0 << 0;
}

void TestWindow::fonts() {
    QFETCH(QStringList, names);
    QFETCH(qreal, points);
    QFETCH(int, pixels);
    Rig rig;
    for (const QString& name : names) {
        const QFont font = rig.get(name)->font();
        if (points == 0) {
            QCOMPARE(font, rig.window->font());
            continue;
        }
        QCOMPARE(font.family(), "ＭＳ Ｐゴシック");
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
        QCOMPARE(QFontInfo(font).pixelSize(), pixels);
        // The label's fixed height keeps all of its text: no descender cut off.
        if (auto* label = qobject_cast<QLabel*>(rig.get(name))) {
            const int shown = inkRows(label->grab().toImage());
            QVERIFY2(shown == unclippedInkRows(*label),
                     qPrintable(QStringLiteral("%1 shows %2 of %3 rows of its text")
                                    .arg(name)
                                    .arg(shown)
                                    .arg(unclippedInkRows(*label))));
        }
    }
    // Whatever the window's own font is, it must carry Japanese captions.
    const QFontInfo windowFont(rig.window->font());
    QVERIFY2(QFontMetrics(rig.window->font()).inFont(QChar(u'確')),
             qPrintable(windowFont.family()));
}

void TestWindow::colours() {
    Rig rig;
    const QColor defaultBase = QApplication::palette().color(QPalette::Base);
    for (const QString& name : allBoxes(RowSide::Input))
        QCOMPARE(rig.get(name)->palette().color(QPalette::Base), QColor(255, 255, 192));
    for (const QString& name : allBoxes(RowSide::Output))
        QCOMPARE(rig.get(name)->palette().color(QPalette::Base), defaultBase);
    for (const QString& name : columnLabels()) {
        QLabel* label = rig.get<QLabel>(name);
        QVERIFY(label->autoFillBackground());
        QCOMPARE(label->palette().color(QPalette::Window), QColor(192, 255, 255));
        QCOMPARE(label->alignment(), Qt::AlignCenter);
    }
    QLabel* heading = rig.get<QLabel>("Label1");
    QVERIFY(heading->autoFillBackground());
    QCOMPARE(heading->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(heading->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(rig.get<QLabel>("lblVersion")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QVERIFY(!rig.get("lblVersion")->autoFillBackground());
}

void TestWindow::inputBoxesAreReadOnlyButFocusable() {
    Rig rig;
    QVERIFY(rig.showActive());
    rig.library.readValue = [](int16_t) { return 0x60; };
    rig.click("cmdIOStart");
    rig.click("cmdInput5");
    QCOMPARE(rig.get<QLineEdit>("txtInput5Hex")->text(), "60");

    for (const QString& name : allBoxes(RowSide::Input)) {
        auto* box = rig.get<QLineEdit>(name);
        QVERIFY2(box->isReadOnly(), qPrintable(name));
        QCOMPARE(box->focusPolicy(), Qt::StrongFocus);
    }
    auto* box = rig.get<QLineEdit>("txtInput5Dec");
    rig.click("txtInput5Dec");
    QCOMPARE(rig.focusName(), "txtInput5Dec");
    QTest::keyClicks(box, "12");
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), "96");

    for (const QString& name : allBoxes(RowSide::Output)) {
        QVERIFY(!rig.get<QLineEdit>(name)->isReadOnly());
        QVERIFY(rig.get<QLineEdit>(name)->maxLength() > 1'000'000);
    }
}

void TestWindow::windowIsFixedAndCentred() {
    Rig rig;
    QWidget& w = *rig.window;
    QCOMPARE(w.size(), QSize(649, 637));
    QCOMPARE(w.minimumSize(), QSize(649, 637));
    QCOMPARE(w.maximumSize(), QSize(649, 637));
    QCOMPARE(w.windowTitle(), "Regwise");
    const Qt::WindowFlags flags = w.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    const QPoint screenCentre = w.screen()->availableGeometry().center();
    QVERIFY((w.geometry().center() - screenCentre).manhattanLength() <= 2);
}

void TestWindow::tabChain() {
    // The focusable controls in tab order: frames, labels and unchecked options take no stop.
    const QStringList chain{
        "opt3F8",        "chkConfirm",    "cmdIOEnd",      "cmdIOStart",    "txtOutput0Bin",
        "txtOutput0Dec", "txtOutput0Hex", "cmdOutput0",    "txtInput0Bin",  "txtInput0Dec",
        "txtInput0Hex",  "cmdInput0",     "txtOutput2Bin", "txtOutput2Dec", "txtOutput2Hex",
        "cmdOutput2",    "txtInput2Bin",  "txtInput2Dec",  "txtInput2Hex",  "cmdInput2",
        "txtInput1Bin",  "txtInput1Dec",  "txtInput1Hex",  "cmdInput1",     "cmdOutput1",
        "txtOutput1Hex", "txtOutput1Dec", "txtOutput1Bin", "txtOutput4Bin", "txtOutput4Dec",
        "txtOutput4Hex", "cmdOutput4",    "txtInput4Bin",  "txtInput4Dec",  "txtInput4Hex",
        "cmdInput4",     "txtOutput3Bin", "txtOutput3Dec", "txtOutput3Hex", "cmdOutput3",
        "txtInput3Bin",  "txtInput3Dec",  "txtInput3Hex",  "cmdInput3",     "cmdInput5",
        "txtInput5Hex",  "txtInput5Dec",  "txtInput5Bin",  "cmdOutput5",    "txtOutput5Hex",
        "txtOutput5Dec", "txtOutput5Bin", "cmdInput6",     "txtInput6Hex",  "txtInput6Dec",
        "txtInput6Bin",  "cmdOutput6",    "txtOutput6Hex", "txtOutput6Dec", "txtOutput6Bin",
    };
    Rig rig;
    QVERIFY(rig.showActive());
    QCOMPARE(rig.focusName(), "opt3F8");

    QStringList forward{rig.focusName()};
    for (int i = 0; i < chain.size(); ++i) {
        rig.key(Qt::Key_Tab);
        forward << rig.focusName();
    }
    QCOMPARE(forward, chain + QStringList{"opt3F8"});

    QStringList backward{rig.focusName()};
    for (int i = 0; i < chain.size(); ++i) {
        rig.key(Qt::Key_Tab, Qt::ShiftModifier);
        backward << rig.focusName();
    }
    QStringList reversed(chain.rbegin(), chain.rend());
    QCOMPARE(backward, QStringList{"opt3F8"} + reversed);
    QVERIFY(rig.dialogs.shown.empty());
    QVERIFY(rig.library.calls.empty());
}

void TestWindow::radioGroupEnteredAtCheckedOption() {
    Rig rig;
    QVERIFY(rig.showActive());
    rig.click("opt2E8");
    QVERIFY(rig.get<QRadioButton>("opt2E8")->isChecked());
    QVERIFY(!rig.get<QRadioButton>("opt3F8")->isChecked());

    // A press on another option that is not released over it focuses it without a check;
    // the stop stays at the checked option.
    QTest::mousePress(rig.get("opt2F8"), Qt::LeftButton);
    QTest::mouseRelease(rig.get("opt2F8"), Qt::LeftButton, {}, QPoint(-50, -50));
    QCOMPARE(rig.focusName(), "opt2F8");
    QVERIFY(rig.get<QRadioButton>("opt2E8")->isChecked());

    rig.get("cmdInput4")->setFocus(Qt::TabFocusReason);
    rig.key(Qt::Key_Tab);
    QCOMPARE(rig.focusName(), "opt2E8");
    rig.key(Qt::Key_Tab);
    QCOMPARE(rig.focusName(), "txtOutput3Bin");
    rig.key(Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(rig.focusName(), "opt2E8");

    // From chkConfirm backwards the group's first two positions are passed over.
    rig.get("chkConfirm")->setFocus(Qt::TabFocusReason);
    rig.key(Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(rig.focusName(), "txtOutput6Bin");

    // Arrow keys move the selection, and the stop with it.
    rig.get("opt2E8")->setFocus(Qt::TabFocusReason);
    rig.key(Qt::Key_Up);
    QCOMPARE(rig.focusName(), "opt3E8");
    QVERIFY(rig.get<QRadioButton>("opt3E8")->isChecked());
    QCOMPARE(rig.state.PortAdr[0], int16_t(0x3E8));
    rig.get("cmdInput4")->setFocus(Qt::TabFocusReason);
    rig.key(Qt::Key_Tab);
    QCOMPARE(rig.focusName(), "opt3E8");
}

void TestWindow::bases_data() {
    QTest::addColumn<int>("base");
    QTest::addColumn<QStringList>("ports");
    QTest::newRow("opt2E8") << 0x2E8
                            << QStringList{"2E8", "2E9", "2EA", "2EB", "2EC", "2ED", "2EE"};
    QTest::newRow("opt2F8") << 0x2F8
                            << QStringList{"2F8", "2F9", "2FA", "2FB", "2FC", "2FD", "2FE"};
    QTest::newRow("opt3E8") << 0x3E8
                            << QStringList{"3E8", "3E9", "3EA", "3EB", "3EC", "3ED", "3EE"};
    QTest::newRow("opt3F8") << 0x3F8
                            << QStringList{"3F8", "3F9", "3FA", "3FB", "3FC", "3FD", "3FE"};
}

void TestWindow::bases() {
    QFETCH(int, base);
    QFETCH(QStringList, ports);
    Rig rig;
    QVERIFY(rig.showActive());
    rig.get<QLineEdit>("txtOutput2Dec")->setText("7");
    // Start from another base so that every row changes something; the second click of the
    // option in use must change nothing.
    rig.click(base == 0x2F8 ? "opt3E8" : "opt2F8");
    const QString option = QString::fromLatin1(QTest::currentDataTag());
    for (int click = 0; click < 2; ++click) {
        rig.click(option);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(rig.state.PortAdr[static_cast<size_t>(i)], int16_t(base + i));
            const QString title = rig.get<QGroupBox>(QStringLiteral("fr%1").arg(i))->title();
            QVERIFY2(title.endsWith(u'(' + ports[i] + u')'), qPrintable(title));
        }
        QCOMPARE(rig.get<QGroupBox>("fr6")->title(), "モデムステータス(" + ports[6] + ")");
        int checked = 0;
        for (QRadioButton* o : rig.window->findChildren<QRadioButton*>())
            checked += o->isChecked() ? 1 : 0;
        QCOMPARE(checked, 1);
        QVERIFY(rig.get<QRadioButton>(option)->isChecked());
    }
    QCOMPARE(rig.get<QLineEdit>("txtOutput2Dec")->text(), "7");
    QVERIFY(rig.dialogs.shown.empty());
    QVERIFY(rig.library.calls.empty());
}

void TestWindow::validateBeforeNewControlActs_data() {
    QTest::addColumn<bool>("validates");
    QTest::addColumn<QString>("pressed");  // the button whose press must follow, if any
    QTest::newRow("txtOutput5Dec") << true << QString();
    QTest::newRow("txtInput3Hex") << true << QString();
    QTest::newRow("cmdInput0") << true << "cmdInput0";
    QTest::newRow("opt2F8") << true << "opt2F8";
    QTest::newRow("chkConfirm") << true << "chkConfirm";
    QTest::newRow("Label5") << false << QString();
    QTest::newRow("fr2") << false << QString();
    QTest::newRow("frmRegwise") << false << QString();
}

void TestWindow::validateBeforeNewControlActs() {
    QFETCH(bool, validates);
    QFETCH(QString, pressed);
    Rig rig;
    QVERIFY(rig.showActive());
    rig.typeInto("txtOutput3Hex", "80");
    rig.events.clear();

    const QString target = QString::fromLatin1(QTest::currentDataTag());
    QWidget* widget = target == "frmRegwise" ? rig.window.get() : rig.get(target);
    // Into the window's background, a frame's inside or the label itself.
    const QPoint where = target == "frmRegwise" ? QPoint(100, 600)
                         : target == "fr2"      ? QPoint(5, 40)
                                                : widget->rect().center();
    QTest::mouseClick(widget, Qt::LeftButton, {}, where);

    if (!validates) {
        QVERIFY(rig.events.isEmpty());
        QCOMPARE(rig.focusName(), "txtOutput3Hex");
        QCOMPARE(rig.get<QLineEdit>("txtOutput3Dec")->text(), QString());
        return;
    }
    QStringList expected{kValidate3Hex};
    if (!pressed.isEmpty())
        expected << "press " + pressed;
    QCOMPARE(rig.events, expected);
    QCOMPARE(rig.focusName(), target);
    // The handler ran to its end: the row is in step, and no other row moved.
    QCOMPARE(rig.get<QLineEdit>("txtOutput3Dec")->text(), "128");
    QCOMPARE(rig.get<QLineEdit>("txtOutput3Bin")->text(), "10000000");
    QCOMPARE(rig.get<QLineEdit>("txtOutput5Dec")->text(), QString());
}

void TestWindow::tabAndShiftTabValidate() {
    Rig rig;
    QVERIFY(rig.showActive());
    rig.typeInto("txtOutput3Hex", "7f");
    rig.events.clear();
    QTest::keyClick(rig.get("txtOutput3Hex"), Qt::Key_Tab);
    QCOMPARE(rig.focusName(), "cmdOutput3");
    QCOMPARE(rig.events, QStringList{kValidate3Hex});
    QCOMPARE(rig.get<QLineEdit>("txtOutput3Hex")->text(), "7F");

    // Space on the focused button clicks it without any validate step.
    rig.events.clear();
    rig.state.IoStarted = -1;
    rig.get<QCheckBox>("chkConfirm")->setChecked(false);
    QTest::keyClick(rig.get("cmdOutput3"), Qt::Key_Space);
    QCOMPARE(rig.events, QStringList{"press cmdOutput3"});
    QCOMPARE(rig.library.calls,
             (std::vector<FakePortLibrary::Call>{{FakePortLibrary::Call::OutB, 0x3FB, 127}}));

    QTest::keyClick(rig.get("cmdOutput3"), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(rig.focusName(), "txtOutput3Hex");
    rig.events.clear();
    QTest::keyClick(rig.get("txtOutput3Hex"), Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(rig.focusName(), "txtOutput3Dec");
    QCOMPARE(rig.events, QStringList{kValidate3Hex});
}

void TestWindow::outputRightAfterTypingWritesTypedValue() {
    Rig rig;
    QVERIFY(rig.showActive());
    rig.click("cmdIOStart");
    QCOMPARE(rig.state.IoStarted, int16_t(-1));
    rig.library.calls.clear();

    rig.typeInto("txtOutput3Hex", "80");
    rig.click("cmdOutput3");
    QCOMPARE(rig.dialogs.texts(),
             QStringList{"コントロールポート：0x3FBにデータ：0x80を書きこみます"});
    QCOMPARE(rig.library.calls,
             (std::vector<FakePortLibrary::Call>{{FakePortLibrary::Call::OutB, 0x3FB, 128}}));

    // The same through the binary box, without confirmation.
    rig.dialogs.shown.clear();
    rig.library.calls.clear();
    rig.click("chkConfirm");
    rig.typeInto("txtOutput6Bin", "101");
    rig.click("cmdOutput6");
    QVERIFY(rig.dialogs.shown.empty());
    QCOMPARE(rig.library.calls,
             (std::vector<FakePortLibrary::Call>{{FakePortLibrary::Call::OutB, 0x3FE, 160}}));
}

// Focus that goes away without moving on to another control of the window is not leaving
// the box: the box is not brought into step behind the user's back.
void TestWindow::focusGoneElsewhereDoesNotValidate_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("a message box") << "message box";
    QTest::newRow("the box's context menu") << "context menu";
    QTest::newRow("another window") << "other window";
    QTest::newRow("nowhere") << "cleared";
}

void TestWindow::focusGoneElsewhereDoesNotValidate() {
    QFETCH(QString, where);
    Rig rig;
    QVERIFY(rig.showActive());
    rig.typeInto("txtOutput3Hex", "80");
    rig.events.clear();
    QWidget* box = rig.get("txtOutput3Hex");

    if (where == "message box") {
        bool focusInBox = false;
        whenModal([&](QMessageBox* shown) {
            // The box is modal before it is active: wait for the focus to arrive in it.
            focusInBox = QTest::qWaitFor(
                [shown] { return shown->isAncestorOf(QApplication::focusWidget()); }, 5000);
            shown->accept();
        });
        QMessageBox message(QMessageBox::NoIcon, "Regwise", "x", QMessageBox::Ok, rig.window.get());
        message.exec();
        QVERIFY(focusInBox);
    } else if (where == "context menu") {
        QContextMenuEvent event(QContextMenuEvent::Keyboard, box->rect().center(),
                                box->mapToGlobal(box->rect().center()));
        QApplication::sendEvent(box, &event);
        QVERIFY(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }));
        QApplication::activePopupWidget()->close();
    } else if (where == "other window") {
        QWidget other;
        QLineEdit otherBox(&other);
        otherBox.setFocus();
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QCOMPARE(QApplication::focusWidget(), &otherBox);
    } else {
        box->clearFocus();
    }
    // Give the window back its activation, as a window manager does when the other goes.
    rig.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));

    QVERIFY(rig.events.isEmpty());
    QCOMPARE(rig.get<QLineEdit>("txtOutput3Hex")->text(), "80");
    QCOMPARE(rig.get<QLineEdit>("txtOutput3Dec")->text(), QString());
}

void TestWindow::closingMakesNoLibraryCall() {
    auto rig = std::make_unique<Rig>();
    QVERIFY(rig->showActive());
    rig->click("cmdIOStart");
    QCOMPARE(rig->state.IoStarted, int16_t(-1));
    QVERIFY(rig->window->close());
    rig->window.reset();
    QCOMPARE(rig->library.calls,
             (std::vector<FakePortLibrary::Call>{{FakePortLibrary::Call::Start}}));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
