#include "library/walk.h"


#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string_view>
#include <system_error>

#include "formats/formats.h"
#include "io/errors.h"
#include "io/paths.h"
#include "pipeline/output_naming.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Compares the digit runs starting at a[i] and b[j] by value and moves both past them.
int CompareNumbers(std::string_view a, size_t& i, std::string_view b, size_t& j)
{
    // Leading zeros do not count towards the value; a longer run of what is left is bigger.
    while (i < a.size() && a[i] == '0' && i + 1 < a.size() && IsDigit(a[i + 1])) ++i;
    while (j < b.size() && b[j] == '0' && j + 1 < b.size() && IsDigit(b[j + 1])) ++j;
    size_t ei = i, ej = j;
    while (ei < a.size() && IsDigit(a[ei])) ++ei;
    while (ej < b.size() && IsDigit(b[ej])) ++ej;
    int result = 0;
    if (ei - i != ej - j) {
        result = ei - i < ej - j ? -1 : 1;
    } else {
        result = a.substr(i, ei - i).compare(b.substr(j, ej - j));
    }
    i = ei;
    j = ej;
    return result;
}

int NaturalCompare(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            if (const int c = CompareNumbers(a, i, b, j); c != 0) return c;
            continue;
        }
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[j]));
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

struct Entry {
    std::string name;
    bool folder;
};

std::vector<Entry> ListFolder(const fs::path& folder, std::error_code& ec)
{
    std::vector<Entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code typeError;
        // A link to a folder is passed over; a link to a file is a file like any other.
        if (it->is_symlink(typeError) && it->is_directory(typeError)) continue;
        if (it->is_directory(typeError)) {
            entries.push_back({name, true});
        } else if (it->is_regular_file(typeError)) {
            entries.push_back({name, false});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return NaturalLess(a.name, b.name); });
    return entries;
}

struct Walker {
    OutputFormat output;
    FileSet notEntered;  // by device and inode, as the walk meets a folder under any name
    std::vector<LibrarySource>& out;

    void Walk(const fs::path& folder, const std::string& mirror)
    {
        std::error_code ec;
        const std::vector<Entry> entries = ListFolder(folder, ec);
        if (ec) {
            const std::string why = FileErrorFromErrno(ec.value()).LogText();
            out.push_back({folder.string(), mirror, "Could not read the folder " + folder.string() + ": " + why});
            return;
        }
        const std::string prefix = folder.string() + "/";

        // What the sources of this folder would write beside themselves, and which source
        // would: never a source.
        std::map<std::string, std::string> outputs;
        for (const Entry& e : entries) {
            if (e.folder || !TakesAsSource(e.name)) continue;
            outputs.emplace(NameOutput(prefix + e.name, "", output, RealFileProbe()).Path, prefix + e.name);
        }

        for (const Entry& e : entries) {
            const std::string path = prefix + e.name;
            if (e.folder) {
                if (!notEntered.Contains(path)) Walk(folder / e.name, mirror + e.name + "/");
            } else if (TakesAsSource(e.name)) {
                const auto writer = outputs.find(path);
                if (writer == outputs.end()) out.push_back({path, mirror});
                else out.push_back({path, mirror, "", "the output of " + writer->second});
            }
        }
    }
};

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b)
{
    const int c = NaturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::vector<LibrarySource> WalkLibrary(const std::string& folder, OutputFormat output,
                                       const std::vector<std::string>& notEntered)
{
    std::vector<LibrarySource> out;
    Walker walker{output, FileSet(notEntered), out};
    fs::path root(folder);
    if (!folder.empty() && folder.back() == '/') root = fs::path(folder.substr(0, folder.size() - 1));
    walker.Walk(root, "");
    return out;
}

std::vector<LibrarySource> WalkFolder(const std::string& folder, OutputFormat output)
{
    std::vector<LibrarySource> sources = WalkLibrary(folder, output, {});
    std::erase_if(sources,
                  [](const LibrarySource& found) { return !found.Failure.empty() || !found.PassedOver.empty(); });
    return sources;
}

}  // namespace varnook
