// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "kernel/kernelports.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <iterator>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "kernel/portwindows.h"
#include "uart/registers.h"

namespace kernelports {

namespace {

// The names of the 8250 family's PORT_* numbers, 0 to 30, as the kernel's serial_core.h
// spells them without the prefix.
constexpr const char* kTypeNames[] = {
    "unknown",
    "8250",
    "16450",
    "16550",
    "16550A",
    "Cirrus",
    "16650",
    "16650V2",
    "16750",
    "Startech",
    "16C950",
    "16654",
    "16850",
    "RSA",
    "NS16550A",
    "XScale",
    "RM9000",
    "Octeon",
    "AR7",
    "U6_16550A",
    "Tegra",
    "XR17D15X",
    "LPC3220",
    "8250_CIR",
    "XR17V35X",
    "BRCM_TRUMANAGE",
    "ALTR_16550_F32",
    "ALTR_16550_F64",
    "ALTR_16550_F128",
    "RT2880",
    "16550A_FSL64",
};

// Whether the open file or folder may be read from: anywhere for Source::AnyTree, only on
// sysfs for Source::SysfsOnly.
bool fromSource(int fd, Source source) {
    if (source == Source::AnyTree)
        return true;
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 && fs.f_type == SYSFS_MAGIC;
}

// The file's text without trailing blanks and line feeds, or nothing when it is missing,
// not a regular file, not from the source, larger than limit or unreadable. Never follows a
// symbolic link at the last step and never waits on a pipe. missing, when given, tells
// whether the file (or a folder on its way) does not exist at all.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit, Source source,
                                         bool* missing = nullptr) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (missing != nullptr)
        *missing = fd < 0 && (errno == ENOENT || errno == ENOTDIR);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fromSource(fd, source)) {
        std::string content(limit + 1, '\0');
        std::size_t got = 0;
        bool failed = false;
        while (got < content.size()) {
            const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                failed = true;
                break;
            }
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (!failed && got <= limit) {
            content.resize(got);
            while (!content.empty() && (content.back() == '\n' || content.back() == ' ' ||
                                        content.back() == '\t' || content.back() == '\r'))
                content.pop_back();
            text = std::move(content);
        }
    }
    ::close(fd);
    return text;
}

// Digits in the given base and nothing else ("0x" first for base 16, as the kernel prints
// addresses).
template <typename T>
std::optional<T> parseNumber(const std::optional<std::string>& text, int base) {
    if (!text)
        return std::nullopt;
    std::string_view digits = *text;
    if (base == 16) {
        if (!digits.starts_with("0x") && !digits.starts_with("0X"))
            return std::nullopt;
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits.front() == '-' || digits.front() == '+')
        return std::nullopt;
    T value{};
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// The number of a "ttyS<digits>" name, or nothing for any other name.
std::optional<unsigned> ttyNumber(std::string_view name) {
    if (!name.starts_with("ttyS"))
        return std::nullopt;
    name.remove_prefix(4);
    if (name.empty() || name.size() > 6 || (name.size() > 1 && name.front() == '0'))
        return std::nullopt;
    unsigned number = 0;
    const char* end = name.data() + name.size();
    const auto [stop, error] = std::from_chars(name.data(), end, number, 10);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

// The ttyS numbers in the folder, lowest first, at most kMostTtys of them.
std::vector<unsigned> ttyNumbers(const std::string& folder, Source source, Listing& listing) {
    std::vector<unsigned> numbers;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        listing.error = errno;
        return numbers;
    }
    if (!fromSource(::dirfd(dir), source)) {
        ::closedir(dir);
        listing.error = EXDEV;
        return numbers;
    }
    std::size_t looked = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (++looked > kMostEntries) {
            listing.cut = true;
            break;
        }
        if (const std::optional<unsigned> number = ttyNumber(entry->d_name))
            numbers.push_back(*number);
    }
    ::closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.size() > kMostTtys) {
        numbers.resize(kMostTtys);
        listing.cut = true;
    }
    return numbers;
}

