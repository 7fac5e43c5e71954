// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "handlers/dialogs.h"

// Records every box a handler shows. Confirmations are answered by answerConfirm when set,
// else from the answers queue (OK when it is empty).
class RecordingDialogs final : public Dialogs {
public:
    struct Shown {
        bool isConfirm;
        QString title;  // empty for plain messages: they carry the application's title
        QString text;
        QString detail;
        bool answer = false;  // what a confirmation was answered
    };

    void message(const QString& text, const QString& detail) override {
        shown.push_back({false, QString(), text, detail});
    }
    bool confirm(const QString& title, const QString& text) override {
        bool answer = true;
        if (answerConfirm) {
            answer = answerConfirm();
        } else if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        shown.push_back({true, title, text, QString(), answer});
        return answer;
    }

    QStringList texts() const {
        QStringList list;
        for (const Shown& s : shown)
            list << s.text;
        return list;
    }

    std::function<bool()> answerConfirm;
    std::deque<bool> answers;
    std::vector<Shown> shown;
};
