// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Drives the real window, with the simulated port library loaded as in regwise-sim, through
// thousands of random user events and checks after each one that nothing reached a port
// that the user did not ask for: no read or write without an open session, each write
// carrying the byte the row's Hex box shows to the row's own port, each read showing its
// byte in its own row only, and no access outside the seven ports of the current base.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <deque>
#include <optional>
#include <random>

#include "app/controltable.h"
#include "app/frmregwise.h"
#include "handlers/modcommon.h"
#include "portio/modioscmdef.h"
#include "regval/codec.h"
#include "tests/fakes/fakeportlibrary.h"
#include "tests/fakes/recordingdialogs.h"
#include "uart/registers.h"

namespace {

const QString kNotStarted = QStringLiteral("I/O制御開始処理を行ってください。");

QString printable(const QString& text) {
    QString shown = text.left(40);
    for (QChar& c : shown) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'·';
    }
    return text.size() > 40 ? shown + QStringLiteral("…(%1 chars)").arg(text.size()) : shown;
}

}  // namespace

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void randomEvents_data();
    void randomEvents();

private:
    // One user action, chosen at random.
    void act();
    void clickControl(QWidget* control);
    void typeInto(QLineEdit* box);
    QString randomText();
    void pressEditingKey();

    void onCall(const FakePortLibrary::Call& call);
    void checkAfterEvent();
    void fail(const QString& why);

    int pick(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }
    bool chance(int percent) { return pick(100) < percent; }
    QLineEdit* inputBox(int row, ValueForm form) const {
        return m_window->findChild<QLineEdit*>(inputBoxName(row, form));
    }
    QLineEdit* outputBox(int row, ValueForm form) const {
        return m_window->findChild<QLineEdit*>(outputBoxName(row, form));
    }

    std::mt19937 m_rng;
    ModCommon* m_state = nullptr;
    frmRegwise* m_window = nullptr;
    FakePortLibrary* m_library = nullptr;
    RecordingDialogs* m_dialogs = nullptr;
    QList<QWidget*> m_controls;
    QList<QWidget*> m_notOutputBoxes;

    // What the current event is and what stood before it.
    QString m_clicked;  // objectName of the control being clicked, else empty
    QWidget* m_focusBefore = nullptr;
    std::array<QString, kRegisterCount> m_decBefore;
    std::array<std::array<QString, 3>, kRegisterCount> m_inputsBefore;
    int16_t m_ioStartedBefore = 0;
    size_t m_callsBefore = 0;
    size_t m_shownBefore = 0;

    std::deque<QString> m_recent;
    QString m_failure;
};

void TestSoak::randomEvents_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("events");
    QTest::newRow("seed 20261209") << 20261209u << 3000;
    QTest::newRow("seed 7") << 7u << 3000;
}

void TestSoak::randomEvents() {
    QFETCH(quint32, seed);
    QFETCH(int, events);
    if (const int fromEnv = qEnvironmentVariableIntValue("REGWISE_SOAK_EVENTS"); fromEnv > 0)
        events = fromEnv;
    m_rng.seed(seed);
    m_recent.clear();
    m_failure.clear();

    ModCommon state;
    ModIOSCMdef simulated("libregwise-portio-sim.so");
    FakePortLibrary library;
    library.forwardTo = &simulated;
    RecordingDialogs dialogs;
    dialogs.answerConfirm = [this] { return chance(50); };
    library.onCall = [this](const FakePortLibrary::Call& call) { onCall(call); };
    frmRegwise window(state, library, dialogs);
    m_state = &state;
    m_library = &library;
    m_dialogs = &dialogs;
    m_window = &window;

    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    m_controls.clear();
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->objectName().isEmpty() && w->isVisible())
            m_controls << w;
    }
    QVERIFY2(m_controls.size() >= 90, qPrintable(QString::number(m_controls.size())));
    m_notOutputBoxes.clear();
    for (QWidget* w : std::as_const(m_controls)) {
        if (!w->objectName().startsWith(QStringLiteral("txtOutput")))
            m_notOutputBoxes << w;
    }

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < events && m_failure.isEmpty() && !QTest::currentTestFailed(); ++i) {
        m_clicked.clear();
        m_focusBefore = QApplication::focusWidget();
        for (int row = 0; row < kRegisterCount; ++row) {
            m_decBefore[static_cast<size_t>(row)] = outputBox(row, ValueForm::Dec)->text();
            for (ValueForm form : kValueForms)
                m_inputsBefore[static_cast<size_t>(row)][static_cast<size_t>(form)] =
                    inputBox(row, form)->text();
        }
        m_ioStartedBefore = state.IoStarted;
        m_callsBefore = library.calls.size();
        m_shownBefore = dialogs.shown.size();

        act();
        QCoreApplication::processEvents();
        if (m_failure.isEmpty())
            checkAfterEvent();
        if (m_recent.size() > 25)
            m_recent.pop_front();
    }

    if (!m_failure.isEmpty()) {
        QString log;
        for (const QString& line : m_recent)
            log += QStringLiteral("\n  ") + line;
        QFAIL(qPrintable(
            QStringLiteral("%1\nlast events (seed %2):%3").arg(m_failure).arg(seed).arg(log)));
    }
    // A soak whose clicks never landed would pass while proving nothing.
    std::array<int, 4> byKind{};
    for (const FakePortLibrary::Call& call : library.calls)
        ++byKind[static_cast<size_t>(call.kind)];
    int confirmed = 0, cancelled = 0;
    for (const RecordingDialogs::Shown& box : dialogs.shown) {
        if (box.isConfirm)
            ++(box.answer ? confirmed : cancelled);
    }
    qInfo(
        "%d events in %lld ms: start %d, stop %d, InpB %d, OutB %d, confirmations %d OK / %d "
        "cancelled, %zu boxes in all",
        events, clock.elapsed(), byKind[0], byKind[1], byKind[2], byKind[3], confirmed, cancelled,
        dialogs.shown.size());
    QVERIFY(byKind[0] > 0 && byKind[1] > 0 && byKind[2] > 0 && byKind[3] > 0);
    QVERIFY(confirmed > 0 && cancelled > 0);
    library.onCall = nullptr;
}