// The tty names in console/active, separated by blanks.
std::vector<std::string> consoles(const std::string& classFolder, Source source) {
    std::vector<std::string> names;
    const std::optional<std::string> text =
        readSmallFile(classFolder + "/console/active", kLargestConsoleList, source);
    if (!text)
        return names;
    std::size_t at = 0;
    while (at < text->size()) {
        const std::size_t end = std::min(text->find_first_of(" \t\n", at), text->size());
        if (end > at)
            names.push_back(text->substr(at, end - at));
        at = end + 1;
    }
    return names;
}

// The lines of a listing, each without its line feed.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        result.push_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return result;
}

// A number as the kernel prints an address with %#llx: "0x" and hexadecimal digits, or "0".
std::optional<uint64_t> address(std::string_view text) {
    if (text == "0")
        return 0;
    return parseNumber<uint64_t>(std::string(text), 16);
}

// A PCI device's resource file: "start end flags" per region, all "0x" and 16 digits. The
// regions with IORESOURCE_IO in their flags are I/O port ranges. nullopt: malformed.
std::optional<std::vector<IoRange>> pciIoRanges(std::string_view text) {
    constexpr uint64_t kIoResource = 0x100;
    std::vector<IoRange> ranges;
    for (std::string_view line : lines(text)) {
        std::optional<uint64_t> fields[3];
        for (auto& field : fields) {
            const std::size_t end = std::min(line.find(' '), line.size());
            field = address(line.substr(0, end));
            line.remove_prefix(std::min(end + 1, line.size()));
            if (!field)
                return std::nullopt;
        }
        if (!line.empty())
            return std::nullopt;
        if ((*fields[2] & kIoResource) != 0 && *fields[1] >= *fields[0])
            ranges.push_back({*fields[0], *fields[1]});
    }
    return ranges;
}

// A PnP device's resources file: "io 0x3f8-0x3ff" per port range (" window" may follow),
// "io disabled" for one that is off; other lines name other kinds of resource.
std::optional<std::vector<IoRange>> pnpIoRanges(std::string_view text) {
    std::vector<IoRange> ranges;
    for (std::string_view line : lines(text)) {
        if (!line.starts_with("io "))
            continue;
        line.remove_prefix(3);
        if (line == "disabled")
            continue;
        if (line.ends_with(" window"))
            line.remove_suffix(7);
        const std::size_t dash = line.find('-');
        if (dash == std::string_view::npos)
            return std::nullopt;
        const std::optional<uint64_t> first = address(line.substr(0, dash));
        const std::optional<uint64_t> last = address(line.substr(dash + 1));
        if (!first || !last || *last < *first)
            return std::nullopt;
        ranges.push_back({*first, *last});
    }
    return ranges;
}

// The I/O ranges the tty's device lists, if it lists any (see Port::ioResources).
std::optional<std::vector<IoRange>> deviceIoRanges(const std::string& ttyFolder, Source source) {
    bool missing = false;
    std::optional<std::string> text =
        readSmallFile(ttyFolder + "device/resource", kLargestResourceList, source, &missing);
    if (text || !missing) {
        const auto ranges = text ? pciIoRanges(*text) : std::nullopt;
        return ranges.value_or(std::vector<IoRange>{});
    }
    text = readSmallFile(ttyFolder + "device/resources", kLargestResourceList, source, &missing);
    if (text || !missing) {
        const auto ranges = text ? pnpIoRanges(*text) : std::nullopt;
        return ranges.value_or(std::vector<IoRange>{});
    }
    return std::nullopt;
}

bool isComBase(uint64_t base) {
    return std::find(uart::kComBases.begin(), uart::kComBases.end(), base) != uart::kComBases.end();
}

}  // namespace

