#pragma once
// A process known by what it is: its id and when it started, since an id is
// given again to a new process once the old one has gone.
#include <cstdint>
#include <string>

namespace selvane {

struct ProcessMark {
  std::int64_t pid = 0;
  std::int64_t started = 0;  // clock ticks after boot; 0: not known
};

ProcessMark ThisProcess();
// The mark of a running process; started is 0 when none has that id.
ProcessMark MarkOf(std::int64_t pid);

// True while the process of that mark runs: same id, same start.
bool StillRunning(const ProcessMark& mark);

// Gives the store file and its companions (-wal, -shm) to the user alone
// (0600) and the folder made for them too (0700). Best effort.
void KeepPrivate(const std::string& file);

// Hands the pages of memory freed so far back to the system. Called after
// a command over many files, whose working data lay under what the next
// command needs: otherwise the next one grows the process anew.
void GiveBackFreedMemory();

}  // namespace selvane
