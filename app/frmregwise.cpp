// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/frmregwise.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <limits>
#include <map>

#include "app/accessibletext.h"
#include "app/baseoption.h"
#include "app/controltable.h"
#include "app/lineeditrowfields.h"
#include "app/startup.h"
#include "app/validatefilter.h"
#include "handlers/dialogs.h"
#include "handlers/formload.h"
#include "handlers/outputsync.h"
#include "handlers/registermap.h"
#include "handlers/registerread.h"
#include "handlers/registerwrite.h"
#include "handlers/session.h"
#include "regval/valueform.h"
#include "uart/registers.h"

namespace {

constexpr int kClientWidth = 9735 / kTwipsPerPixel;
constexpr int kClientHeight = 9555 / kTwipsPerPixel;

constexpr qreal kBoxPointSize = 14.25;
constexpr qreal kColumnLabelPointSize = 12;
constexpr qreal kHeadingPointSize = 18;

const QColor kLightYellow(255, 255, 192);
const QColor kLightCyan(192, 255, 255);

QRect pixels(const ControlSpec& entry) {
    return {entry.left / kTwipsPerPixel, entry.top / kTwipsPerPixel, entry.width / kTwipsPerPixel,
            entry.height / kTwipsPerPixel};
}

void setBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QWidget* createControl(const ControlSpec& entry, QWidget* parent) {
    switch (entry.kind) {
        case ControlKind::Frame:
            return new QGroupBox(entry.caption, parent);
        case ControlKind::Label:
            return new QLabel(entry.caption, parent);
        case ControlKind::TextBox:
            return new QLineEdit(parent);
        case ControlKind::CommandButton: {
            auto* button = new QPushButton(entry.caption, parent);
            button->setAutoDefault(false);  // Enter and Escape press no button
            return button;
        }
        case ControlKind::OptionButton: {
            auto* option = new BaseOption(parent);
            option->setText(entry.caption);
            return option;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(entry.caption, parent);
    }
    return nullptr;
}

// At 18 pt the Japanese fonts' line (ascent and descent) is taller than the heading's fixed
// 25 px, so a line centred in it loses the tail of the "g". The text's ink is centred
// instead: the line sits on the bottom edge, raised by a bottom margin that brings the middle
// of its ink to the middle of the label, and never below the edge.
void centreHeadingInk(QLabel* label) {
    const QFontMetrics metrics(label->font());
    const QRect ink = metrics.tightBoundingRect(label->text());  // around the baseline at 0
    const int baseline = (label->height() - ink.top() - ink.bottom() - 1) / 2;
    const int margin = std::max(0, label->height() - metrics.descent() - baseline);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    label->setContentsMargins(0, 0, 0, margin);
}

void applyLook(QWidget* widget, ControlLook look) {
    switch (look) {
        case ControlLook::Plain:
            break;
        case ControlLook::Heading: {
            auto* label = static_cast<QLabel*>(widget);
            label->setFont(japaneseFont(kHeadingPointSize));
            centreHeadingInk(label);
            label->setAutoFillBackground(true);
            setBackground(label, QPalette::Window, Qt::white);
            break;
        }
        case ControlLook::Version:
            static_cast<QLabel*>(widget)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case ControlLook::ColumnLabel: {
            auto* label = static_cast<QLabel*>(widget);
            label->setFont(japaneseFont(kColumnLabelPointSize));
            label->setAlignment(Qt::AlignCenter);
            label->setAutoFillBackground(true);
            setBackground(label, QPalette::Window, kLightCyan);
            break;
        }
        case ControlLook::InputBox:
        case ControlLook::OutputBox: {
            auto* box = static_cast<QLineEdit*>(widget);
            box->setFont(japaneseFont(kBoxPointSize));
            // Values are short numbers under centred column labels.
            box->setAlignment(Qt::AlignCenter);
            box->setMaxLength(std::numeric_limits<int>::max());
            if (look == ControlLook::InputBox) {
                box->setReadOnly(true);
                setBackground(box, QPalette::Base, kLightYellow);
            }
            break;
        }
        case ControlLook::BaseOption:
            widget->setFont(japaneseFont(kColumnLabelPointSize));
            break;
    }
}

}  // namespace

frmRegwise::frmRegwise(ModCommon& state, PortLibrary& library, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_state(state),
      m_library(library),
      m_dialogs(dialogs) {
    setObjectName(QStringLiteral("frmRegwise"));
    setWindowTitle(applicationTitle());
    setFont(windowFont());
    setFixedSize(kClientWidth, kClientHeight);

    buildControls();
    bindEvents();
    Form_Load();

    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

frmRegwise::~frmRegwise() = default;

void frmRegwise::buildControls() {
    QHash<QString, QWidget*> byName;
    std::map<int, QWidget*> tabOrder;
    for (const ControlSpec& entry : windowControls()) {
        QWidget* parent = entry.container.isEmpty() ? this : byName.value(entry.container);
        QWidget* control = createControl(entry, parent);
        control->setObjectName(entry.name);
        control->setGeometry(pixels(entry));
        applyLook(control, entry.look);
        // Captioned controls are announced by their captions; a frame's follows its recaption.
        if (!entry.caption.isEmpty())
            control->setAccessibleName(entry.caption);
        control->setAccessibleDescription(controlAccessibleDescription(entry.name));
        byName.insert(entry.name, control);
        if (control->focusPolicy() != Qt::NoFocus)
            tabOrder.emplace(entry.tabIndex, control);
    }

    QWidget* previous = nullptr;
    for (const auto& [index, control] : tabOrder) {
        if (previous)
            setTabOrder(previous, control);
        previous = control;
    }

    auto* opt3F8 = static_cast<QRadioButton*>(byName.value(QStringLiteral("opt3F8")));
    opt3F8->setChecked(true);
    opt3F8->setFocus();
    m_chkConfirm = static_cast<QCheckBox*>(byName.value(QStringLiteral("chkConfirm")));
    m_chkConfirm->setChecked(true);
    m_lblVersion = static_cast<QLabel*>(byName.value(QStringLiteral("lblVersion")));

    for (int row = 0; row < kRegisterCount; ++row) {
        const auto index = static_cast<size_t>(row);
        m_frames[index] = static_cast<QGroupBox*>(byName.value(frameName(row)));
        // The captions "INPUT" and "OUTPUT" are alike in every row; the register tells them apart.
        m_inputButtons[index] = static_cast<QPushButton*>(byName.value(inputButtonName(row)));
        m_inputButtons[index]->setAccessibleName(buttonAccessibleName(row, RowSide::Input));
        m_outputButtons[index] = static_cast<QPushButton*>(byName.value(outputButtonName(row)));
        m_outputButtons[index]->setAccessibleName(buttonAccessibleName(row, RowSide::Output));
        std::array<QLineEdit*, 3> inputs{};
        std::array<QLineEdit*, 3> outputs{};
        for (ValueForm form : kValueForms) {
            const auto slot = static_cast<size_t>(form);
            inputs[slot] = static_cast<QLineEdit*>(byName.value(inputBoxName(row, form)));
            outputs[slot] = static_cast<QLineEdit*>(byName.value(outputBoxName(row, form)));
        }
        m_rows[index] = std::make_unique<LineEditRowFields>(row, inputs, outputs);
    }
}

void frmRegwise::bindEvents() {
    for (const uint16_t comBase : uart::kComBases) {
        const auto base = static_cast<int16_t>(comBase);
        const QString name = QStringLiteral("opt") + QString::number(comBase, 16).toUpper();
        auto* option = findChild<QRadioButton*>(name);
        auto select = [this, base] {
            optBase_Click(base, m_state.PortAdr, m_dialogs);
            recaptionFrames();
        };
        connect(option, &QAbstractButton::clicked, this, select);
        // A screen reader's "toggle" checks the option without a click. The base must follow
        // the checked option all the same, or writes would go to a base the window does not show.
        connect(option, &QAbstractButton::toggled, this, [this, base, select](bool checked) {
            if (checked && m_state.PortAdr[0] != base)
                select();
        });
    }
    connect(findChild<QPushButton*>(QStringLiteral("cmdIOStart")), &QAbstractButton::clicked, this,
            [this] { cmdIOStart_Click(m_state.IoStarted, m_library, m_dialogs); });
    connect(findChild<QPushButton*>(QStringLiteral("cmdIOEnd")), &QAbstractButton::clicked, this,
            [this] { cmdIOEnd_Click(m_state.IoStarted, m_library, m_dialogs); });

    for (int row = 0; row < kRegisterCount; ++row) {
        connect(findChild<QPushButton*>(inputButtonName(row)), &QAbstractButton::clicked, this,
                [this, row] { cmdInput_Click(rowContext(row)); });
        connect(
            findChild<QPushButton*>(outputButtonName(row)), &QAbstractButton::clicked, this,
            [this, row] { cmdOutput_Click(rowContext(row), m_chkConfirm->isChecked() ? 1 : 0); });
        for (ValueForm form : kValueForms) {
            new ValidateFilter(findChild<QLineEdit*>(outputBoxName(row, form)), [this, row, form] {
                txtOutput_Validate(form, *m_rows[static_cast<size_t>(row)], m_state.BitWeight);
                emit outputValidated(row, form);
            });
        }
    }
}

RowContext frmRegwise::rowContext(int row) {
    const auto index = static_cast<size_t>(row);
    return RowContext{m_state.IoStarted, m_state.PortAdr[index], *m_rows[index], m_library,
                      m_dialogs,         m_state.BitWeight};
}

void frmRegwise::Form_Load() {
    ::Form_Load(m_state, m_dialogs);
    m_lblVersion->setText(versionLabel());
    recaptionFrames();
}

void frmRegwise::recaptionFrames() {
    const auto captions = frameCaptions(m_state.PortAdr);
    for (size_t i = 0; i < m_frames.size(); ++i) {
        m_frames[i]->setTitle(captions[i]);
        m_frames[i]->setAccessibleName(captions[i]);
        m_inputButtons[i]->setAccessibleDescription(
            buttonAccessibleDescription(captions[i], RowSide::Input));
        m_outputButtons[i]->setAccessibleDescription(
            buttonAccessibleDescription(captions[i], RowSide::Output));
    }
}
