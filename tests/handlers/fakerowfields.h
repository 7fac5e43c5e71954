// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <map>
#include <vector>

#include "handlers/rowfields.h"

// A row's six boxes in memory, recording every set and repaint in the order they happen.
class FakeRowFields final : public RowFields {
public:
    struct Event {
        enum Kind { SetOutput, SetInput, Repaint } kind;
        ValueForm form = ValueForm::Hex;
        QString text;
        bool operator==(const Event&) const = default;
    };

    QString output(ValueForm form) const override {
        const auto it = outputs.find(form);
        return it == outputs.end() ? QString() : it->second;
    }
    void setOutput(ValueForm form, const QString& text) override {
        outputs[form] = text;
        events.push_back({Event::SetOutput, form, text});
    }
    void setInput(ValueForm form, const QString& text) override {
        inputs[form] = text;
        events.push_back({Event::SetInput, form, text});
    }
    void repaintWindow() override { events.push_back({Event::Repaint, ValueForm::Hex, QString()}); }

    void setOutputs(const QString& hex, const QString& dec, const QString& bin) {
        outputs = {{ValueForm::Hex, hex}, {ValueForm::Dec, dec}, {ValueForm::Bin, bin}};
    }

    std::map<ValueForm, QString> outputs;
    std::map<ValueForm, QString> inputs;
    std::vector<Event> events;
};

inline constexpr const BitWeightTable& kBitWeight = kFilledBitWeight;