void TestSoak::act() {
    const int what = pick(100);
    if (what < 30) {
        // The buttons that matter most, so sessions, reads and writes happen often.
        static const QStringList hot{QStringLiteral("cmdIOStart"), QStringLiteral("cmdIOEnd"),
                                     QStringLiteral("chkConfirm"), QStringLiteral("opt3F8"),
                                     QStringLiteral("opt2F8"),     QStringLiteral("opt3E8"),
                                     QStringLiteral("opt2E8")};
        QString name;
        if (chance(70))
            name = QStringLiteral("cmd%1%2").arg(chance(50) ? "Input" : "Output").arg(pick(7));
        else
            name = hot[pick(static_cast<int>(hot.size()))];
        clickControl(m_window->findChild<QWidget*>(name));
    } else if (what < 45) {
        clickControl(m_controls[pick(static_cast<int>(m_controls.size()))]);
    } else if (what < 75) {
        typeInto(outputBox(pick(kRegisterCount), kValueForms[static_cast<size_t>(pick(3))]));
    } else if (what < 85) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : m_window;
        const bool back = chance(40);
        m_recent.push_back(back ? QStringLiteral("Shift+Tab") : QStringLiteral("Tab"));
        QTest::keyClick(target, back ? Qt::Key_Backtab : Qt::Key_Tab,
                        back ? Qt::ShiftModifier : Qt::NoModifier);
    } else if (what < 93) {
        pressEditingKey();
    } else {
        // Typing into a control that is not an output box: the read-only boxes, buttons...
        // (Keys reach an output box only through the focus, which typeInto() gives it.)
        QWidget* target = m_notOutputBoxes[pick(static_cast<int>(m_notOutputBoxes.size()))];
        const QString text = randomText();
        m_recent.push_back(
            QStringLiteral("key text \"%1\" to %2").arg(printable(text), target->objectName()));
        QTest::sendKeyEvent(QTest::Press, target, Qt::Key_unknown, text, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, target, Qt::Key_unknown, text, Qt::NoModifier);
    }
}

void TestSoak::clickControl(QWidget* control) {
    QVERIFY(control);
    m_clicked = control->objectName();
    m_recent.push_back(QStringLiteral("click %1 (focus on %2)")
                           .arg(m_clicked, m_focusBefore ? m_focusBefore->objectName()
                                                         : QStringLiteral("nothing")));
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}

QString TestSoak::randomText() {
    // Digits of each base, out-of-range and signed numbers, separators, full-width digits,
    // other scripts, an emoji, control characters and a lone surrogate.
    static const QStringList pieces = [] {
        QStringList list = QString::fromUtf8(
                               "0|1|7F|ff|FFFF|8000|10000|300|-1|12.5|13.5|+7| |\t|.|-|32767|32768|"
                               "-32769|0x1F|abc|G7|1e3|1,000|10101|01100000|１２８|é|レジスタ|"
                               "\U0001F600|\x01\x1b\x7f|\r\n|99999999999999999999")
                               .split(u'|');
        list.insert(32, QString(QChar(0xD800)));  // UTF-8 cannot carry it
        return list;
    }();
    QString text;
    if (chance(5)) {
        // A very long text, as a paste would bring.
        const QString unit = pieces[pick(static_cast<int>(pieces.size()))];
        text = unit.repeated(500 + pick(4000) / std::max<qsizetype>(1, unit.size()));
    } else {
        for (int n = 1 + pick(3); n > 0; --n)
            text += pieces[pick(static_cast<int>(pieces.size()))];
    }
    return text;
}

