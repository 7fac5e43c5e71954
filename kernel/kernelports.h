// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The serial ports the kernel has registered, as its serial driver lists them in sysfs:
// /sys/class/tty/ttyS*/ (port, irq, type, io_type, uartclk, xmit_fifo_size, iomem_base,
// iomem_reg_shift) and the consoles in /sys/class/tty/console/active. All of these are
// world-readable; /proc/ioports is not a source, since it shows addresses to CAP_SYS_ADMIN
// only. Plain C++ without Qt, small enough for the privileged helper to use before it
// asks for any port.
//
// The driver makes a ttyS entry for every port it may ever register (8250.nr_uarts), most of
// them with port 0 and type 0. Type 0 (PORT_UNKNOWN) means no UART there: those entries are
// left out. An entry whose type cannot be read is kept, as unreadable, and is never a window.
//
// Reading is bounded whatever the tree holds: at most kMostEntries directory entries are
// looked at, at most kMostTtys ttyS entries kept (the lowest numbers), and only regular
// files of at most kLargestAttribute bytes are read, without following a symbolic link or
// waiting on a pipe. A value that does not parse is unknown, never a failure.
//
// The device behind a tty may list the I/O ports it owns: a PCI device in device/resource
// (one line per region: start, end and flags in hexadecimal), a PnP device in
// device/resources ("io 0x3f8-0x3ff"). A window of its own must lie inside one of them.
namespace kernelports {

inline constexpr std::size_t kMostTtys = 256;
inline constexpr std::size_t kMostEntries = 65536;
inline constexpr std::size_t kLargestAttribute = 256;
inline constexpr std::size_t kLargestConsoleList = 512;
inline constexpr std::size_t kLargestResourceList = 4096;

// The PCI configuration ports, which no UART ever shares.
inline constexpr uint64_t kPciConfigFirst = 0xCF8;
inline constexpr uint64_t kPciConfigLast = 0xCFF;
// Below this lie the ports of the PC's own chips (interrupt and DMA controllers, timer,
// keyboard controller, CMOS clock), never a UART's.
inline constexpr uint64_t kLowestUartPort = 0x100;

// Whether a tree is taken as it is, or only where it is the kernel's own sysfs: the helper
// reads the real /sys and trusts nothing else; tests read trees of their own.
enum class Source { AnyTree, SysfsOnly };

// A range of I/O ports, both ends included.
struct IoRange {
    uint64_t first = 0;
    uint64_t last = 0;
    bool operator==(const IoRange&) const = default;
};

// The kernel's io_type numbers (UPIO_*): how its driver reaches the UART's registers.
inline constexpr int kIoPort = 0;  // I/O ports, one port a register
inline constexpr int kIoHub6 = 1;  // I/O ports through a HUB6 card's multiplexer
// 2 and above: memory-mapped (MEM, MEM32, AU, TSI, MEM32BE, MEM16).

// One ttyS entry whose type is not 0. Each attribute is empty when it was missing or did
// not parse.
struct Port {
    std::string tty;  // the entry's name, e.g. "ttyS4"
    unsigned number = 0;
    std::optional<int> type;  // the kernel's PORT_* number
    std::optional<int> ioType;
    std::optional<uint64_t> port;       // the I/O port (the base) for port I/O
    std::optional<uint64_t> iomemBase;  // the physical address for a memory-mapped UART
    std::optional<int> irq;
    std::optional<int> regShift;  // registers 1 << regShift apart; a missing file counts as 0
    std::optional<uint64_t> uartclk;
    std::optional<int> fifoSize;
    bool console = false;  // named in console/active
    // The I/O port ranges the tty's device owns, as sysfs lists them; none when the device
    // lists no resources at all (a platform device). A listing that is there but cannot be
    // read or parsed is an empty list, inside which no window lies.
    std::optional<std::vector<IoRange>> ioResources;
};

struct Listing {
    std::vector<Port> ports;  // by tty number
    int error = 0;            // errno when the class/tty folder could not be read; EXDEV when
                              // it is not on sysfs and the source is SysfsOnly
    bool cut = false;         // more ttyS entries than kMostTtys, or than kMostEntries looked at
};

// sysfsRoot is "/sys" but for tests, which pass a tree of their own. With Source::SysfsOnly
// every folder and file read must lie on sysfs; one that does not counts as missing.
Listing readPorts(const std::string& sysfsRoot = "/sys", Source source = Source::AnyTree);

// What Regwise may make of a port.
enum class Verdict {
    ComWindow,        // port I/O at one of the four COM bases
    OtherWindow,      // port I/O at another 8-aligned base below 0x10000: a window of its own
    MemoryMapped,     // registers in memory, not at I/O ports
    Hub6,             // port I/O through a HUB6 multiplexer, not one port a register
    RegShift,         // port I/O with registers further apart than one port
    BadPort,          // port I/O at 0, at a base that is not 8-aligned, or past 0xFFF8
    Unreadable,       // the type, io_type, port or iomem_reg_shift could not be read
    SystemPorts,      // a window below 0x100 or over the PCI configuration ports 0xCF8-0xCFF
    OutsideResource,  // a window outside every I/O range the tty's device lists
};
Verdict verdictOf(const Port& port);

// The kernel's name for a PORT_* number of the 8250 family ("16550A"); empty for a number
// this table does not know.
std::string typeName(int type);

// The bases of the 8-port windows of every UART the kernel registered with port I/O outside
// the four COM windows (Verdict::OtherWindow), lowest first, each once. These are what a PCI
// or PCIe serial card's UARTs get from the firmware, e.g. 0xC000 or 0xD010.
std::vector<uint16_t> otherWindows(const Listing& listing);
// The same read straight from sysfs: what the helper opens besides the COM windows, with
// Source::SysfsOnly.
std::vector<uint16_t> otherWindows(const std::string& sysfsRoot = "/sys",
                                   Source source = Source::AnyTree);

// Whether port lies in one of the 8-port windows starting at bases.
bool inWindows(const std::vector<uint16_t>& bases, int32_t port);

// The UART the kernel registered with port I/O whose eight ports hold port, or nullptr.
const Port* ttyAtPort(const Listing& listing, int32_t port);

}  // namespace kernelports
