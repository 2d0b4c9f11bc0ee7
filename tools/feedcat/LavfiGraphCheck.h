// Whether a lavfi graph uses only filters that read no file, URL or device, so that opening it
// to look at it touches nothing outside the process.
#pragma once

#include <string>

namespace feedcat {

bool IsSelfContainedGraph(const std::string& graph);

}  // namespace feedcat
