#include "recorder/track_naming.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <ctime>

namespace {
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apl", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}

#ifndef _WIN32  // Windows: recorder/system_naming_win.cpp
LocalDate SystemNaming::Today() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_mday, local.tm_mon + 1};
}

bool SystemNaming::EntryExists(const std::string& path) const {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}
#endif

const char* MonthAbbreviation(int month) {
  return month >= 1 && month <= 12 ? kMonths[month - 1] : "???";
}

namespace {

// The first free name of `date` whose number is `first` or above.
std::string FirstFreeFrom(const std::string& folder, LocalDate date, int first, const NamingServices& services) {
  char name[32];
  for (int counter = first;; ++counter) {
    std::snprintf(name, sizeof name, "%02d%3s%03d", date.day, MonthAbbreviation(date.month), counter);
    if (!services.EntryExists(folder + name + ".wav")) return name;
  }
}

// The sequence number of `path` when it is folder + DDMmm of `date` + digits
// + ".wav"; 0 when it is not such a path (or the number is out of range).
int SequenceNumberOf(const std::string& path, const std::string& folder, LocalDate date) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%02d%3s", date.day, MonthAbbreviation(date.month));
  const std::string head = folder + prefix;
  const std::string tail = ".wav";
  if (path.size() < head.size() + 3 + tail.size() || path.compare(0, head.size(), head) != 0 ||
      path.compare(path.size() - tail.size(), tail.size(), tail) != 0) {
    return 0;
  }
  const std::string digits = path.substr(head.size(), path.size() - head.size() - tail.size());
  long long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
    if (number >= INT_MAX) return 0;  // no number after it: start again from 1
  }
  return static_cast<int>(number);
}

}  // namespace

std::string MakeTrackName(const std::string& folder, const NamingServices& services) {
  return FirstFreeFrom(folder, services.Today(), 1, services);
}

std::string MakeTrackNameAfter(const std::string& folder, const std::string& currentPath,
                               const NamingServices& services) {
  const LocalDate date = services.Today();
  return FirstFreeFrom(folder, date, SequenceNumberOf(currentPath, folder, date) + 1, services);
}
