// Every option feedcat knows, in one table: its names, its value, its line in --help, what
// its value may be, and how it changes the Options. The parser, the help text and the tests
// that hold the README and the man page to --help all read this table.
#pragma once

#include <string>
#include <vector>

#include "cli/Options.h"

namespace feedcat {

struct OptionEntry {
    // kValue takes a value, kSwitch none; kSourceList names a file of sources, read in its
    // place; kHelp, kVersion and kFormats print something and end the run.
    enum class Kind { kValue, kSwitch, kSourceList, kHelp, kVersion, kFormats };
    Kind kind = Kind::kValue;
    const char* group = "";      // the --help heading it is listed under
    const char* shortName = "";  // "-o", or ""
    const char* longName = "";   // "--output"
    const char* valueName = "";  // "OUTPUT"; "" for a switch
    const char* help = "";       // its --help line
    const char* accepted = "";   // what its value may be, said when a value is refused
    // Reads the value (ignored for a switch) into options; false when the value is refused.
    bool (*apply)(const std::string& value, Options* options) = nullptr;
};

const std::vector<OptionEntry>& OptionTable();

// The option called name ("-o", "--output"), or null.
const OptionEntry* FindOption(const std::string& name);

}  // namespace feedcat