Listing readPorts(const std::string& sysfsRoot, Source source) {
    Listing listing;
    const std::string classFolder = sysfsRoot + "/class/tty";
    const std::vector<unsigned> numbers = ttyNumbers(classFolder, source, listing);
    if (numbers.empty())
        return listing;
    const std::vector<std::string> active = consoles(classFolder, source);
    for (const unsigned number : numbers) {
        Port port;
        port.number = number;
        port.tty = "ttyS" + std::to_string(number);
        const std::string folder = classFolder + "/" + port.tty + "/";
        const auto attribute = [&](const char* name) {
            return readSmallFile(folder + name, kLargestAttribute, source);
        };
        port.type = parseNumber<int>(attribute("type"), 10);
        if (port.type == 0)
            continue;  // no UART there
        port.ioType = parseNumber<int>(attribute("io_type"), 10);
        port.port = parseNumber<uint64_t>(attribute("port"), 16);
        port.iomemBase = parseNumber<uint64_t>(attribute("iomem_base"), 16);
        port.irq = parseNumber<int>(attribute("irq"), 10);
        const std::optional<std::string> shift = attribute("iomem_reg_shift");
        port.regShift = shift ? parseNumber<int>(shift, 10) : std::optional<int>(0);
        port.uartclk = parseNumber<uint64_t>(attribute("uartclk"), 10);
        port.fifoSize = parseNumber<int>(attribute("xmit_fifo_size"), 10);
        port.console = std::find(active.begin(), active.end(), port.tty) != active.end();
        port.ioResources = deviceIoRanges(folder, source);
        listing.ports.push_back(std::move(port));
    }
    return listing;
}

Verdict verdictOf(const Port& port) {
    if (!port.type || !port.ioType || *port.type <= 0 || *port.ioType < 0)
        return Verdict::Unreadable;
    if (*port.ioType >= 2)
        return Verdict::MemoryMapped;
    if (*port.ioType == kIoHub6)
        return Verdict::Hub6;
    if (!port.port || !port.regShift)
        return Verdict::Unreadable;
    if (*port.regShift != 0)
        return Verdict::RegShift;
    const uint64_t base = *port.port;
    const uint64_t last = base + uart::kPortsPerUart - 1;  // no wrap: base is below 0x10000
    if (base == 0 || base % uart::kPortsPerUart != 0 || base > 0x10000 - uart::kPortsPerUart)
        return Verdict::BadPort;
    if (isComBase(base))
        return Verdict::ComWindow;
    if (base < kLowestUartPort || (base <= kPciConfigLast && last >= kPciConfigFirst))
        return Verdict::SystemPorts;
    if (port.ioResources &&
        std::none_of(port.ioResources->begin(), port.ioResources->end(), [&](const IoRange& range) {
            return range.first <= base && last <= range.last;
        }))
        return Verdict::OutsideResource;
    return Verdict::OtherWindow;
}

std::string typeName(int type) {
    if (type < 0 || static_cast<std::size_t>(type) >= std::size(kTypeNames))
        return {};
    return kTypeNames[type];
}

std::vector<uint16_t> otherWindows(const Listing& listing) {
    std::vector<uint16_t> bases;
    for (const Port& port : listing.ports) {
        if (verdictOf(port) == Verdict::OtherWindow)
            bases.push_back(static_cast<uint16_t>(*port.port));
    }
    std::sort(bases.begin(), bases.end());
    bases.erase(std::unique(bases.begin(), bases.end()), bases.end());
    return bases;
}

std::vector<uint16_t> otherWindows(const std::string& sysfsRoot, Source source) {
    return otherWindows(readPorts(sysfsRoot, source));
}

bool inWindows(const std::vector<uint16_t>& bases, int32_t port) {
    return std::any_of(bases.begin(), bases.end(), [port](uint16_t base) {
        return port >= base && port < base + uart::kPortsPerUart;
    });
}

const Port* ttyAtPort(const Listing& listing, int32_t port) {
    for (const Port& candidate : listing.ports) {
        if (reachable(verdictOf(candidate)) &&
            inWindows({static_cast<uint16_t>(*candidate.port)}, port))
            return &candidate;
    }
    return nullptr;
}

}  // namespace kernelports
