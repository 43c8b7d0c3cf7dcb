// 32-bit I/O port access for the sound card's control register, behind a
// narrow interface: the real card on Linux and a fake register for tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "card/pci_es1370.h"
#include "card/unique_fd.h"

class PortAccess {
 public:
  virtual ~PortAccess() = default;
  /// Whether the register at `port` can be read and written; when not, `why`
  /// names the cause and the remedy, in words for the user.
  virtual bool Available(uint16_t port, std::string& why) = 0;
  /// _inpd: the 32-bit value at `port`, or nothing with `why` set.
  virtual std::optional<uint32_t> In32(uint16_t port, std::string& why) = 0;
  /// _outpd: writes `value` to `port`; false with `why` set when it could not.
  virtual bool Out32(uint16_t port, uint32_t value, std::string& why) = 0;
  /// How the register is reached once Available said yes (a file path, or
  /// "ioperm"), for the diagnostic line; empty when nothing needs saying.
  virtual std::string Route() const = 0;
};

/// A register in memory: what was read and written, and at which ports.
class FakePort : public PortAccess {
 public:
  uint32_t value = 0;
  bool available = true;
  bool failWrites = false;  // Out32 refuses, as a kernel in lockdown would
  std::string route;        // what Route() names
  int reads = 0, writes = 0;
  uint16_t lastReadPort = 0, lastWritePort = 0;

  bool Available(uint16_t, std::string& why) override {
    if (!available) why = "no sound card control register (fake)";
    return available;
  }
  std::optional<uint32_t> In32(uint16_t port, std::string& why) override {
    if (!available) {
      why = "no sound card control register (fake)";
      return std::nullopt;
    }
    ++reads;
    lastReadPort = port;
    return value;
  }
  bool Out32(uint16_t port, uint32_t v, std::string& why) override {
    if (!available || failWrites) {
      why = "the register refused the write (fake)";
      return false;
    }
    ++writes;
    lastWritePort = port;
    value = v;
    return true;
  }
  std::string Route() const override { return route; }
};

/// Where LinuxPortAccess looks and which ways it may use.
struct LinuxPortAccessSetup {
  std::string sysfsRoot = "/sys/bus/pci/devices";
  std::string lockdownPath = "/sys/kernel/security/lockdown";
  bool useResourceFile = true;  // pread/pwrite on the card's BAR file in sysfs
  bool usePortIo = true;        // ioperm + inl/outl, x86 only, needs CAP_SYS_RAWIO
};

/// The real card on Linux. A port is touched only when its four bytes lie
/// inside the I/O BAR of an ES1370 (PCI 1274:5000) listed under the sysfs
/// root. The register is reached through that BAR's resource file (write
/// permission on that one file is all it needs: the udev rule gives it to the
/// audio group); on x86, ioperm + inl/outl is the fallback when the file
/// cannot be opened.
class LinuxPortAccess : public PortAccess {
 public:
  explicit LinuxPortAccess(LinuxPortAccessSetup setup = {});
  explicit LinuxPortAccess(std::string sysfsRoot);
  bool Available(uint16_t port, std::string& why) override;
  std::optional<uint32_t> In32(uint16_t port, std::string& why) override;
  bool Out32(uint16_t port, uint32_t value, std::string& why) override;
  std::string Route() const override;

 private:
  enum class Way { None, ResourceFile, PortIo };
  LinuxPortAccessSetup setup_;
  int grantedPort_ = -1;  // the port the way below was opened for
  Way way_ = Way::None;
  Es1370Bar bar_{};
  UniqueFd resource_;  // the BAR's resource file, open read-write while way_ is ResourceFile
};
