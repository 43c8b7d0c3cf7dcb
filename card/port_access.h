// 32-bit I/O port access for the sound card's control register, behind a
// narrow interface: the real ports (Linux, x86) and a fake register for tests.
#pragma once

#include <cstdint>
#include <string>

class PortAccess {
 public:
  virtual ~PortAccess() = default;
  /// Whether `port` can be read and written; when not, `why` says so for the user.
  virtual bool Available(uint16_t port, std::string& why) = 0;
  /// _inpd: the 32-bit value at `port` (0 when it cannot be read).
  virtual uint32_t In32(uint16_t port) = 0;
  /// _outpd: writes `value` to `port` (nothing when it cannot be written).
  virtual void Out32(uint16_t port, uint32_t value) = 0;
};

/// A register in memory: what was read and written, and at which ports.
class FakePort : public PortAccess {
 public:
  uint32_t value = 0;
  bool available = true;
  int reads = 0, writes = 0;
  uint16_t lastReadPort = 0, lastWritePort = 0;

  bool Available(uint16_t, std::string& why) override {
    if (!available) why = "no sound card control register (fake)";
    return available;
  }
  uint32_t In32(uint16_t port) override {
    ++reads;
    lastReadPort = port;
    return value;
  }
  void Out32(uint16_t port, uint32_t v) override {
    ++writes;
    lastWritePort = port;
    value = v;
  }
};

/// The real ports on Linux/x86: a port is touched only when its four bytes
/// lie inside the I/O range of an ES1370 (PCI 1274:5000) found under
/// `sysfsRoot` (normally /sys/bus/pci/devices), and I/O permission is granted.
class LinuxPortAccess : public PortAccess {
 public:
  explicit LinuxPortAccess(std::string sysfsRoot = "/sys/bus/pci/devices");
  bool Available(uint16_t port, std::string& why) override;
  uint32_t In32(uint16_t port) override;
  void Out32(uint16_t port, uint32_t value) override;

 private:
  bool Allowed(uint16_t port);
  std::string sysfsRoot_;
  int permittedPort_ = -1;  // the port ioperm was granted for
};

/// Whether [port, port + 4) lies inside an I/O resource of an ES1370 listed
/// under `sysfsRoot`.
bool PortBelongsToEs1370(const std::string& sysfsRoot, uint16_t port);
