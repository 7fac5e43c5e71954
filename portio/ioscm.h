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
typedef const char* (*IOSCM_LastErrorFn)(void);

#ifdef __cplusplus
}
#endif
