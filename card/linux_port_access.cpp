#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "card/kernel_lockdown.h"
#include "card/port_access.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define TAPEWELL_HAVE_PORT_IO 1
#endif

namespace {

constexpr const char* kPortIoRoute = "ioperm";

std::string HexPort(uint16_t port) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04x", port);
  return hex;
}

std::string LockdownReason(const std::string& mode) {
  return "the kernel is in lockdown mode (" + mode +
         "), which forbids every program, root included, to write I/O ports; the register can be set only on a "
         "kernel booted without lockdown (Secure Boot or the lockdown= boot option turns it on)";
}

}  // namespace

LinuxPortAccess::LinuxPortAccess(LinuxPortAccessSetup setup) : setup_(std::move(setup)) {}

LinuxPortAccess::LinuxPortAccess(std::string sysfsRoot) {
  setup_.sysfsRoot = std::move(sysfsRoot);
}

bool LinuxPortAccess::Available(uint16_t port, std::string& why) {
  if (grantedPort_ == port && way_ != Way::None) return true;  // checked and opened already: no second scan
  resource_.reset();
  way_ = Way::None;
  grantedPort_ = -1;

  const auto bar = FindEs1370Bar(setup_.sysfsRoot, port);
  if (!bar) {
    why = "no sound card control register at port " + HexPort(port);
    return false;
  }
  // Lockdown refuses writes on both ways with EPERM; asking for more privilege would not help.
  const std::string mode = KernelLockdownMode(setup_.lockdownPath);
  if (LockdownForbidsPortWrites(mode)) {
    why = LockdownReason(mode);
    return false;
  }

  const std::string path = ResourceFilePath(*bar);
  int fileErrno = 0;
  if (setup_.useResourceFile) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (fd) {
      resource_ = std::move(fd);
      bar_ = *bar;
      way_ = Way::ResourceFile;
      grantedPort_ = port;
      return true;
    }
    fileErrno = errno;
  }
  int portIoErrno = 0;
#ifdef TAPEWELL_HAVE_PORT_IO
  if (setup_.usePortIo) {
    if (ioperm(port, 4, 1) == 0) {
      bar_ = *bar;
      way_ = Way::PortIo;
      grantedPort_ = port;
      return true;
    }
    portIoErrno = errno;
  }
#endif

  if (fileErrno == EACCES || fileErrno == EPERM) {
    why = "no permission for " + path +
          ": install the udev rule 60-tapewell-audiopci.rules and add yourself to the audio group, then log in "
          "again (see the README)";
  } else if (fileErrno != 0) {
    why = "cannot open " + path + " (" + std::strerror(fileErrno) + ")";
  } else if (portIoErrno != 0) {
    why = "no permission for I/O port " + HexPort(port) + " (" + std::strerror(portIoErrno) + ")";
  } else {
    why = "no way to reach I/O port " + HexPort(port) + " is allowed on this system";
  }
  return false;
}

std::optional<uint32_t> LinuxPortAccess::In32(uint16_t port, std::string& why) {
  if (!Available(port, why)) return std::nullopt;
  if (way_ == Way::ResourceFile) {
    uint32_t value = 0;  // the kernel hands over inl's value in the machine's byte order
    const ssize_t got = ::pread(resource_.get(), &value, sizeof value, static_cast<off_t>(port - bar_.start));
    if (got != static_cast<ssize_t>(sizeof value)) {
      why = "cannot read " + ResourceFilePath(bar_) + " (" +
            (got < 0 ? std::string(std::strerror(errno)) : "short read") + ")";
      return std::nullopt;
    }
    return value;
  }
#ifdef TAPEWELL_HAVE_PORT_IO
  if (way_ == Way::PortIo) return inl(port);
#endif
  why = "no way to reach I/O port " + HexPort(port);
  return std::nullopt;
}

bool LinuxPortAccess::Out32(uint16_t port, uint32_t value, std::string& why) {
  if (!Available(port, why)) return false;
  if (way_ == Way::ResourceFile) {
    const ssize_t put = ::pwrite(resource_.get(), &value, sizeof value, static_cast<off_t>(port - bar_.start));
    if (put == static_cast<ssize_t>(sizeof value)) return true;
    const int error = errno;
    const std::string mode = KernelLockdownMode(setup_.lockdownPath);
    if (put < 0 && error == EPERM && LockdownForbidsPortWrites(mode)) {
      why = LockdownReason(mode);
    } else {
      why = "cannot write " + ResourceFilePath(bar_) + " (" +
            (put < 0 ? std::string(std::strerror(error)) : "short write") + ")";
    }
    return false;
  }
#ifdef TAPEWELL_HAVE_PORT_IO
  if (way_ == Way::PortIo) {
    outl(value, port);
    return true;
  }
#endif
  why = "no way to reach I/O port " + HexPort(port);
  return false;
}

std::string LinuxPortAccess::Route() const {
  switch (way_) {
    case Way::ResourceFile:
      return ResourceFilePath(bar_);
    case Way::PortIo:
      return kPortIoRoute;
    case Way::None:
      break;
  }
  return {};
}
