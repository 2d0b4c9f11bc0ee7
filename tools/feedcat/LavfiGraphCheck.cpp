#include "LavfiGraphCheck.h"

#include <set>
#include <vector>

namespace feedcat {
namespace {

const std::set<std::string>& KnownFilters() {
    static const std::set<std::string> filters = {
        // generators
        "allrgb", "allyuv", "color", "mandelbrot", "nullsrc", "pal100bars", "pal75bars",
        "rgbtestsrc", "smptebars", "smptehdbars", "testsrc", "testsrc2", "yuvtestsrc", "aevalsrc",
        "anoisesrc", "anullsrc", "sine",
        // processing
        "crop", "drawbox", "drawgrid", "fade", "format", "fps", "hflip", "negate", "null", "pad",
        "rotate", "scale", "setdar", "setpts", "setsar", "trim", "vflip", "afade", "aformat",
        "anull", "apad", "aresample", "asetpts", "atrim", "pan", "volume"};
    return filters;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The graph cut at the separators between filters (',' and ';'), outside quotes and escapes.
std::vector<std::string> FilterTexts(const std::string& graph) {
    std::vector<std::string> parts;
    std::string current;
    bool quoted = false;
    for (std::size_t i = 0; i < graph.size(); ++i) {
        const char c = graph[i];
        if (c == '\\' && i + 1 < graph.size()) {
            current += c;
            current += graph[++i];
        } else if (c == '\'') {
            quoted = !quoted;
            current += c;
        } else if (!quoted && (c == ',' || c == ';')) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

}  // namespace

bool IsSelfContainedGraph(const std::string& graph) {
    const std::vector<std::string> parts = FilterTexts(graph);
    for (const std::string& part : parts) {
        std::string text = Trim(part);
        // Leading link labels: [in]
        while (!text.empty() && text[0] == '[') {
            const std::size_t close = text.find(']');
            if (close == std::string::npos) {
                return false;
            }
            text = Trim(text.substr(close + 1));
        }
        const std::size_t end = text.find_first_of("=@[ \t");
        const std::string name = text.substr(0, end);
        if (name.empty() || KnownFilters().count(name) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace feedcat
