#include "cli/output_folder.h"

#include <filesystem>
#include <system_error>

#include "cli/cli_text.h"

namespace {

// The names are UTF-8 (on Windows too, where the command line is read as
// Unicode): the path is made from them and named back in them as such.
std::filesystem::path Utf8Path(const std::string& name) { return std::u8string(name.begin(), name.end()); }

std::string Utf8Name(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

std::string MakeOutputFolder(const std::string& folder, Language language, bool& created) {
  namespace fs = std::filesystem;
  created = false;
  const fs::path path = Utf8Path(folder);
  std::error_code error;
  if (fs::is_directory(path, error)) return "";
  // The nearest part of the path that exists must be a folder: a file there
  // is named, rather than the system's "Not a directory".
  for (fs::path part = path; !part.empty(); part = part.parent_path()) {
    std::error_code statusError;
    const fs::file_status status = fs::status(part, statusError);
    if (fs::exists(status)) {
      if (!fs::is_directory(status)) return CliText(CliTextId::kRecFolderIsFile, language, {Utf8Name(part), folder});
      break;
    }
    if (part == part.parent_path()) break;
  }
  created = fs::create_directories(path, error);
  if (error) {
    created = false;
    return CliText(CliTextId::kRecCannotMakeFolder, language, {folder, error.message()});
  }
  return "";
}
