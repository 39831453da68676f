// What writing both tags costs, recorded, beside floors measured in the
// same run, and what its undo costs beside it:
//  - a title that fits the ID3v2 tag's room, written in place, beside a C
//    floor writing the same bytes (the block and the trailer) with one
//    fdatasync plus one synced record (a small file written and synced);
//  - a title that makes the tag of a 20 MiB file grow, beside
//    `cp --reflink=auto` of the file plus an fsync of the copy.
// Each round updates and then undoes, so every round starts from the same
// file. The ratios of the medians are printed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/history/History.h"
#include "core/history/RecordedTags.h"
#include "core/history/Undo.h"
#include "core/platform/Trash.h"

namespace {

using bench::QuietPrompts;
using bench::Seconds;

// A 2.3 tag whose TIT2 holds `title` (ASCII, UTF-16 in the frame), with
// `padding` zero bytes, then `audio` bytes and a trailer.
std::string Song(const std::string& title, std::size_t padding, std::size_t audio) {
  std::string text = "\x01\xFF\xFE";
  for (const char c : title) text += std::string{c, '\0'};
  const std::string frame =
      std::string("TIT2\0\0\0", 7) + static_cast<char>(text.size()) + std::string(2, '\0') + text;
  const std::size_t body = frame.size() + padding;
  std::string header = "ID3\x03";
  header += std::string(2, '\0');
  for (int shift = 21; shift >= 0; shift -= 7) header += static_cast<char>((body >> shift) & 0x7F);
  return header + frame + std::string(padding, '\0') + std::string(audio, '\x55') + "TAG" +
         std::string(124, ' ') + '\xFF';
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written =
      ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return ::fsync(fd) == 0 && ::close(fd) == 0 && written;
}

// The in-place floor: the same bytes at the same places, one fdatasync, and
// one record written and synced beside it.
void InPlaceFloor(const std::string& path, const std::string& block, std::int64_t trailerAt,
                  const std::string& record) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  const char trailer[128] = {'T', 'A', 'G'};
  benchmark::DoNotOptimize(::pwrite(fd, block.data(), block.size(), 0));
  benchmark::DoNotOptimize(::pwrite(fd, trailer, sizeof trailer, trailerAt));
  ::fdatasync(fd);
  ::close(fd);
  const int log = ::open(record.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  benchmark::DoNotOptimize(::write(log, block.data(), std::min<std::size_t>(block.size(), 512)));
  ::fdatasync(log);
  ::close(log);
}

// The grow floor: a copy by `cp --reflink=auto`, and its fsync.
void CopyFloor(const std::string& path, const std::string& copy) {
  const std::string command = "cp --reflink=auto '" + path + "' '" + copy + "'";
  if (std::system(command.c_str()) != 0) return;
  const int fd = ::open(copy.c_str(), O_RDONLY | O_CLOEXEC);
  ::fsync(fd);
  ::close(fd);
}

struct Figures {
  std::vector<double> floor, update, undo;
};

// One kind of update: `rounds` rounds of floor, recorded update, undo.
Figures Measure(const std::string& before, const char* title, bool inPlace, int rounds) {
  bench::Folder music, state;
  ::setenv("XDG_STATE_HOME", state.path().c_str(), 1);
  const std::string path = music.path() + "/song.mp3", scratch = music.path() + "/scratch.mp3";
  WriteFile(path, before);
  WriteFile(scratch, before);
  selvane::History history(state.path() + "/history.sqlite3");
  selvane::FreedesktopTrash trash;
  QuietPrompts ui;
  const std::string block = before.substr(0, 4096);
  Figures f;
  for (int round = 0; round < rounds; ++round) {
    f.floor.push_back(Seconds([&] {
      if (inPlace)
        InPlaceFloor(scratch, block, static_cast<std::int64_t>(before.size() - 128),
                     state.path() + "/record");
      else
        CopyFloor(path, scratch + ".copy");
    }));
    if (!inPlace) ::unlink((scratch + ".copy").c_str());
    selvane::FileEntry entry{};
    selvane::CopyField(entry.path, path);
    selvane::Id3v2Changes changes;
    changes.title = title;
    selvane::Id3v2Refusal refusal = selvane::Id3v2Refusal::None;
    const selvane::Trailer trailer = selvane::BuildTrailer({title, {}, {}, {}, {}, -1}, 0);
    f.update.push_back(Seconds([&] {
      if (!selvane::WriteBothTagsRecorded(entry, trailer, changes, selvane::SystemFileOps(),
                                          history, ui, refusal))
        ++ui.refusals;
    }));
    f.undo.push_back(
        Seconds([&] { selvane::RunUndo(history.store(), selvane::SystemFileOps(), trash, ui); }));
  }
  if (ui.refusals > 0) std::printf("the update or its undo refused something\n");
  return f;
}

void Report(const char* what, const char* floorName, const Figures& f) {
  const double floor = bench::MedianMs(f.floor), update = bench::MedianMs(f.update),
               undo = bench::MedianMs(f.undo);
  std::printf("%s: update %.2f ms, floor (%s) %.2f ms, ratio %.2fx (target <= 1.5x)\n", what,
              update, floorName, floor, update / floor);
  std::printf("%s: undo %.2f ms, update %.2f ms, ratio %.2fx (target <= 2x)\n", what, undo, update,
              undo / update);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  const Figures inPlace = Measure(Song("old title", 2048, 4 << 20), "a new title", true, rounds);
  const Figures grown =
      Measure(Song("old", 0, 20 << 20), "a title far longer than the old one", false, rounds);
  Report("in place, 4 MiB file", "pwrite + fdatasync + a synced record", inPlace);
  Report("tag grows, 20 MiB file", "cp --reflink=auto + fsync", grown);
  return 0;
}
