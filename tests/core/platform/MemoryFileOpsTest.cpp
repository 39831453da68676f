// The in-memory file system against the real one: the same call on the same
// tree gives the same result and leaves the same names behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/core/MemoryFileOps.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

// a.mp3 with h.mp3 as its hard link, x.mp3 -> a.mp3, y.mp3 -> x.mp3,
// d.mp3 -> nowhere, s2 -> sub, l1 <-> l2, a pipe p; relative paths lie in sub.
void MakeReal(const TempFolder& t) {
  t.Write("a.mp3", "AAAA");
  ::mkdir((t / "sub").c_str(), 0755);
  ::mkfifo((t / "p").c_str(), 0644);
  ::link((t / "a.mp3").c_str(), (t / "h.mp3").c_str());
  const std::pair<const char*, const char*> links[] = {
      {"x.mp3", "a.mp3"}, {"y.mp3", "x.mp3"}, {"d.mp3", "missing.mp3"},
      {"s2", "sub"},      {"l1", "l2"},       {"l2", "l1"}};
  for (const auto& [name, target] : links) ::symlink(target, (t / name).c_str());
}

void MakeMemory(const TempFolder& t, MemoryFileOps& m) {
  ASSERT_TRUE(m.AddFolder("/tmp") && m.AddFolder(t.path()));
  ASSERT_TRUE(m.AddFile(t / "a.mp3", "AAAA") && m.AddFolder(t / "sub") && m.AddOther(t / "p"));
  ASSERT_TRUE(m.AddHardLink(t / "h.mp3", t / "a.mp3"));
  for (const auto& [name, target] : {std::pair{"x.mp3", "a.mp3"},
                                     {"y.mp3", "x.mp3"},
                                     {"d.mp3", "missing.mp3"},
                                     {"s2", "sub"},
                                     {"l1", "l2"},
                                     {"l2", "l1"}})
    ASSERT_TRUE(m.AddLink(t / name, target));
  ASSERT_TRUE(m.SetCurrentFolder(t / "sub"));
}

int Apply(FileOps& ops, const std::string& op, const std::string& a, const std::string& b) {
  std::int64_t length = 0;
  unsigned char tail[TrailerSize];
  if (op == "move") return ops.Move(a.c_str(), b.c_str()).error;
  if (op == "delete") return ops.Delete(a.c_str()).error;
  if (op == "append") return ops.Append(a.c_str(), "+", 1).error;
  if (op == "length") return ops.Length(a.c_str(), length).error * 1000 + int(length);
  return ops.ReadTail(a.c_str(), tail, length).error;
}

// What each name of the tree is now: kind, link, length, same file as h.mp3.
std::vector<std::string> Look(FileOps& ops, const TempFolder& t) {
  const FileStatus h = ops.Status((t / "h.mp3").c_str());
  std::vector<std::string> seen;
  for (const char* name : {"a.mp3", "h.mp3", "x.mp3", "y.mp3", "d.mp3", "s2", "s2/", "x.mp3/", "l1",
                           "p", "sub", "new.mp3", "sub/new.mp3", "sub/SelvaneBk.tmp"}) {
    const FileStatus s = ops.Status((t / name).c_str());
    seen.push_back(std::string(name) + " " + std::to_string(int(s.kind)) +
                   (s.link ? " link " : " ") +
                   std::to_string(s.kind == FileKind::Regular ? s.length : 0) + " " + s.linkText +
                   (s.SameFileAs(h) ? " =h" : ""));
  }
  return seen;
}

TEST(MemoryFileOps, AgreesWithTheRealFileSystem) {
  const std::vector<std::vector<std::string>> steps = {
      {"move", "a.mp3", "new.mp3"},
      {"move", "x.mp3", "new.mp3"},
      {"move", "x.mp3", "sub/new.mp3"},  // a relative link moved away leads nowhere
      {"move", "a.mp3", "h.mp3"},
      {"move", "a.mp3", "d.mp3"},
      {"move", "a.mp3", "p"},
      {"move", "a.mp3", "a.mp3"},
      {"move", "sub", "sub/new.mp3"},
      {"move", "a.mp3", "new.mp3/"},
      {"move", "a.mp3", "no/new.mp3"},
      {"move", "a.mp3", "x.mp3/new.mp3"},
      {"move", "s2/", "new.mp3"},
      {"move", "l1", "new.mp3"},
      {"move", "y.mp3", "@SelvaneBk.tmp"},  // relative: in the current folder
      {"move", "@SelvaneBk.tmp", "new.mp3"},
      {"delete", "x.mp3"},
      {"delete", "a.mp3"},
      {"delete", "sub"},
      {"delete", "s2"},
      {"delete", "p"},
      {"delete", "a.mp3/"},
      {"delete", "missing.mp3"},
      {"append", "y.mp3"},
      {"append", "p"},
      {"append", "sub"},
      {"append", "l1"},
      {"append", "d.mp3"},
      {"length", "y.mp3"},
      {"length", "s2/"},
      {"tail", "h.mp3"},
      {"tail", "s2"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step[0] + " " + step[1] + (step.size() > 2 ? " " + step[2] : ""));
    TempFolder t;
    MakeReal(t);
    MemoryFileOps memory;
    MakeMemory(t, memory);
    // "@name" is a relative path, "name" one in the tree's folder.
    const auto at = [&](const std::string& name) {
      return name.empty() ? name : name[0] == '@' ? name.substr(1) : t / name;
    };
    const std::string a = at(step[1]), b = step.size() > 2 ? at(step[2]) : "";
    CurrentDirectoryGuard inSub(t / "sub");
    ASSERT_TRUE(inSub.entered());
    EXPECT_EQ(Apply(memory, step[0], a, b), Apply(SystemFileOps(), step[0], a, b));
    EXPECT_EQ(Look(memory, t), Look(SystemFileOps(), t));
  }
}

}  // namespace
}  // namespace selvane
