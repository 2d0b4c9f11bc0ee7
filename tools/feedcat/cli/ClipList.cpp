#include "cli/ClipList.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "cli/SourceSyntax.h"

namespace feedcat {
namespace {

constexpr char kLavfiPrefix[] = "lavfi:";

std::string Trimmed(const std::string& line) {
    const char* const space = " \t\r\n";
    const std::size_t begin = line.find_first_not_of(space);
    if (begin == std::string::npos) {
        return "";
    }
    return line.substr(begin, line.find_last_not_of(space) - begin + 1);
}

// The list's folder with a trailing "/", or "" for a list in the working folder.
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

bool ReadClipList(const std::string& path, std::vector<SourceArg>* sources,
                  std::vector<SourceWarning>* warnings, std::string* error) {
    std::ifstream list(path);
    if (!list) {
        *error = "cannot read clip list '" + path + "': " + std::strerror(errno);
        return false;
    }
    const std::string folder = FolderOf(path);
    std::string line;
    for (int number = 1; std::getline(list, line); ++number) {
        const std::string text = Trimmed(line);
        if (text.empty() || text[0] == '#') {
            continue;
        }
        SourceArg source;
        std::string reason;
        std::string warning;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (!ParseSource(text, &source, &reason, &warning)) {
            *error = where + reason;
            return false;
        }
        if (!folder.empty() && source.file[0] != '/' &&
            source.file.compare(0, sizeof(kLavfiPrefix) - 1, kLavfiPrefix) != 0) {
            source.file = folder + source.file;
        }
        if (!warning.empty()) {
            // Without the line: the same span written on many lines is one warning.
            warnings->push_back(SourceWarning{source.file, warning});
        }
        sources->push_back(std::move(source));
    }
    if (list.bad()) {
        *error = "cannot read clip list '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace feedcat
