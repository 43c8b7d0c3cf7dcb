#include "recorder/track_naming.h"

#include <sys/stat.h>

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

std::string MakeTrackName(const std::string& folder, const NamingServices& services) {
  const LocalDate date = services.Today();
  char name[32];
  for (int counter = 1;; ++counter) {
    std::snprintf(name, sizeof name, "%02d%3s%03d", date.day, MonthAbbreviation(date.month), counter);
    if (!services.EntryExists(folder + name + ".wav")) return name;
  }
}
