// The folder tapewell-rec writes its tracks into (-w): made when it is
// missing, with its parents, so that an example typed with a new folder works.
#pragma once

#include <string>

#include "recorder/string_table.h"

/// Makes the folder `folder` and any missing parent. Returns "" when it is
/// there afterwards (`created`: whether this call made it), else why not in
/// `language`: a file stands where a folder must be, or the system's reason
/// (no permission, a full or read-only disk) with the folder named.
std::string MakeOutputFolder(const std::string& folder, Language language, bool& created);
