// What --help and --version print. The options' lines come from the option table.
#pragma once

#include <string>

namespace feedcat {

std::string HelpText();
std::string VersionText();

}  // namespace feedcat