void TestSoak::typeInto(QLineEdit* target) {
    QVERIFY(target);
    const QString text = randomText();
    const int how = pick(3);
    m_recent.push_back(QStringLiteral("type \"%1\" into %2 (%3)")
                           .arg(printable(text), target->objectName())
                           .arg(how));
    if (QApplication::focusWidget() != target) {
        m_clicked = target->objectName();
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, target->rect().center());
        m_clicked.clear();
    }
    if (chance(30))
        target->selectAll();
    switch (how) {
        case 0:  // key by key; short texts only, the rest goes as one event
            // QTest types only ASCII key by key.
            if (text.size() <= 16 && std::all_of(text.begin(), text.end(), [](QChar c) {
                    return c.unicode() >= 0x20 && c.unicode() < 0x7F;
                })) {
                QTest::keyClicks(target, text);
                break;
            }
            [[fallthrough]];
        case 1:
            QTest::sendKeyEvent(QTest::Press, target, Qt::Key_unknown, text, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, target, Qt::Key_unknown, text, Qt::NoModifier);
            break;
        default:  // a paste: the text goes in whole, control characters and all
            target->insert(text);
            break;
    }
}

void TestSoak::pressEditingKey() {
    static const std::array<std::pair<Qt::Key, Qt::KeyboardModifiers>, 10> keys{{
        {Qt::Key_Backspace, Qt::NoModifier},
        {Qt::Key_Delete, Qt::NoModifier},
        {Qt::Key_Home, Qt::NoModifier},
        {Qt::Key_End, Qt::ShiftModifier},
        {Qt::Key_A, Qt::ControlModifier},
        {Qt::Key_Z, Qt::ControlModifier},
        {Qt::Key_Return, Qt::NoModifier},
        {Qt::Key_Escape, Qt::NoModifier},
        {Qt::Key_Space, Qt::NoModifier},
        {Qt::Key_Down, Qt::NoModifier},
    }};
    const auto& [key, modifiers] = keys[static_cast<size_t>(pick(static_cast<int>(keys.size())))];
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : m_window;
    m_recent.push_back(QStringLiteral("key %1/%2 on %3")
                           .arg(key, 0, 16)
                           .arg(modifiers.toInt())
                           .arg(target->objectName()));
    // Space on a focused button presses it: count that as a click of it.
    if (key == Qt::Key_Space)
        m_clicked = target->objectName();
    QTest::keyClick(target, key, modifiers);
}

void TestSoak::onCall(const FakePortLibrary::Call& call) {
    using Kind = FakePortLibrary::Call;
    const QString where = QStringLiteral("during \"%1\"").arg(m_clicked);
    if (m_library->calls.size() != m_callsBefore + 1)
        return fail(QStringLiteral("a second library call in one event ") + where);

    if (call.kind == Kind::Start || call.kind == Kind::Stop) {
        const QString button =
            call.kind == Kind::Start ? QStringLiteral("cmdIOStart") : QStringLiteral("cmdIOEnd");
        if (m_clicked != button)
            fail(QStringLiteral("the library's start or stop ran ") + where);
        return;
    }

    const bool isWrite = call.kind == Kind::OutB;
    const QString prefix = isWrite ? QStringLiteral("cmdOutput") : QStringLiteral("cmdInput");
    bool ok = false;
    const int row = m_clicked.startsWith(prefix) ? m_clicked.mid(prefix.size()).toInt(&ok) : -1;
    if (!ok || row < 0 || row >= kRegisterCount)
        return fail(
            QStringLiteral("%1 of port %2 ").arg(isWrite ? "OutB" : "InpB").arg(call.port, 0, 16) +
            where);
    if (m_state->IoStarted == 0)
        return fail(QStringLiteral("a port was touched without an open session ") + where);

    const int16_t base = m_state->PortAdr[0];
    if (std::find(uart::kComBases.begin(), uart::kComBases.end(), base) == uart::kComBases.end() ||
        call.port < base || call.port > base + 6)
        return fail(QStringLiteral("port %1 is not one of the seven of base %2")
                        .arg(call.port, 0, 16)
                        .arg(base, 0, 16));
    if (call.port != m_state->PortAdr[static_cast<size_t>(row)] || call.port != base + row)
        return fail(QStringLiteral("row %1 touched port %2").arg(row).arg(call.port, 0, 16));

    if (!isWrite)
        return;
    // What the row shows: by now the box the focus left has been brought into step, so the
    // byte going out must be the one the Hex box (and the confirmation, which quotes it) names.
    const QString hexNow = outputBox(row, ValueForm::Hex)->text();
    if (ToHex2(call.data) != hexNow)
        return fail(QStringLiteral("OutB wrote %1 while the Hex box shows \"%2\"")
                        .arg(call.data)
                        .arg(printable(hexNow)));
    const QString decNow = outputBox(row, ValueForm::Dec)->text();
    const std::optional<int16_t> value = FromDec(decNow);
    if (!value || *value != call.data)
        return fail(QStringLiteral("OutB wrote %1 while the Dec box holds \"%2\"")
                        .arg(call.data)
                        .arg(printable(decNow)));
    // Only leaving the row's Hex or Bin box, or the reset of an empty box, may have changed
    // the Dec box since before the click.
    const QString decBefore = m_decBefore[static_cast<size_t>(row)];
    const bool validated = m_focusBefore == outputBox(row, ValueForm::Hex) ||
                           m_focusBefore == outputBox(row, ValueForm::Bin);
    if (!validated && decNow != (decBefore.isEmpty() ? QStringLiteral("0") : decBefore))
        fail(QStringLiteral("the Dec box changed from \"%1\" to \"%2\" on its way to OutB")
                 .arg(printable(decBefore), printable(decNow)));
}

