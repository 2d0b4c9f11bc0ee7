#include "JsonCheck.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "FfprobeCheck.h"
#include "tests/support/ScratchFolder.h"

namespace feedcat_test {

std::vector<std::string> JsonValues(const std::string& text,
                                    const std::vector<std::string>& paths) {
    support::ScratchFolder folder("feedcat-json");
    const std::string file = folder.File("out.json");
    {
        std::ofstream out(file, std::ios::binary);
        out << text;
    }
    const char script[] =
        "import json, sys\n"
        "value = json.loads(open(sys.argv[1]).read())\n"
        "assert isinstance(value, dict)\n"
        "for path in sys.argv[2:]:\n"
        "    at = value\n"
        "    for key in path.split('.'):\n"
        "        if isinstance(at, list) and key.isdigit() and int(key) < len(at):\n"
        "            at = at[int(key)]\n"
        "        elif isinstance(at, dict) and key in at:\n"
        "            at = at[key]\n"
        "        else:\n"
        "            at = 'MISSING'\n"
        "            break\n"
        "    print(json.dumps(at))\n";
    std::string command = "python3 -c " + ShellQuoted(script) + " " + ShellQuoted(file);
    for (const std::string& path : paths) {
        command += " " + ShellQuoted(path);
    }
    std::istringstream lines(CommandOutput(command));
    std::vector<std::string> values;
    for (std::string line; std::getline(lines, line);) {
        values.push_back(line);
    }
    if (values.size() != paths.size()) {
        return {};
    }
    return values;
}

}  // namespace feedcat_test
