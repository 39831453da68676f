#pragma once
// A file system in memory that keeps the rules of the real one where the
// program leans on them: regular files with their bytes, folders, "other"
// things (pipes), symbolic links (relative to their folder, in chains, or
// leading nowhere) and hard links. Move never replaces (EEXIST) and moves a
// link, not what it leads to; Delete of a link removes the link only; a
// relative path lies in a settable current folder. Paths are CP932, as
// FileOps takes them, and are converted the way the real calls convert them,
// so a name with no native form fails with EILSEQ here too.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/Cp932.h"
#include "core/platform/FileOps.h"
#include "core/platform/FolderCase.h"
#include "core/rename/FolderRules.h"

namespace selvane {

class MemoryFileOps : public FileOps {
 public:
  enum class Type { File, Folder, Other, Link };
  static constexpr std::uint64_t Device = 1;

  MemoryFileOps() { nodes_[RootInode] = Node{Type::Folder, {}, {}, 1}; }

  // --- Building a tree (paths CP932; false when the place is taken or its
  // folder is missing). ---
  bool AddFolder(std::string_view path) { return AddNode(path, Node{Type::Folder, {}, {}, 1}); }
  bool AddFile(std::string_view path, std::string_view bytes) {
    return AddNode(path, Node{Type::File, std::string(bytes), {}, 1});
  }
  bool AddOther(std::string_view path) { return AddNode(path, Node{Type::Other, {}, {}, 1}); }
  // `target` is stored as given (CP932) and read relative to the link's folder.
  bool AddLink(std::string_view path, std::string_view target) {
    std::string native;
    if (!Cp932PathToNative(target, native)) return false;
    return AddNode(path, Node{Type::Link, native, {}, 1});
  }
  // A second name for what `existing` names (a link itself when it is one).
  bool AddHardLink(std::string_view path, std::string_view existing) {
    const Found old = Find(existing, false);
    if (old.error != 0 || old.inode == 0 || nodes_[old.inode].type == Type::Folder) return false;
    bool slash = false;
    const Found place = Find(path, false, &slash);
    if (place.error != 0 || place.inode != 0 || slash) return false;
    nodes_[place.parent].children[place.name] = old.inode;
    ++nodes_[old.inode].links;
    return true;
  }
  // Where relative paths (the run's temporary name) lie; false when no folder.
  bool SetCurrentFolder(std::string_view path) {
    const Found found = Find(path, true);
    if (found.error != 0 || found.inode == 0 || nodes_[found.inode].type != Type::Folder)
      return false;
    cwd_ = found.inode;
    return true;
  }

  // --- Looking at it. ---
  // The bytes of the regular file the path leads to (links followed).
  bool Read(std::string_view path, std::string& bytes) {
    const Found found = Find(path, true);
    if (found.error != 0 || found.inode == 0 || nodes_[found.inode].type != Type::File)
      return false;
    bytes = nodes_[found.inode].bytes;
    return true;
  }
  // Every name from the root, with what it is, one line each in name order:
  // "/m/a.mp3 file 7 <bytes>", "/m/x.mp3 link a.mp3", "/m/p other", "/m/s folder".
  // Hard links show the same inode number. Names are native (UTF-8).
  std::vector<std::string> Listing() const {
    std::vector<std::string> lines;
    List(RootInode, "", lines);
    return lines;
  }
  // The names (native) of every symbolic link.
  std::vector<std::string> LinkNames() const {
    std::vector<std::string> names;
    for (const std::string& line : Listing())
      if (const std::size_t at = line.rfind(" link #"); at != std::string::npos)
        names.push_back(line.substr(0, at));
    return names;
  }
  // The contents of every regular file, each once however many names it has.
  std::vector<std::string> AllContents() const {
    std::vector<std::string> all;
    for (const auto& [inode, node] : nodes_)
      if (node.type == Type::File) all.push_back(node.bytes);
    std::sort(all.begin(), all.end());
    return all;
  }

