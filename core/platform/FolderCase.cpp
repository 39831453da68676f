#include "core/platform/FolderCase.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>

#include "core/platform/Cp932.h"
#include "core/platform/Descriptor.h"
#include "core/platform/FolderListing.h"

namespace selvane {
namespace {

// A name with its ASCII letters in the other case; equal to `name` when it
// holds none.
std::string TurnCase(const std::string& name) {
  std::string turned = name;
  for (char& c : turned) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return turned;
}

enum class Answer { Ignores, Compares, Unknown };

// Whether the folder's listing holds exactly `name`.
bool Listed(const std::string& folder, const std::string& name) {
  FolderListing listing(folder);
  while (const std::optional<std::string_view> entry = listing.Next())
    if (*entry == name) return true;
  return false;
}

// Asks the folder with its own names. Inode numbers say nothing here: a
// FUSE medium hands out one per spelling. The turned name is asked first:
// most folders answer "no such file" at once, and only a folder that
// answers it is read through to see whether both spellings are listed.
Answer AskFolder(const std::string& folder) {
  std::unique_ptr<DIR, platform::DirCloser> dir(::opendir(folder.c_str()));
  if (!dir) return Answer::Unknown;
  int asked = 0;
  while (const dirent* item = ::readdir(dir.get())) {
    const std::string name = item->d_name;
    const std::string turned = TurnCase(name);
    if (name == "." || name == ".." || turned == name) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir.get()), turned.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      return Listed(folder, turned) ? Answer::Compares : Answer::Ignores;
    if (errno == ENOENT) return Answer::Compares;
    if (++asked == 16) break;
  }
  return Answer::Unknown;
}

// Moves a double-byte code in [first, last] by `shift`.
bool FoldRange(unsigned code, unsigned first, unsigned last, int shift, unsigned& out) {
  if (code < first || code > last) return false;
  out = static_cast<unsigned>(static_cast<int>(code) + shift);
  return true;
}

}  // namespace

bool TypeIgnoresCase(std::string_view fsType) {
  return IsFatFamily(fsType) || fsType == "cifs" || fsType == "smb3" || fsType == "smbfs" ||
         fsType == "hfs" || fsType == "hfsplus" || fsType == "iso9660";
}

bool FolderCase::IgnoresCase(const std::string& nativeFolder) {
  if (const auto known = known_.find(nativeFolder); known != known_.end()) return known->second;
  bool ignores = false;
  switch (AskFolder(nativeFolder)) {
    case Answer::Ignores:
      ignores = true;
      break;
    case Answer::Compares:
      break;
    case Answer::Unknown: {
      const Volume* volume = mounts_.VolumeOf(nativeFolder);
      ignores = volume != nullptr && TypeIgnoresCase(volume->fsType);
      break;
    }
  }
  known_.emplace(nativeFolder, ignores);
  return ignores;
}

// Upper case is the key, as the exFAT and NTFS up-case tables have it; these
// are the letters of code page 932 that such a table folds (checked on exFAT
// through FUSE: ASCII, full-width, Greek, Cyrillic and Roman numerals all
// fold there).
std::string CaseFoldKey(std::string_view cp932) {
  std::string key(cp932);
  for (std::size_t i = 0; i < key.size();) {
    const std::size_t length = CharLength(key, i);
    if (length == 1) {
      char& c = key[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      ++i;
      continue;
    }
    const unsigned code = static_cast<unsigned>(static_cast<unsigned char>(key[i])) << 8 |
                          static_cast<unsigned char>(key[i + 1]);
    unsigned folded = code;
    FoldRange(code, 0x8281, 0x829A, -0x21, folded) ||                // ａ-ｚ
        FoldRange(code, 0x83BF, 0x83D6, -0x20, folded) ||            // α-ω
        FoldRange(code, 0x8470, 0x847E, -0x30, folded) ||            // а-н, ё
        FoldRange(code, 0x8480, 0x8491, -0x31, folded) ||            // о-я
        FoldRange(code, 0xEEEF, 0xEEF8, 0x8754 - 0xEEEF, folded) ||  // ⅰ-ⅹ (NEC-selected)
        FoldRange(code, 0xFA40, 0xFA49, 0x8754 - 0xFA40, folded) ||  // ⅰ-ⅹ (IBM)
        FoldRange(code, 0xFA4A, 0xFA53, 0x8754 - 0xFA4A, folded);    // Ⅰ-Ⅹ (IBM)
    key[i] = static_cast<char>(folded >> 8);
    key[i + 1] = static_cast<char>(folded & 0xFF);
    i += 2;
  }
  return key;
}

}  // namespace selvane
