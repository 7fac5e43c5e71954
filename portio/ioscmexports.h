// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>
#include <type_traits>

#include "portio/ioscm.h"
#include "portio/sharedlibrary.h"

// The exports of ioscm.h, each with its name: the one table of them, over one SharedLibrary.
// ModIOSCMdef looks each export up at its own first call and explains failures; tests,
// benchmarks and the QEMU rig's guest programs open a library by path and look every export
// up at once (open).
struct IoscmExports {
    IOSCM_StartFn start = nullptr;
    IOSCM_StopFn stop = nullptr;
    IOSCM_InpBFn inpB = nullptr;
    IOSCM_OutBFn outB = nullptr;
    IOSCM_InpWFn inpW = nullptr;
    IOSCM_InpDFn inpD = nullptr;
    IOSCM_OutWFn outW = nullptr;
    IOSCM_OutDFn outD = nullptr;
    IOSCM_SequenceFn sequence = nullptr;
    IOSCM_LastErrorFn lastError = nullptr;

    SharedLibrary library;

    // Calls visit(slot, name) for every export, in ioscm.h's order.
    template <typename Table, typename Visit>
    static void forEach(Table& table, Visit&& visit) {
        visit(table.start, "IOSCM_Start");
        visit(table.stop, "IOSCM_Stop");
        visit(table.inpB, "InpB");
        visit(table.outB, "OutB");
        visit(table.inpW, "InpW");
        visit(table.inpD, "InpD");
        visit(table.outW, "OutW");
        visit(table.outD, "OutD");
        visit(table.sequence, "IOSCM_Sequence");
        visit(table.lastError, "IOSCM_LastError");
    }

    // The export name of one of this table's slots.
    template <typename Fn>
    const char* nameOf(const Fn& slot) const {
        const char* name = "";
        forEach(*this, [&](const auto& each, const char* eachName) {
            if (static_cast<const void*>(&each) == static_cast<const void*>(&slot))
                name = eachName;
        });
        return name;
    }

    // Looks the slot's export up in the open library; false with library.error() set when
    // it has none.
    template <typename Fn>
    bool find(Fn& slot) {
        slot = reinterpret_cast<Fn>(library.symbol(nameOf(slot)));
        return slot != nullptr;
    }

    // Opens the library at the absolute path and looks every export up; false when it cannot
    // be opened or an export is missing (library.error() says why). IOSCM_Sequence may be
    // missing: a program then runs sequences step by step (PortLibrary::sequence).
    bool open(const std::string& path) {
        if (!library.open(path))
            return false;
        bool all = true;
        forEach(*this, [&](auto& slot, const char*) {
            if (all && !find(slot) && static_cast<const void*>(&slot) != &sequence)
                all = false;
        });
        return all;
    }

    // The library's reason for the last call of this thread, or empty.
    std::string error() const {
        const char* text = lastError();
        return text != nullptr ? text : "";
    }
};

// The pointer types the table holds must be the exports' own.
static_assert(std::is_same_v<IOSCM_StartFn, decltype(&IOSCM_Start)>);
static_assert(std::is_same_v<IOSCM_StopFn, decltype(&IOSCM_Stop)>);
static_assert(std::is_same_v<IOSCM_InpBFn, decltype(&InpB)>);
static_assert(std::is_same_v<IOSCM_OutBFn, decltype(&OutB)>);
static_assert(std::is_same_v<IOSCM_InpWFn, decltype(&InpW)>);
static_assert(std::is_same_v<IOSCM_InpDFn, decltype(&InpD)>);
static_assert(std::is_same_v<IOSCM_OutWFn, decltype(&OutW)>);
static_assert(std::is_same_v<IOSCM_OutDFn, decltype(&OutD)>);
static_assert(std::is_same_v<IOSCM_SequenceFn, decltype(&IOSCM_Sequence)>);
static_assert(std::is_same_v<IOSCM_LastErrorFn, decltype(&IOSCM_LastError)>);
