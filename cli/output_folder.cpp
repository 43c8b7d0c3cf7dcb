#include "cli/output_folder.h"

#include <filesystem>
#include <system_error>

#include "cli/cli_text.h"

std::string MakeOutputFolder(const std::string& folder, Language language, bool& created) {
  namespace fs = std::filesystem;
  created = false;
  const fs::path path(folder);
  std::error_code error;
  if (fs::is_directory(path, error)) return "";
  // The nearest part of the path that exists must be a folder: a file there
  // is named, rather than the system's "Not a directory".
  for (fs::path part = path; !part.empty(); part = part.parent_path()) {
    std::error_code statusError;
    const fs::file_status status = fs::status(part, statusError);
    if (fs::exists(status)) {
      if (!fs::is_directory(status)) return CliText(CliTextId::kRecFolderIsFile, language, {part.string(), folder});
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
