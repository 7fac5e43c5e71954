// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

/* The port I/O library's C interface.
 *
 * Two libraries implement it: libregwise-portio.so drives the real ports through the
 * privileged helper regwise-portd, and libregwise-portio-sim.so drives four software
 * 16550A UARTs. The program never links either: it opens one with dlopen at the first
 * call of any function and looks each function up by the export name below at that
 * function's own first call (see modioscmdef.h).
 *
 * All arguments and results carry 16-bit values. Every export first clears the calling
 * thread's last error and sets it again if it fails, so IOSCM_LastError() called right
 * after a call tells whether that call failed and why.
 */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define REGWISE_PORTIO_EXPORT __attribute__((visibility("default")))

/* Opens the direct I/O session. Called by the I/O start button, even while a session is
 * open. Bit 0 of the result set means the start failed (the reason is in IOSCM_LastError);
 * clear means the session is open. */
REGWISE_PORTIO_EXPORT int32_t IOSCM_Start(void);

/* Closes the direct I/O session. Called by the I/O end button, even while none is open;
 * never called by the program on its own, not even at exit. 0 means stopped; any other
 * value is a failure (reason in IOSCM_LastError). */
REGWISE_PORTIO_EXPORT int16_t IOSCM_Stop(void);

/* Reads one byte from the port, touching it exactly once, and returns it zero-extended
 * (0...255). Called by the INPUT buttons while a session is open. On failure it returns
 * 0 and sets the last error. */
REGWISE_PORTIO_EXPORT int16_t InpB(int16_t port);

/* Writes the low byte of data to the port, touching it exactly once. Called by the OUTPUT
 * buttons while a session is open. Returns 0, or -1 with the last error set on failure. */
REGWISE_PORTIO_EXPORT int16_t OutB(int16_t port, int16_t data);

/* The 16-bit and 32-bit forms of the port access. Exported for completeness; the program
 * never calls them. */
REGWISE_PORTIO_EXPORT int16_t InpW(int16_t port);
REGWISE_PORTIO_EXPORT int32_t InpD(int16_t port);
REGWISE_PORTIO_EXPORT int16_t OutW(int16_t port, int16_t data);
REGWISE_PORTIO_EXPORT int16_t OutD(int16_t port, int32_t data);

/* A register sequence: steps run back to back by the library, without a return to the
 * program between them, each timed by the library on CLOCK_MONOTONIC. Through the real-port
 * helper the whole sequence is one request and one reply. */
enum IOSCM_StepKind {
    IOSCM_STEP_READ = 1,  /* read port once */
    IOSCM_STEP_WRITE = 2, /* write data to port once */
    IOSCM_STEP_POLL = 3,  /* read port until (value & mask) == (data & mask), for at most ns */
    IOSCM_STEP_WAIT = 4   /* touch nothing for ns */
};

/* The most steps one sequence may have, and the most time the limits of its POLL and WAIT
 * steps may add up to. A longer sequence is refused whole. */
#define IOSCM_SEQUENCE_MAX_STEPS 4096
#define IOSCM_SEQUENCE_MAX_NS 1000000000u

typedef struct IOSCM_Step {
    uint16_t kind;  /* an IOSCM_StepKind */
    int16_t port;   /* READ, WRITE, POLL; 0 for WAIT */
    uint8_t data;   /* WRITE: the byte written; POLL: the value awaited under mask */
    uint8_t mask;   /* POLL: the bits compared */
    uint16_t flags; /* IOSCM_STEP_TIMED, else 0 */
    uint32_t ns;    /* POLL: the longest it polls; WAIT: how long it waits; else 0 */
} IOSCM_Step;

/* A READ or WRITE with this flag is timed on its own: its result holds the clock read just
 * after it, and the one before (just after the timed access before it, or the start of the run
 * of reads and writes). Reads and writes without it that follow each other are timed together:
 * each of their results holds the time just before the first of them and just after the last
 * (one clock read costs as much as many accesses of memory). */
#define IOSCM_STEP_TIMED 1u
typedef struct IOSCM_StepResult {
    int64_t start_ns; /* CLOCK_MONOTONIC just before the step's first access (WAIT: its start) */
    int64_t end_ns;   /* just after its last access (WAIT: its end) */
    uint32_t reads;   /* reads made: READ 1, POLL 1 or more, else 0 */
    uint8_t value;    /* READ: the byte read; POLL: the last byte read */
    uint8_t seen;     /* READ, POLL: every byte read, OR'ed (bits a read clears are not lost) */
    uint8_t met;      /* POLL: 1 when the last read showed the awaited value */
    uint8_t distinct_count; /* POLL: how many distinct values it read, at most 255 */
    uint8_t distinct[8];    /* POLL: the first distinct values, in the order first read */
} IOSCM_StepResult;

/* Runs count steps in order and fills results[0...count-1]. Every port is checked before
 * any step runs: a sequence with one port outside the reach, an unknown kind, more than
 * IOSCM_SEQUENCE_MAX_STEPS steps or limits adding up to more than IOSCM_SEQUENCE_MAX_NS is
 * refused whole, nothing touched. A POLL stops at the first read that shows the value; it
 * makes no read that begins after its limit, except one: when the library itself was paused
 * past the limit since its previous read, one last read decides, so that a pause never
 * fails a UART that answered in time. Returns the number of steps run, count on success;
 * fewer (0 when refused) with the last error set when a step could not run, the results of
 * the steps run being valid. */
REGWISE_PORTIO_EXPORT int32_t IOSCM_Sequence(const IOSCM_Step* steps, int32_t count,
                                             IOSCM_StepResult* results);

/* The reason the last call of this thread failed, as UTF-8 text owned by the library and
 * valid until the thread's next call; NULL when that call succeeded. */
REGWISE_PORTIO_EXPORT const char* IOSCM_LastError(void);

/* The exports' types, for code that looks them up with dlsym. */
typedef int32_t (*IOSCM_StartFn)(void);
typedef int16_t (*IOSCM_StopFn)(void);
typedef int16_t (*IOSCM_InpBFn)(int16_t port);
typedef int16_t (*IOSCM_OutBFn)(int16_t port, int16_t data);
typedef int16_t (*IOSCM_InpWFn)(int16_t port);
typedef int32_t (*IOSCM_InpDFn)(int16_t port);
typedef int16_t (*IOSCM_OutWFn)(int16_t port, int16_t data);
typedef int16_t (*IOSCM_OutDFn)(int16_t port, int32_t data);
typedef int32_t (*IOSCM_SequenceFn)(const IOSCM_Step* steps, int32_t count,
                                    IOSCM_StepResult* results);
typedef const char* (*IOSCM_LastErrorFn)(void);

#ifdef __cplusplus
}
#endif
