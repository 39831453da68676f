// A rename run killed outright (SIGKILL: no handler, no cleanup) at random
// moments. Whenever it dies, every listed file's bytes are still on disk
// under some name: in its folder, or under the temporary name when the kill
// came in the middle of an overwrite, or in the trash for a file replaced.
// Undo in a new process then brings every file back under its old name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/history/History.h"
#include "core/history/Undo.h"
#include "core/intake/EntryIntake.h"
#include "core/rename/RenameRun.h"
#include "tests/core/FolderTrash.h"
#include "tests/core/KilledRuns.h"
#include "tests/core/TempFolder.h"

namespace selvane {
namespace {

constexpr int Files = 300;
constexpr int Kills = 25;

class SayYes : public UserPrompts {
 public:
  void SetStatus(std::string_view) override {}
  void Refuse(std::string_view, std::string_view) override {}
  bool Ask(std::string_view, std::string_view) override { return true; }
  void ShowError(std::string_view) override {}
};

std::string Name(const char* stem, int i) { return stem + std::to_string(i) + ".mp3"; }

// Three kinds of row, mixed: a chain where each file takes the name the
// row before it gave up; a file whose new name is held by an unlisted file
// the user agrees to replace; a file that meets itself (new name = old).
// Returns the listed files' contents; `before` gets every file's path and
// bytes, the unlisted ones too.
std::vector<std::string> Arrange(const TempFolder& music, std::vector<std::string>& listed,
                                 std::vector<std::pair<std::string, std::string>>& before) {
  std::vector<std::string> contents;
  for (int i = 0; i < Files; ++i) {
    std::string name, title;
    switch (i % 3) {
      case 0:
        name = Name("chain", i);
        title = i == 0 ? "first" : "chain" + std::to_string(i - 3);
        break;
      case 1:
        name = Name("own", i);
        title = "decoy" + std::to_string(i);
        before.emplace_back(music.Write(Name("decoy", i), "decoy bytes " + std::to_string(i)),
                            "decoy bytes " + std::to_string(i));
        break;
      default:
        name = Name("self", i);
        title = "self" + std::to_string(i);
        break;
    }
    const std::string bytes =
        "audio of row " + std::to_string(i) + std::string(4000, 'a') + TrailerBytes(title);
    contents.push_back(bytes);
    before.emplace_back(music.Write(name, bytes), bytes);
    listed.push_back(music / name);
  }
  return contents;
}

// The child: lists the files, names them by "$T.mp3" and runs the rename
// as the window does, recorded and with a trash.
[[noreturn]] void RunChild(const std::vector<std::string>& listed, const Places& places) {
  if (::chdir(places.work.path().c_str()) != 0) ::_exit(2);
  EntryTable table;
  SayYes ui;
  for (const std::string& path : listed) AddEntry(table, path.c_str(), "$T.mp3", ui);
  History history(places.Store());
  FolderTrash trash(places.trash.path());
  RunRename(table, SystemFileOps(), ui, {.trash = &trash, .history = &history});
  ::_exit(0);
}

// Starts the child, kills it after `delay` (never, when negative), and
// gives how long it lived.
std::chrono::nanoseconds RunAndKill(const std::vector<std::string>& listed, const Places& places,
                                    std::chrono::nanoseconds delay) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) RunChild(listed, places);
  if (child < 0) ADD_FAILURE() << "fork failed";
  if (delay.count() >= 0) {
    const timespec pause{static_cast<time_t>(delay.count() / 1000000000),
                         static_cast<long>(delay.count() % 1000000000)};
    ::nanosleep(&pause, nullptr);
    ::kill(child, SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return std::chrono::steady_clock::now() - start;
}

std::set<std::string> ContentsOnDisk(const TempFolder& music, const Places& places) {
  std::set<std::string> found;
  for (const auto& item : std::filesystem::directory_iterator(music.path()))
    if (item.is_regular_file()) found.insert(ReadBytes(item.path().string()));
  if (PathExists(places.work / TemporaryName)) found.insert(ReadBytes(places.work / TemporaryName));
  for (const auto& item : std::filesystem::directory_iterator(places.trash / "files"))
    found.insert(ReadBytes(item.path().string()));
  return found;
}

// Undo in this process, as after a restart; gives how many files are not
// back under their old names with their bytes (the temporary name and the
// trash must be empty again too).
int NotBackAfterUndo(const std::vector<std::pair<std::string, std::string>>& before,
                     const Places& places) {
  History history(places.Store());
  FolderTrash trash(places.trash.path());
  SayYes ui;
  RunUndo(history.store(), SystemFileOps(), trash, ui);
  int notBack = 0;
  for (const auto& [path, bytes] : before) notBack += ReadBytes(path) == bytes ? 0 : 1;
  notBack += PathExists(places.work / TemporaryName) ? 1 : 0;
  for ([[maybe_unused]] const auto& item :
       std::filesystem::directory_iterator(places.trash / "files"))
    ++notBack;
  return notBack;
}

TEST(RenameKill, KilledAtAnyMomentEveryFileKeepsItsBytesUnderAName) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);

