// The format table and its copies: the desktop entry and the metainfo list exactly its MIME
// types, and the manual page, the README, --help and the metainfo's description name every
// format it reads, so none of them can drift from what the program takes.
#include "formats/formats.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "cli/start_up.h"
#include "support/temp_dir.h"

namespace varnook::test {
namespace {

std::string SourceFile(const std::string& name) { return ReadText(std::getenv("VARNOOK_SOURCE_DIR") + ("/" + name)); }

// The text as a reader sees it: roff's font changes and escaped hyphens undone, every run of
// white space one blank, so that a name broken over two lines is still found.
std::string AsRead(const std::string& text)
{
    std::string plain = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    plain = std::regex_replace(plain, std::regex(R"(\\-)"), "-");
    return std::regex_replace(plain, std::regex(R"(\s+)"), " ");
}

// True when `text` holds `word` on its own: ".aif" is not found in ".aiff", "AIFF" not in "AIFF-C".
bool Names(const std::string& text, std::string_view word)
{
    const std::string escaped = std::regex_replace(std::string(word), std::regex(R"([.+])"), R"(\$&)");
    return std::regex_search(text, std::regex("(^|[^A-Za-z0-9-])" + escaped + "($|[^A-Za-z0-9-])"));
}

std::set<std::string> Captures(const std::string& text, const std::string& pattern)
{
    std::set<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        found.insert((*it)[1]);
    return found;
}

TEST(FormatTable, DesktopEntryAndMetainfoListItsMimeTypes)
{
    std::set<std::string> table;
    for (const Format& format : Formats())
        if (format.Reads()) table.emplace(format.Mime);
    const std::string desktop = SourceFile("data/varnook.desktop");
    std::smatch line;
    ASSERT_TRUE(std::regex_search(desktop, line, std::regex("MimeType=(.*)"))) << desktop;
    EXPECT_EQ(Captures(line[1].str(), "([^;]+)"), table) << "data/varnook.desktop";
    EXPECT_EQ(Captures(SourceFile("data/org.varnook.Varnook.metainfo.xml"), "<mediatype>([^<]+)</mediatype>"), table);
}

TEST(FormatTable, EveryFormatReadIsNamedWherePeopleLook)
{
    const std::string metainfo = SourceFile("data/org.varnook.Varnook.metainfo.xml");
    const size_t description = metainfo.find("<description>");
    const struct { const char* where; std::string text; bool withExtensions; } copies[] = {
        {"data/varnook.1", AsRead(SourceFile("data/varnook.1")), true},
        {"README.md", AsRead(SourceFile("README.md")), true},
        {"--help", AsRead(UsageText()), true},
        {"the metainfo's description", AsRead(metainfo.substr(description, metainfo.find("</description>") - description)), false},
    };
    for (const auto& copy : copies) {
        for (const Format& format : Formats()) {
            if (!format.Reads()) continue;
            EXPECT_TRUE(Names(copy.text, format.Name)) << copy.where << " does not name " << format.Name;
            EXPECT_TRUE(!copy.withExtensions || Names(copy.text, format.Ext)) << copy.where << " lacks " << format.Ext;
        }
    }
}

}  // namespace
}  // namespace varnook::test
