// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

/* A stand-in for the port I/O library, for the loader tests. Its answers depend only on
 * the arguments, so tests need not care which of them loaded it first. Built twice: whole,
 * and with LOADERTEST_PARTIAL, lacking OutB and IOSCM_LastError. */
#include "portio/ioscm.h"

#include <stddef.h>

static _Thread_local const char* lastError;

int32_t IOSCM_Start(void) {
    lastError = NULL;
    return 0x10002; /* bit 0 clear; the high bits show the full 32 bits came through */
}

int16_t IOSCM_Stop(void) {
    lastError = NULL;
    return -2;
}

int16_t InpB(int16_t port) {
    lastError = NULL;
    if (port < 0) {
        lastError = "port out of range";
        return 0;
    }
    if (port == 0x3FF) {
        lastError = ""; /* a failure the library gives no words for */
        return 0;
    }
    return (int16_t)(port & 0xFF);
}

#ifndef LOADERTEST_PARTIAL
int16_t OutB(int16_t port, int16_t data) {
    (void)port;
    lastError = NULL;
    if (data < 0 || data > 255) {
        lastError = "data out of range";
        return -1;
    }
    return 0;
}

/* Reads give the port's low byte, writes do nothing; a negative port stops the sequence
 * there. */
int32_t IOSCM_Sequence(const IOSCM_Step* steps, int32_t count, IOSCM_StepResult* results) {
    lastError = NULL;
    for (int32_t i = 0; i < count; ++i) {
        const IOSCM_StepResult none = {0};
        results[i] = none;
        if (steps[i].port < 0) {
            lastError = "port out of range";
            return i;
        }
        if (steps[i].kind == IOSCM_STEP_READ || steps[i].kind == IOSCM_STEP_POLL) {
            results[i].reads = 1;
            results[i].value = results[i].seen = (uint8_t)(steps[i].port & 0xFF);
        }
    }
    return count;
}

const char* IOSCM_LastError(void) {
    return lastError;
}
#endif