  // --- Folders that ignore letter case, as on exFAT: every folder takes
  // names that differ only in case for one, keeps the spelling it was given,
  // and tells the rename so through Rules(). ---
  void IgnoreCase() { ignoreCase_ = true; }
  // The medium every folder is on (name limits, Windows names).
  void SetMedium(const Medium& medium) { medium_ = medium; }
  FolderRules& Rules() { return rules_; }
  FileResult MoveToOtherCase(const char* from, const char* to) override {
    if (!ignoreCase_) return Move(from, to);
    const Found source = Find(from, false);
    if (source.error != 0) return {source.error};
    if (source.inode == 0) return {ENOENT};
    const Found target = Find(to, false);
    if (target.error != 0) return {target.error};
    // Only the file itself may answer to the new spelling, under a name it
    // has not got yet.
    if (target.parent != source.parent || (target.inode != 0 && target.inode != source.inode) ||
        target.name == std::string(SplitNative(to)))
      return {EEXIST};
    nodes_[source.parent].children.erase(source.name);
    nodes_[source.parent].children[std::string(SplitNative(to))] = source.inode;
    return {};
  }

  // --- FileOps ---
  FileResult Length(const char* path, std::int64_t& length) override {
    Node* file = nullptr;
    if (const int e = OpenRegular(path, file)) return {e};
    length = static_cast<std::int64_t>(file->bytes.size());
    return {};
  }
  FileResult ReadTail(const char* path, unsigned char* tail, std::int64_t& length) override {
    Node* file = nullptr;
    if (const int e = OpenRegular(path, file)) return {e};
    length = static_cast<std::int64_t>(file->bytes.size());
    if (file->bytes.size() >= TrailerSize)
      std::memcpy(tail, file->bytes.data() + file->bytes.size() - TrailerSize, TrailerSize);
    return {};
  }
  FileResult ReadAt(const char* path, std::int64_t offset, void* data, std::size_t size) override {
    if (offset < 0) return {EINVAL};
    Node* file = nullptr;
    if (const int e = OpenRegular(path, file)) return {e};
    const std::size_t at = static_cast<std::size_t>(offset);
    if (file->bytes.size() < at + size) return {EIO};
    std::memcpy(data, file->bytes.data() + at, size);
    return {};
  }
  FileResult Truncate(const char* path, std::int64_t length) override {
    if (length < 0) return {EINVAL};
    Node* file = nullptr;
    if (const int e = OpenRegular(path, file)) return {e};
    file->bytes.resize(static_cast<std::size_t>(length), '\0');
    return {};
  }
  FileResult Append(const char* path, const void* data, std::size_t size) override {
    Node* file = nullptr;
    if (const int e = OpenRegular(path, file)) return {e};
    file->bytes.append(static_cast<const char*>(data), size);
    return {};
  }
  FileResult WriteAt(const char* path, std::int64_t offset, const void* data,
                     std::size_t size) override {
    if (offset < 0) return {EINVAL};
    Node* file = nullptr;
    if (const int e = OpenRegular(path, file)) return {e};
    const std::size_t at = static_cast<std::size_t>(offset);
    if (file->bytes.size() < at + size) file->bytes.resize(at + size, '\0');
    std::memcpy(file->bytes.data() + at, data, size);
    return {};
  }
  FileStatus Status(const char* path) override {
    const Found name = Find(path, false);
    if (name.error != 0 || name.inode == 0) return {};
    FileStatus status;
    status.nameDevice = Device;
    status.nameInode = name.inode;
    status.link = nodes_[name.inode].type == Type::Link;
    std::uint64_t inode = name.inode;
    if (status.link) {
      if (!NativePathToCp932(nodes_[name.inode].bytes, status.linkText)) status.linkText.clear();
      const Found target = Find(path, true);
      if (target.error != 0 || target.inode == 0) {
        // A link that leads nowhere still holds its name.
        status.kind = FileKind::Other;
        status.device = Device;
        status.inode = name.inode;
        return status;
      }
      inode = target.inode;
    }
    const Node& node = nodes_[inode];
    status.kind = node.type == Type::File     ? FileKind::Regular
                  : node.type == Type::Folder ? FileKind::Folder
                                              : FileKind::Other;
    status.device = Device;
    status.inode = inode;
    status.length = static_cast<std::int64_t>(node.bytes.size());
    return status;
  }
  FileResult Delete(const char* path) override {
    const Found found = Find(path, false);
    if (found.error != 0) return {found.error};
    if (found.inode == 0) return {ENOENT};
    if (nodes_[found.inode].type == Type::Folder) return {EISDIR};
    nodes_[found.parent].children.erase(found.name);
    Release(found.inode);
    return {};
  }
  FileResult Move(const char* from, const char* to) override {
    bool sourceSlash = false, targetSlash = false;
    const Found source = Find(from, false, &sourceSlash);
    if (source.error != 0) return {source.error};
    if (source.inode == 0) return {ENOENT};
    const Found target = Find(to, false, &targetSlash);
    if (target.error != 0) return {target.error};
    if ((sourceSlash || targetSlash) && nodes_[source.inode].type != Type::Folder) return {ENOTDIR};
    if (source.name == "." || source.name == ".." || target.name == "." || target.name == "..")
      return {source.inode == RootInode ? EBUSY : EINVAL};
    if (target.inode != 0) return {EEXIST};
    // A folder cannot go inside itself.
    if (nodes_[source.inode].type == Type::Folder)
      for (std::uint64_t at = target.parent; at != RootInode; at = nodes_[at].parent)
        if (at == source.inode) return {EINVAL};
    nodes_[source.parent].children.erase(source.name);
    nodes_[target.parent].children[target.name] = source.inode;
    if (nodes_[source.inode].type == Type::Folder) nodes_[source.inode].parent = target.parent;
    return {};
  }

