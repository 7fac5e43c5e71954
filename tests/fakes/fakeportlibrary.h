#pragma once

#include <functional>
#include <string>
#include <vector>

#include "portio/portlibrary.h"

// A port library that records every call and answers from settable results.
class FakePortLibrary final : public PortLibrary {
public:
    struct Call {
        enum Kind { Start, Stop, InpB, OutB } kind;
        int16_t port = 0;
        int16_t data = 0;
        bool operator==(const Call&) const = default;
    };

    PortCall start() override { return record({Call::Start}, startResult); }
    PortCall stop() override { return record({Call::Stop}, stopResult); }
    PortCall inpB(int16_t port) override {
        PortCall result = inpBResult;
        if (result.made && result.error.empty() && readValue)
            result.value = readValue(port);
        return record({Call::InpB, port}, result);
    }
    PortCall outB(int16_t port, int16_t data) override {
        return record({Call::OutB, port, data}, outBResult);
    }

    // Called at each call, before it returns, so a test can see the state at that moment.
    std::function<void(const Call&)> onCall;
    std::function<int32_t(int16_t port)> readValue;  // what InpB returns; inpBResult.value if unset

    PortCall startResult{true, 0, {}};
    PortCall stopResult{true, 0, {}};
    PortCall inpBResult{true, 0, {}};
    PortCall outBResult{true, 0, {}};
    std::vector<Call> calls;

private:
    PortCall record(const Call& call, const PortCall& result) {
        calls.push_back(call);
        if (onCall)
            onCall(call);
        return result;
    }
};
