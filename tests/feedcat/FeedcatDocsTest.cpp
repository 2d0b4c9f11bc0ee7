// The README's feedcat section, the manual page and `feedcat --help` name the same options,
// and --help names every option of the table the parser reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>
#include <string>

#include "FeedcatProcess.h"
#include "cli/OptionTable.h"
#include "play/PlayKeys.h"

namespace feedcat_test {
namespace {

bool NamePart(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
}

// Every "--word-word" and every "-x" (one letter, then no name character) that does not
// continue a word: "MPEG-4" and "libvpx-vp9" are no options.
std::set<std::string> OptionNames(const std::string& text) {
    std::set<std::string> names;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '-' || (at > 0 && NamePart(text[at - 1]))) {
            continue;
        }
        const bool isLong = at + 1 < text.size() && text[at + 1] == '-';
        std::size_t end = at + (isLong ? 2 : 1);
        if (end >= text.size() || std::islower(static_cast<unsigned char>(text[end])) == 0) {
            continue;
        }
        while (end < text.size() && NamePart(text[end])) {
            ++end;
        }
        if (isLong || end == at + 2) {
            names.insert(text.substr(at, end - at));
        }
        at = end;
    }
    return names;
}

// The section's prose, without its shell blocks: those hold other commands' options too
// ("mkdir -p"), and run-readme-recipes.sh checks that feedcat accepts theirs.
std::string ReadmeSection() {
    const std::string readme = ReadFileBytes(std::string(FEED_SOURCE_DIR) + "/README.md");
    const std::string mark = "<!-- feedcat -->";
    const std::size_t begin = readme.find(mark);
    const std::size_t end = readme.find(mark, begin + mark.size());
    if (begin == std::string::npos || end == std::string::npos) {
        return "";
    }
    std::istringstream lines(readme.substr(begin, end - begin));
    std::string prose;
    bool inBlock = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("```", 0) == 0) {
            inBlock = !inBlock;
        } else if (!inBlock) {
            prose += line + "\n";
        }
    }
    return prose;
}

// troff writes a minus as "\-".
std::string ManPageText() {
    std::string page = ReadFileBytes(std::string(FEED_SOURCE_DIR) + "/tools/feedcat/feedcat.1");
    std::string plain;
    for (std::size_t at = 0; at < page.size(); ++at) {
        if (page[at] == '\\' && at + 1 < page.size() && page[at + 1] == '-') {
            continue;
        }
        plain += page[at];
    }
    return plain;
}

// "" when the two sets are equal, else what one lacks and the other has.
std::string Difference(const std::set<std::string>& found, const std::set<std::string>& wanted) {
    std::string missing;
    std::string extra;
    for (const std::string& name : wanted) {
        missing += found.count(name) == 0 ? " " + name : "";
    }
    for (const std::string& name : found) {
        extra += wanted.count(name) == 0 ? " " + name : "";
    }
    if (missing.empty() && extra.empty()) {
        return "";
    }
    return "missing:" + missing + "; not in --help:" + extra;
}

TEST(FeedcatDocs, ReadmeManPageAndHelpNameTheSameOptions) {
    ScratchFolder folder;
    const ProcessResult help = RunFeedcat({"--help"}, folder);
    ASSERT_EQ(help.status, 0);
    const std::set<std::string> inHelp = OptionNames(help.out);

    std::set<std::string> inTable;
    for (const feedcat::OptionEntry& entry : feedcat::OptionTable()) {
        inTable.insert(entry.longName);
        if (entry.shortName[0] != '\0') {
            inTable.insert(entry.shortName);
        }
    }
    EXPECT_EQ(Difference(inHelp, inTable), "") << "--help against the option table";
    EXPECT_GE(inTable.size(), 30u) << "the table was not read";

    const std::string section = ReadmeSection();
    ASSERT_FALSE(section.empty()) << "no feedcat section between <!-- feedcat --> marks";
    EXPECT_EQ(Difference(OptionNames(section), inHelp), "") << "README's feedcat section";
    EXPECT_EQ(Difference(OptionNames(ManPageText()), inHelp), "") << "tools/feedcat/feedcat.1";
}

// The keys --help lists in its keys section: the left part of each line, "q, Esc" being two.
std::set<std::string> HelpKeys(const std::string& help) {
    std::set<std::string> keys;
    const std::size_t section = help.find("Keys in the --play window");
    if (section == std::string::npos) {
        return keys;
    }
    std::istringstream lines(help.substr(help.find('\n', section) + 1));
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        const std::string left = line.substr(2, line.find("  ", 2) - 2);
        for (std::size_t at = 0; at < left.size();) {
            const std::size_t comma = std::min(left.find(", ", at), left.size());
            keys.insert(left.substr(at, comma - at));
            at = comma + 2;
        }
    }
    return keys;
}

// The keys of the --play window: --help lists those of the table the player reads, the README
// names each as `key` and the man page in bold.
TEST(FeedcatDocs, ReadmeManPageAndHelpListThePlayKeys) {
    ScratchFolder folder;
    const ProcessResult help = RunFeedcat({"--help"}, folder);
    ASSERT_EQ(help.status, 0);
    std::set<std::string> inTable;
    const std::string readme = ReadmeSection();
    const std::string manPage = ManPageText();
    for (const feedcat::PlayKey& key : feedcat::PlayKeys()) {
        const std::string name = key.name;
        inTable.insert(name);
        EXPECT_NE(readme.find("`" + name + "`"), std::string::npos)
            << name << " in README's feedcat section";
        EXPECT_TRUE(manPage.find("\\fB" + name + "\\fR") != std::string::npos ||
                    manPage.find(".B " + name + "\n") != std::string::npos)
            << name << " in tools/feedcat/feedcat.1";
    }
    EXPECT_EQ(HelpKeys(help.out), inTable) << help.out;
}

TEST(FeedcatDocs, OptionNamesAreReadOnlyWhereTheyStand) {
    EXPECT_EQ(OptionNames("MPEG-4 libvpx-vp9 -1,-1 x -o out --fps=25 (-y) `-n`/`--no-overwrite`"),
              (std::set<std::string>{"-o", "--fps", "-y", "-n", "--no-overwrite"}));
}

}  // namespace
}  // namespace feedcat_test