void TestSoak::checkAfterEvent() {
    using Kind = FakePortLibrary::Call;
    const std::vector<FakePortLibrary::Call>& calls = m_library->calls;
    const std::optional<FakePortLibrary::Call> call =
        calls.size() > m_callsBefore ? std::optional(calls.back()) : std::nullopt;
    const auto shown = [this](const QString& text) {
        for (size_t i = m_shownBefore; i < m_dialogs->shown.size(); ++i) {
            if (m_dialogs->shown[i].text == text || text.isEmpty())
                return true;
        }
        return false;
    };

    const int16_t base = m_state->PortAdr[0];
    for (int i = 0; i < kRegisterCount; ++i) {
        if (m_state->PortAdr[static_cast<size_t>(i)] != base + i)
            return fail(QStringLiteral("PortAdr%1 is not base + %1").arg(i));
    }

    const bool wasOpen = m_ioStartedBefore != 0;
    // The session flag follows the library's answer and nothing else.
    if (call && call->kind == Kind::Start && call->result.made && (call->result.value & 1) == 0 &&
        m_state->IoStarted != -1)
        return fail(
            QStringLiteral("a successful start left IoStarted at %1").arg(m_state->IoStarted));
    if (call && call->kind == Kind::Stop && call->result.made &&
        static_cast<int16_t>(call->result.value) == 0 && m_state->IoStarted != 0)
        return fail(
            QStringLiteral("a successful stop left IoStarted at %1").arg(m_state->IoStarted));
    if (!call && m_state->IoStarted != m_ioStartedBefore)
        return fail(QStringLiteral("IoStarted changed without a start or stop"));
    for (int row = 0; row < kRegisterCount; ++row) {
        const bool readHere = m_clicked == QStringLiteral("cmdInput%1").arg(row) && call &&
                              call->kind == Kind::InpB && !call->result.failed();
        for (ValueForm form : kValueForms) {
            const QString now = inputBox(row, form)->text();
            const QString before =
                m_inputsBefore[static_cast<size_t>(row)][static_cast<size_t>(form)];
            if (!readHere && now != before)
                return fail(QStringLiteral("%1 changed without a read of its row")
                                .arg(inputBoxName(row, form)));
        }
        if (readHere) {
            const auto value = static_cast<int16_t>(call->result.value);
            if (inputBox(row, ValueForm::Hex)->text() != ToHex2(value) ||
                inputBox(row, ValueForm::Dec)->text() != ToDec(value) ||
                inputBox(row, ValueForm::Bin)->text() != BinStr(value, m_state->BitWeight))
                return fail(QStringLiteral("row %1 does not show the byte it read").arg(row));
        }

        if (m_clicked != QStringLiteral("cmdOutput%1").arg(row) &&
            m_clicked != QStringLiteral("cmdInput%1").arg(row))
            continue;
        if (!wasOpen) {
            if (!shown(kNotStarted))
                return fail(QStringLiteral("a press without a session was not refused"));
            continue;
        }
        if (m_clicked.startsWith(QStringLiteral("cmdOutput")) && !call) {
            // No write: the user cancelled, or a message says why.
            bool cancelled = false;
            for (size_t i = m_shownBefore; i < m_dialogs->shown.size(); ++i)
                cancelled =
                    cancelled || (m_dialogs->shown[i].isConfirm && !m_dialogs->shown[i].answer);
            if (!cancelled && !shown(QString()))
                return fail(QStringLiteral("OUTPUT wrote nothing and said nothing"));
        }
    }
}

void TestSoak::fail(const QString& why) {
    if (m_failure.isEmpty())
        m_failure = why;
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