 private:
  class MemoryRules final : public FolderRules {
   public:
    explicit MemoryRules(MemoryFileOps& ops) : ops_(ops) {}

   protected:
    FolderRule Probe(const std::string&) override { return {ops_.ignoreCase_, ops_.medium_}; }

   private:
    MemoryFileOps& ops_;
  };

  static std::string Folded(const std::string& native) {
    std::string cp932;
    return NativePathToCp932(native, cp932) ? CaseFoldKey(cp932) : native;
  }
  static std::string SplitNative(const char* cp932) {
    std::string native;
    if (!Cp932PathToNative(cp932, native)) return {};
    const std::size_t slash = native.rfind('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
  }
  // The node a folder holds under `part`, by the folder's rule; 0: none.
  std::uint64_t Child(std::uint64_t folder, const std::string& part) {
    const auto& children = nodes_[folder].children;
    if (const auto it = children.find(part); it != children.end()) return it->second;
    if (!ignoreCase_) return 0;
    const std::string key = Folded(part);
    for (const auto& [name, inode] : children)
      if (Folded(name) == key) return inode;
    return 0;
  }
  // The spelling the folder keeps for `part`.
  std::string StoredName(std::uint64_t folder, const std::string& part) {
    const auto& children = nodes_[folder].children;
    if (!ignoreCase_ || children.count(part) != 0) return part;
    for (const auto& [name, inode] : children)
      if (Folded(name) == Folded(part)) return name;
    return part;
  }

  bool ignoreCase_ = false;
  Medium medium_;
  MemoryRules rules_{*this};

  static constexpr std::uint64_t RootInode = 1;
  static constexpr int MaxLinksFollowed = 40;  // as Linux: ELOOP past it
  static constexpr std::size_t NameMax = 255;

  struct Node {
    Type type = Type::File;
    std::string bytes;  // a file's contents, a link's target (native)
    std::map<std::string, std::uint64_t> children;
    int links = 1;
    std::uint64_t parent = RootInode;  // folders only
  };

  // What a path names: the folder holding the last part, its name there,
  // and the node (0 when no such name). error: the path cannot be walked.
  struct Found {
    int error = 0;
    std::uint64_t parent = 0;
    std::string name;
    std::uint64_t inode = 0;
  };
  static Found Failed(int error) {
    Found found;
    found.error = error;
    return found;
  }

  static std::vector<std::string> Parts(std::string_view native) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= native.size()) {
      std::size_t end = native.find('/', start);
      if (end == std::string_view::npos) end = native.size();
      if (end > start) parts.emplace_back(native.substr(start, end - start));
      start = end + 1;
    }
    return parts;
  }

