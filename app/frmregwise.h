// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "handlers/modcommon.h"
#include "handlers/rowfields.h"

class Dialogs;
class LineEditRowFields;
class PortLibrary;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

// The program's one window. It builds its controls from the layout table, binds their events
// to the handlers and runs the load step before it is first shown. The handlers decide; the
// window only maps events to them.
class frmRegwise final : public QWidget {
    Q_OBJECT

public:
    // state, library and dialogs must outlive the window.
    frmRegwise(ModCommon& state, PortLibrary& library, Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmRegwise() override;

signals:
    // A row's output box has been left and its validate step has run.
    void outputValidated(int row, ValueForm form);

private:
    void buildControls();
    void bindEvents();
    void Form_Load();
    void recaptionFrames();
    RowContext rowContext(int row);

    ModCommon& m_state;
    PortLibrary& m_library;
    Dialogs& m_dialogs;

    QLabel* m_lblVersion = nullptr;
    QCheckBox* m_chkConfirm = nullptr;
    std::array<QGroupBox*, kRegisterCount> m_frames{};
    std::array<QPushButton*, kRegisterCount> m_inputButtons{};
    std::array<QPushButton*, kRegisterCount> m_outputButtons{};
    std::array<std::unique_ptr<LineEditRowFields>, kRegisterCount> m_rows;
};
