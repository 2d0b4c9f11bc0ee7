// A list of sources in a file (--clips FILE): one SOURCE per line, written as on the command
// line; blank lines and lines whose first character other than a space is "#" are skipped,
// spaces around a line are not part of it, and a file name that is not absolute (nor a lavfi:
// graph) is taken relative to the list's folder.
#pragma once

#include <string>
#include <vector>

#include "cli/Options.h"
#include "console/SourceWarning.h"

namespace feedcat {

// Appends the list's sources to sources and what ParseSource warns about to warnings; false
// with "LIST:LINE: reason" (or why the list cannot be read) in error.
bool ReadClipList(const std::string& path, std::vector<SourceArg>* sources,
                  std::vector<SourceWarning>* warnings, std::string* error);

}  // namespace feedcat
