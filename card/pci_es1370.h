// Finding the ES1370's I/O range (its I/O BAR) in the kernel's PCI listing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

inline constexpr unsigned kVendorEnsoniq = 0x1274;
inline constexpr unsigned kDeviceEs1370 = 0x5000;

/// One I/O BAR of an ES1370 card.
struct Es1370Bar {
  std::string device;      // the device's folder, e.g. /sys/bus/pci/devices/0000:00:04.0
  int index = 0;           // BAR number: the file "resource<index>" in that folder reaches it
  uint64_t start = 0;      // first port of the range
  uint64_t end = 0;        // last port of the range
};

/// The I/O BAR of an ES1370 (PCI 1274:5000) listed under `sysfsRoot`
/// (normally /sys/bus/pci/devices) that holds all four bytes [port, port + 4);
/// nothing when no card's range does.
std::optional<Es1370Bar> FindEs1370Bar(const std::string& sysfsRoot, uint16_t port);

/// Whether [port, port + 4) lies inside an I/O BAR of an ES1370 listed under `sysfsRoot`.
bool PortBelongsToEs1370(const std::string& sysfsRoot, uint16_t port);

/// The file through which the kernel reads and writes the ports of `bar`.
std::string ResourceFilePath(const Es1370Bar& bar);
