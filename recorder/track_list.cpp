#include "recorder/track_list.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "recorder/track_naming.h"
#include "wavefile/utf8_file.h"

namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 in both directions, on every platform.
fs::path P(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }
std::string U8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The folder part of `path` ("" for a bare name), made absolute and normal.
fs::path FolderOf(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(P(path), ec);
  return (ec ? P(path) : absolute).lexically_normal().parent_path();
}

std::string NameOf(const std::string& path) { return U8(P(path).filename()); }

std::string Seconds(int64_t frames, int32_t rate) {
  char text[40];
  std::snprintf(text, sizeof text, "%" PRId64 ".%06" PRId64, frames / rate, frames % rate * 1000000 / rate);
  return text;
}

}  // namespace

std::string CueSheetText(const std::vector<ListedTrack>& tracks, int32_t rate, const std::string& cueFolder) {
  std::string text = "REM COMMENT \"tapewell-rec\"\nREM RATE " + std::to_string(rate) + "\n";
  const fs::path folder = FolderOf(cueFolder + "/x");
  int number = 0;
  for (const ListedTrack& t : tracks) {
    ++number;
    const bool beside = FolderOf(t.path) == folder;
    std::string file;
    std::error_code ec;
    file = beside ? NameOf(t.path) : U8(fs::absolute(P(t.path), ec).lexically_normal());
    char head[64];
    std::snprintf(head, sizeof head, "  TRACK %02d AUDIO\n", number);
    text += "FILE \"" + file + "\" WAVE\n";
    text += head;
    text += "    REM FIRST_FRAME " + std::to_string(t.firstFrame) + "\n";
    text += "    REM FRAMES " + std::to_string(t.frames) + "\n";
    text += "    INDEX 01 00:00:00\n";
  }
  return text;
}

std::string LabelFileText(const std::vector<ListedTrack>& tracks, int32_t rate) {
  std::string text;
  for (const ListedTrack& t : tracks) {
    text += Seconds(t.firstFrame, rate) + "\t" + Seconds(t.firstFrame + t.frames, rate) + "\t" + NameOf(t.path) + "\n";
  }
  return text;
}

bool ReplaceFile(const std::string& path, const std::string& text, std::string& why) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = OpenUtf8File(temporary.c_str(), "wb");
  if (!file) {
    why = temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeErrno = errno;
  if (std::fclose(file) != 0 || !written) {
    why = temporary + ": " + std::strerror(written ? errno : writeErrno);
    RemoveUtf8File(temporary.c_str());
    return false;
  }
  std::error_code ec;
  fs::rename(P(temporary), P(path), ec);
  if (ec) {
    why = path + ": " + ec.message();
    RemoveUtf8File(temporary.c_str());
    return false;
  }
  return true;
}

TrackList::TrackList(std::string cuePath, std::string labelsPath, int32_t rate)
    : cuePath_(std::move(cuePath)), labelsPath_(std::move(labelsPath)), rate_(rate) {}

bool TrackList::Start(std::string& why) {
  tracks_.clear();
  return Rewrite(why);
}

bool TrackList::Add(const ListedTrack& track, std::string& why) {
  tracks_.push_back(track);
  return Rewrite(why);
}

bool TrackList::Rewrite(std::string& why) {
  if (!cuePath_.empty() && !ReplaceFile(cuePath_, CueSheetText(tracks_, rate_, U8(FolderOf(cuePath_))), why)) {
    return false;
  }
  return labelsPath_.empty() || ReplaceFile(labelsPath_, LabelFileText(tracks_, rate_), why);
}

std::string BesideTrack(const std::string& trackPath, const std::string& extension) {
  const size_t dot = trackPath.rfind('.');
  const size_t slash = trackPath.find_last_of("/\\");
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? trackPath.substr(0, dot) : trackPath) + extension;
}
