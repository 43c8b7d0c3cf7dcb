#include "app/music_folder.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

bool ScanMusicOption(const std::string& commandLine) {
  size_t from = 0;
  while (from < commandLine.size()) {
    const size_t end = std::min(commandLine.find(' ', from), commandLine.size());
    const std::string token = commandLine.substr(from, end - from);
    if (token.size() == 2 && (token[0] == '-' || token[0] == '/') && (token[1] == 'm' || token[1] == 'M')) return true;
    from = end + 1;
  }
  return false;
}

std::string MusicFolder(std::string& why) {
  std::FILE* tool = popen("xdg-user-dir MUSIC 2>/dev/null", "r");
  if (!tool) {
    why = std::string("cannot run xdg-user-dir: ") + std::strerror(errno);
    return "";
  }
  std::string folder;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, tool)) folder += buffer;
  const int status = pclose(tool);
  while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) == 127) {
    why = "xdg-user-dir is not installed (it comes with the package xdg-user-dirs)";
    return "";
  }
  if (WEXITSTATUS(status) != 0 || folder.empty()) {
    why = "xdg-user-dir names no music folder";
    return "";
  }
  const char* home = std::getenv("HOME");
  std::error_code ec;
  if (home && *home && std::filesystem::path(folder).lexically_normal() == std::filesystem::path(home).lexically_normal()) {
    why = "no music folder is set (xdg-user-dir MUSIC names the home folder; xdg-user-dirs-update sets one)";
    return "";
  }
  return folder;
}

bool EnterMusicFolder(std::string& why) {
  const std::string folder = MusicFolder(why);
  if (folder.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    why = "cannot create the music folder " + folder + ": " + ec.message();
    return false;
  }
  if (chdir(folder.c_str()) != 0) {
    why = "cannot enter the music folder " + folder + ": " + std::strerror(errno);
    return false;
  }
  return true;
}
