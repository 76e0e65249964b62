#include "support/tag_dump.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/captured_run.h"

namespace varnook::test {
namespace {

const std::string kDump = R"(import base64, hashlib, sys, mutagen, mutagen.id3
from mutagen.flac import Picture
def sha(data): return hashlib.sha1(data).hexdigest()
def picture(p): return '%d %s %s' % (p.type, p.mime, sha(p.data))
f = mutagen.File(sys.argv[1])
lines = []
if isinstance(f.tags, mutagen.id3.ID3):
    for fr in f.tags.values():
        key = 'TYER' if fr.HashKey == 'TDRC' else fr.HashKey
        if fr.FrameID == 'APIC': value = picture(fr)
        elif hasattr(fr, 'data'): value = sha(fr.data)
        elif hasattr(fr, 'url'): value = fr.url
        else: value = '/'.join(str(t) for t in fr.text) if isinstance(fr.text, list) else str(fr.text)
        lines.append(key + '=' + value)
elif f.tags is not None:
    for k, v in f.tags:
        if k.upper() == 'METADATA_BLOCK_PICTURE':
            p = Picture(base64.b64decode(v)); lines.append('PICTURE:' + p.desc + '=' + picture(p))
        else: lines.append(k + '=' + v)
    for p in getattr(f, 'pictures', []): lines.append('PICTURE:' + p.desc + '=' + picture(p))
print('\n'.join(sorted(lines))))";

}  // namespace

std::vector<std::string> DumpTags(const std::string& path)
{
    const CapturedRun dump = RunCaptured("/usr/bin/python3", {"-c", kDump, path});
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    std::vector<std::string> lines = dump.Lines();
    std::erase(lines, "");
    return lines;
}

std::string TagValue(const std::vector<std::string>& lines, const std::string& key)
{
    const auto found =
        std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(key + "="); });
    return found == lines.end() ? "" : found->substr(key.size() + 1);
}

}  // namespace varnook::test