  // A path ending in '/' names a folder: its last link is followed and
  // anything else there gives ENOTDIR. Move asks for `trailing` instead and
  // applies its own rule (a link is moved, never what it leads to).
  Found Find(std::string_view cp932, bool followLast, bool* trailing = nullptr) {
    std::string native;
    if (!Cp932PathToNative(cp932, native)) return Failed(EILSEQ);
    if (native.empty()) return Failed(ENOENT);
    const bool slash = native.size() > 1 && native.back() == '/';
    if (trailing != nullptr) *trailing = slash;
    int budget = MaxLinksFollowed;
    const Found found = Walk(native.front() == '/' ? RootInode : cwd_, native,
                             followLast || (slash && trailing == nullptr), budget);
    if (slash && trailing == nullptr && found.error == 0 && found.inode != 0 &&
        nodes_[found.inode].type != Type::Folder)
      return Failed(ENOTDIR);
    return found;
  }

  // Walks `native` from the folder `at`; links in front of the last part
  // are always followed, the last one when `followLast`.
  Found Walk(std::uint64_t at, std::string_view native, bool followLast, int& budget) {
    const std::vector<std::string> parts = Parts(native);
    if (parts.empty()) return {0, RootInode, ".", at};  // "/" or the folder itself
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const std::string& part = parts[i];
      const bool last = i + 1 == parts.size();
      if (part.size() > NameMax) return Failed(ENAMETOOLONG);
      if (nodes_[at].type != Type::Folder) return Failed(ENOTDIR);
      std::uint64_t next = 0;
      if (part == ".")
        next = at;
      else if (part == "..")
        next = nodes_[at].parent;
      else
        next = Child(at, part);
      if (last && (next == 0 || !followLast || nodes_[next].type != Type::Link))
        return {0, at, next == 0 ? part : StoredName(at, part), next};
      if (next == 0) return Failed(ENOENT);
      if (nodes_[next].type == Type::Link) {
        if (--budget < 0) return Failed(ELOOP);
        const std::string target = nodes_[next].bytes;
        if (target.empty()) return Failed(ENOENT);
        const Found led = Walk(target.front() == '/' ? RootInode : at, target, true, budget);
        if (led.error != 0) return led;
        if (last) return led;
        if (led.inode == 0) return Failed(ENOENT);
        next = led.inode;
      }
      at = next;
    }
    return Failed(ENOENT);  // not reached
  }

  // The regular file a path leads to, as the real calls open one.
  int OpenRegular(const char* path, Node*& file) {
    const Found found = Find(path, true);
    if (found.error != 0) return found.error;
    if (found.inode == 0) return ENOENT;
    Node& node = nodes_[found.inode];
    if (node.type == Type::Folder) return EISDIR;
    if (node.type != Type::File) return NotRegularFileError;
    file = &node;
    return 0;
  }

  bool AddNode(std::string_view path, Node node) {
    bool slash = false;
    const Found place = Find(path, false, &slash);
    if (place.error != 0 || place.inode != 0 || place.name == "." || place.name == ".." ||
        (slash && node.type != Type::Folder))
      return false;
    node.parent = place.parent;
    const std::uint64_t inode = nextInode_++;
    nodes_[inode] = std::move(node);
    nodes_[place.parent].children[place.name] = inode;
    return true;
  }

  void Release(std::uint64_t inode) {
    if (--nodes_[inode].links == 0) nodes_.erase(inode);
  }

  void List(std::uint64_t folder, const std::string& prefix,
            std::vector<std::string>& lines) const {
    for (const auto& [name, inode] : nodes_.at(folder).children) {
      const Node& node = nodes_.at(inode);
      const std::string path = prefix + "/" + name;
      const std::string id = " #" + std::to_string(inode);
      switch (node.type) {
        case Type::File:
          lines.push_back(path + " file" + id + " " + node.bytes);
          break;
        case Type::Link:
          lines.push_back(path + " link" + id + " " + node.bytes);
          break;
        case Type::Other:
          lines.push_back(path + " other" + id);
          break;
        case Type::Folder:
          lines.push_back(path + " folder");
          List(inode, path, lines);
          break;
      }
    }
  }

  std::map<std::uint64_t, Node> nodes_;
  std::uint64_t nextInode_ = RootInode + 1;
  std::uint64_t cwd_ = RootInode;
};

}  // namespace selvane
