#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "card/port_access.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define TAPEWELL_HAVE_PORT_IO 1
#endif

namespace {

constexpr unsigned kVendorEnsoniq = 0x1274;
constexpr unsigned kDeviceEs1370 = 0x5000;
constexpr unsigned long long kIoResourceFlag = 0x100;  // IORESOURCE_IO

unsigned ReadHexFile(const std::string& path) {
  std::ifstream in(path);
  unsigned value = 0;
  in >> std::hex >> value;
  return in ? value : 0;
}

}  // namespace

bool PortBelongsToEs1370(const std::string& sysfsRoot, uint16_t port) {
  DIR* dir = opendir(sysfsRoot.c_str());
  if (!dir) return false;
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string device = sysfsRoot + "/" + name;
    if (ReadHexFile(device + "/vendor") != kVendorEnsoniq || ReadHexFile(device + "/device") != kDeviceEs1370) {
      continue;
    }
    // Each line of "resource": start, end and flags, in hexadecimal.
    std::ifstream resources(device + "/resource");
    std::string line;
    while (std::getline(resources, line)) {
      unsigned long long start = 0, end = 0, flags = 0;
      if (std::sscanf(line.c_str(), "%llx %llx %llx", &start, &end, &flags) != 3) continue;
      if ((flags & kIoResourceFlag) && end >= start && port >= start && port + 3ull <= end) found = true;
    }
  }
  closedir(dir);
  return found;
}

LinuxPortAccess::LinuxPortAccess(std::string sysfsRoot) : sysfsRoot_(std::move(sysfsRoot)) {}

bool LinuxPortAccess::Available(uint16_t port, std::string& why) {
  if (permittedPort_ == port) return true;  // checked and granted already: no second scan of the bus
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04x", port);
  if (!PortBelongsToEs1370(sysfsRoot_, port)) {
    why = std::string("no sound card control register at port ") + hex;
    return false;
  }
#ifdef TAPEWELL_HAVE_PORT_IO
  if (ioperm(port, 4, 1) != 0) {
    why = "no permission for I/O ports (run as root or grant CAP_SYS_RAWIO)";
    return false;
  }
  permittedPort_ = port;
  return true;
#else
  why = "I/O ports cannot be reached on this platform";
  return false;
#endif
}

bool LinuxPortAccess::Allowed(uint16_t port) {
  std::string why;
  return Available(port, why);
}

uint32_t LinuxPortAccess::In32(uint16_t port) {
#ifdef TAPEWELL_HAVE_PORT_IO
  if (Allowed(port)) return inl(port);
#else
  (void)port;
#endif
  return 0;
}

void LinuxPortAccess::Out32(uint16_t port, uint32_t value) {
#ifdef TAPEWELL_HAVE_PORT_IO
  if (Allowed(port)) outl(value, port);
#else
  (void)port;
  (void)value;
#endif
}
