// ExpandRule with the rule and the tag from the input, the tag read from a
// file in memory: the new path stays within 1023 bytes and its NUL, keeps
// the file's drive and folder, and is the path itself when nothing was
// replaced.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/filelist/FileEntry.h"
#include "core/filelist/SplitPath.h"
#include "core/rename/NamingRule.h"
#include "fuzz/FuzzCheck.h"
#include "tests/core/MemoryFileOps.h"

using namespace selvane;

namespace {

template <std::size_t N>
bool Terminated(const char (&field)[N]) {
  return std::memchr(field, '\0', N) != nullptr;
}
bool Terminated(const PathText& path) {
  return path.size() <= MaxPathBytes && path.c_str()[path.size()] == '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // A folder with a drive, a plain one, one whose name ends in the byte
  // 0x5C ("ソ"), and one so deep that a long name no longer fits.
  static const std::string deep = "/" + std::string(200, 'd') + "/" + std::string(200, 'e') + "/" +
                                  std::string(200, 'f') + "/" + std::string(200, 'g') + "/";
  const std::string folders[] = {"C:\\m\\", "/m/", "/m/\x83\x5C/", deep};
  const std::string& folder = folders[in.ConsumeIntegralInRange(0, 3)];
  const int position = in.ConsumeIntegralInRange(1, 1024);
  const int kind = in.ConsumeIntegralInRange(0, 3);  // tagged, untagged, missing, link
  const std::string rule = in.ConsumeRandomLengthString(160);
  const std::string name = in.ConsumeRandomLengthString(300);
  std::string trailer = "TAG" + in.ConsumeBytesAsString(125);
  trailer.resize(128, ' ');

  MemoryFileOps fs;
  for (std::size_t at = folder.find_first_of("\\/", 1); at != std::string::npos;
       at = folder.find_first_of("\\/", at + 1))
    fs.AddFolder(folder.substr(0, at));
  FileEntry entry{};
  CopyField(entry.path, folder + name);
  const std::string path(entry.path);
  const std::string audio(200, '\xFF');
  if (kind == 0 || kind == 3) {
    fs.AddFile(kind == 0 ? path : folder + "real.mp3", audio + trailer);
    if (kind == 3) fs.AddLink(path, "real.mp3");
  } else if (kind == 1) {
    fs.AddFile(path, audio);
  }
  // Whatever the name became (a name can fail to be made), the tag is there
  // when the path leads to a file that ends in one.
  std::string bytes;
  const bool tagged = fs.Read(path, bytes) && bytes.size() >= TrailerSize &&
                      bytes.compare(bytes.size() - TrailerSize, 3, "TAG") == 0;

  ExpandRule(rule, entry, position, fs);

  FUZZ_CHECK(Terminated(entry.newPath) && Terminated(entry.path) && Terminated(entry.title) &&
             Terminated(entry.artist) && Terminated(entry.album) && Terminated(entry.year) &&
             Terminated(entry.comment));
  FUZZ_CHECK(entry.path == path);
  const std::string_view newPath = entry.newPath;
  const std::string_view ruleText = std::string_view(rule).substr(0, rule.find('\0'));
  if (!ruleText.empty()) FUZZ_CHECK(entry.hasTag == (tagged ? 1 : 0));

  const PathParts parts = SplitPath(path);
  FUZZ_CHECK(newPath.starts_with(parts.drive + parts.directory));
  // Only a token can change the name: $F always, the tag's four when tagged.
  const bool tokens = ruleText.find("$F") != std::string_view::npos ||
                      (tagged && (ruleText.find("$T") != std::string_view::npos ||
                                  ruleText.find("$A") != std::string_view::npos ||
                                  ruleText.find("$L") != std::string_view::npos ||
                                  ruleText.find("$R") != std::string_view::npos));
  if (!tokens) FUZZ_CHECK(newPath == path);
  if (newPath != path) {
    FUZZ_CHECK(ruleText.size() <= WorkTextLimit);
    FUZZ_CHECK(newPath.size() - parts.drive.size() - parts.directory.size() <= WorkTextLimit);
  }
  return 0;
}
