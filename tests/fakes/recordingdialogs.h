#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "handlers/dialogs.h"

// Records every box a handler shows; confirmations are answered from a queue (OK when empty).
class RecordingDialogs final : public Dialogs {
public:
    struct Shown {
        bool isConfirm;
        QString title;  // empty for plain messages: they carry the application's title
        QString text;
        QString detail;
    };

    void message(const QString& text, const QString& detail) override {
        shown.push_back({false, QString(), text, detail});
    }
    bool confirm(const QString& title, const QString& text) override {
        shown.push_back({true, title, text, QString()});
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QStringList texts() const {
        QStringList list;
        for (const Shown& s : shown)
            list << s.text;
        return list;
    }

    std::deque<bool> answers;
    std::vector<Shown> shown;
};
