// Something the user should know about one source or setting; it is printed when it is found
// and listed again in the --json summary.
#pragma once

#include <string>

namespace feedcat {

struct SourceWarning {
    std::string source;  // the file name as given; "" when it is about no one source
    std::string message;
};

}  // namespace feedcat
