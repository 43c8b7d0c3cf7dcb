#include "card/pci_es1370.h"

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr unsigned long long kIoResourceFlag = 0x100;  // IORESOURCE_IO
constexpr int kStandardBars = 6;                        // the first six lines of "resource" are the BARs

unsigned ReadHexFile(const std::string& path) {
  std::ifstream in(path);
  unsigned value = 0;
  in >> std::hex >> value;
  return in ? value : 0;
}

}  // namespace

std::optional<Es1370Bar> FindEs1370Bar(const std::string& sysfsRoot, uint16_t port) {
  DIR* dir = opendir(sysfsRoot.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());  // the same card first on every run

  for (const std::string& name : names) {
    const std::string device = sysfsRoot + "/" + name;
    if (ReadHexFile(device + "/vendor") != kVendorEnsoniq || ReadHexFile(device + "/device") != kDeviceEs1370) {
      continue;
    }
    // Each line of "resource": start, end and flags, in hexadecimal; line N is BAR N.
    std::ifstream resources(device + "/resource");
    std::string line;
    for (int index = 0; index < kStandardBars && std::getline(resources, line); ++index) {
      unsigned long long start = 0, end = 0, flags = 0;
      if (std::sscanf(line.c_str(), "%llx %llx %llx", &start, &end, &flags) != 3) continue;
      if ((flags & kIoResourceFlag) && end >= start && port >= start && port + 3ull <= end) {
        return Es1370Bar{device, index, start, end};
      }
    }
  }
  return std::nullopt;
}

bool PortBelongsToEs1370(const std::string& sysfsRoot, uint16_t port) {
  return FindEs1370Bar(sysfsRoot, port).has_value();
}

std::string ResourceFilePath(const Es1370Bar& bar) { return bar.device + "/resource" + std::to_string(bar.index); }
