#include "modioscmdef.h"

// Placeholder until the loader lands: every call fails cleanly.
struct ModIOSCMdef::Impl {
    std::string fileName;
    std::vector<std::string> folders;
};

ModIOSCMdef::ModIOSCMdef(std::string fileName) : ModIOSCMdef(std::move(fileName), {}) {}
ModIOSCMdef::ModIOSCMdef(std::string fileName, std::vector<std::string> folders)
    : m_impl(new Impl{std::move(fileName), std::move(folders)})
{
}
ModIOSCMdef::~ModIOSCMdef() { delete m_impl; }

static PortCall notLoaded() { return PortCall{false, 0, "not built yet"}; }
PortCall ModIOSCMdef::start() { return notLoaded(); }
PortCall ModIOSCMdef::stop() { return notLoaded(); }
PortCall ModIOSCMdef::inpB(int16_t) { return notLoaded(); }
PortCall ModIOSCMdef::outB(int16_t, int16_t) { return notLoaded(); }
bool ModIOSCMdef::loaded() const { return false; }
