// Reads feedcat's --json output with Python's json module: whether it is exactly one JSON
// object, and the values at some paths in it.
#pragma once

#include <string>
#include <vector>

namespace feedcat_test {

// The values at paths ("exit_status", "error.code", "warning_list.0.source") in text, each as
// JSON ("130", "\"usage\"", "null"); empty when text is not exactly one JSON object.
std::vector<std::string> JsonValues(const std::string& text, const std::vector<std::string>& paths);

}  // namespace feedcat_test
