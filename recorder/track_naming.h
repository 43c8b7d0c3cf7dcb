// Track file names: DDMmmNNN (day, month from the program's own table,
// sequence number of at least three digits): the first one free in a folder,
// or, for the next track of a recording, the first one free after the
// current track's.
#pragma once

#include <string>

#ifdef _WIN32
inline constexpr char kFolderSeparator = '\\';
#else
inline constexpr char kFolderSeparator = '/';
#endif

struct LocalDate {
  int day;    // 1..31
  int month;  // 1..12
};

/// What naming needs of the platform: today's local date and whether a
/// directory entry (file or folder) of an exact path exists.
class NamingServices {
 public:
  virtual ~NamingServices() = default;
  virtual LocalDate Today() const = 0;
  virtual bool EntryExists(const std::string& path) const = 0;
};

/// The real clock and file system.
class SystemNaming : public NamingServices {
 public:
  LocalDate Today() const override;
  bool EntryExists(const std::string& path) const override;
};

/// The month table's entry for month 1..12 ("Apl" for April).
const char* MonthAbbreviation(int month);

/// The first name "%02d%3s%03d" (without folder and ".wav") whose path
/// folder + name + ".wav" names no existing entry, searching from 1 and
/// using one date for every candidate. `folder` is empty or ends in the
/// folder separator.
std::string MakeTrackName(const std::string& folder, const NamingServices& services);

/// The name for the track that follows the file at `currentPath` in the same
/// recording. When `currentPath` is `folder` + a name of today's date + ".wav",
/// the answer is the first free name whose number is above that name's, so
/// that a recording's files sort in recording order and a track change checks
/// only the names after the current one (numbers freed below it are not taken
/// again). Otherwise (another folder, another day, or no track name) it is
/// MakeTrackName's answer: the first free number from 1.
std::string MakeTrackNameAfter(const std::string& folder, const std::string& currentPath,
                               const NamingServices& services);
