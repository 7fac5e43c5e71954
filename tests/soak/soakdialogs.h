#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "handlers/dialogs.h"

// Dialogs that never block: confirmations are answered by a callback (the soak's random
// choice) and every box is recorded.
class SoakDialogs final : public Dialogs {
public:
    struct Shown {
        bool isConfirm;
        bool answer;
        QString text;
    };

    void message(const QString& text, const QString&) override {
        shown.push_back({false, false, text});
    }
    bool confirm(const QString&, const QString& text) override {
        const bool answer = answerConfirm ? answerConfirm() : true;
        shown.push_back({true, answer, text});
        return answer;
    }

    std::function<bool()> answerConfirm;
    std::vector<Shown> shown;
};