  // How long a whole run takes here, so that the kills fall inside it.
  std::chrono::nanoseconds whole{};
  {
    TempFolder music;
    Places places;
    std::vector<std::string> listed;
    std::vector<std::pair<std::string, std::string>> before;
    const std::vector<std::string> contents = Arrange(music, listed, before);
    whole = RunAndKill(listed, places, std::chrono::nanoseconds(-1));
    ASSERT_TRUE(PathExists(music / "first.mp3")) << "the unkilled run did not rename";
    const std::set<std::string> found = ContentsOnDisk(music, places);
    for (const std::string& bytes : contents) EXPECT_EQ(found.count(bytes), 1u);
    EXPECT_EQ(NotBackAfterUndo(before, places), 0);
  }

  std::uniform_int_distribution<long long> when(0, whole.count());
  for (int kill = 0; kill < Kills; ++kill) {
    TempFolder music;
    Places places;
    std::vector<std::string> listed;
    std::vector<std::pair<std::string, std::string>> before;
    const std::vector<std::string> contents = Arrange(music, listed, before);
    const std::chrono::nanoseconds delay(when(random));
    RunAndKill(listed, places, delay);

    const std::set<std::string> found = ContentsOnDisk(music, places);
    int lost = 0;
    for (const std::string& bytes : contents) lost += found.count(bytes) == 0 ? 1 : 0;
    EXPECT_EQ(lost, 0) << "killed after " << delay.count() << " ns of " << whole.count();
    EXPECT_EQ(NotBackAfterUndo(before, places), 0)
        << "killed after " << delay.count() << " ns of " << whole.count();
  }
}

// The temporary name as if it lay on another file system: every move into
// or out of it is a copy, and the file comes out under a new inode. A link
// in `keptInodes` holds on to the old one, so that the copy never gets its
// number back.
std::string keptInodes;
int RenameAcrossForTemporary(const char* from, const char* to) {
  const auto temporary = [](const char* path) {
    const std::size_t length = std::strlen(path), name = std::strlen(TemporaryName);
    return length >= name && std::strcmp(path + length - name, TemporaryName) == 0;
  };
  if (temporary(from) || temporary(to)) {
    static int kept = 0;
    (void)::link(from, (keptInodes + "/" + std::to_string(++kept)).c_str());
    errno = EXDEV;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1U));
}

// Whatever the copies through the temporary name did to the files'
// inodes, undo in a new process knows them by what they are.
TEST(RenameKill, FilesCarriedThroughACopyAreTakenBack) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<Renames> runs;
    int killAt;
  };
  const Case cases[] = {
      // Both new names taken: Yes, then a kill at the second question.
      {"killed at the second overwrite",
       {"f1", "f2", "x1", "x2"},
       {{{"f1", "x1"}, {"f2", "x2"}}},
       2},
      // A second run of the rule: the file meets itself and is carried
      // through the copy and back; undo of the first run must still find it.
      {"meets itself in a second run", {"f1"}, {{{"f1", "x1"}}, {{"x1", "x1"}}}, 0},
      // A later run carries the file into a taken name through the copy.
      {"carried on by a later overwrite", {"f1", "x2"}, {{{"f1", "x1"}}, {{"x1", "x2"}}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder music, kept;
    Places places;
    const auto songs = WriteSongs(music, c.files);
    keptInodes = kept.path();
    const std::unique_ptr<FileOps> ops =
        NewSystemFileOps({.placeholder = {}, .renameNoReplace = &RenameAcrossForTemporary});
    RunInChild(
        c.runs, [&](const std::string& name) { return music / (name + ".mp3"); }, places, *ops,
        c.killAt);
    ExpectEveryFileBack(songs, places);
    EXPECT_FALSE(PathExists(places.work / TemporaryName));
  }
}

}  // namespace
}  // namespace selvane
