#pragma once

#include <functional>
#include <vector>

#include "portio/portlibrary.h"

// Wraps a real port library and tells a watcher of every call before it is passed on, so the
// watcher sees the window and the application state exactly as they stand at that moment.
class RecordingPortLibrary final : public PortLibrary {
public:
    enum class Kind { Start, Stop, InpB, OutB };
    struct Call {
        Kind kind;
        int16_t port = 0;
        int16_t data = 0;
        PortCall result;
    };

    explicit RecordingPortLibrary(PortLibrary& inner) : m_inner(inner) {}

    PortCall start() override {
        return pass(Kind::Start, 0, 0, [this] { return m_inner.start(); });
    }
    PortCall stop() override {
        return pass(Kind::Stop, 0, 0, [this] { return m_inner.stop(); });
    }
    PortCall inpB(int16_t port) override {
        return pass(Kind::InpB, port, 0, [this, port] { return m_inner.inpB(port); });
    }
    PortCall outB(int16_t port, int16_t data) override {
        return pass(Kind::OutB, port, data,
                    [this, port, data] { return m_inner.outB(port, data); });
    }

    std::function<void(const Call&)> beforeCall;
    std::vector<Call> calls;

private:
    PortCall pass(Kind kind, int16_t port, int16_t data, const std::function<PortCall()>& forward) {
        Call call{kind, port, data, PortCall{}};
        if (beforeCall)
            beforeCall(call);
        call.result = forward();
        calls.push_back(call);
        return call.result;
    }

    PortLibrary& m_inner;
};
