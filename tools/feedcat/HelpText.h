// The texts of --help and --version.
#pragma once

#include <string>

namespace feedcat {

std::string HelpText();
std::string VersionText();

}  // namespace feedcat
