#pragma once
// The tags of many rows read many at a time before a command names them,
// where their medium pays for waiting (a share, a FUSE medium), with the
// window kept alive meanwhile: the status line counts, and Esc or its
// "中止" button stops the reading. Local disks are not read ahead.
#include <atomic>
#include <optional>

#include "core/platform/EndsReadAhead.h"
#include "core/platform/FileOps.h"

class RowsHost;

class RowsReadAhead {
 public:
  // Reads the files of the window's rows from `from` on, ahead of `inner`;
  // for the naming (`naming`) only when the rule reads tags.
  RowsReadAhead(RowsHost& host, int from, selvane::FileOps& inner, bool naming = true);

  // What the naming reads through: the reads ahead, or `inner` when
  // nothing was read ahead.
  selvane::FileOps& Ops() { return ahead_ ? *ahead_ : inner_; }
  // The user stopped the reading: the rows it did not reach keep their names.
  bool Stopped() const { return stop_.load(); }
  bool ReadAny() const { return ahead_.has_value(); }

 private:
  selvane::FileOps& inner_;
  std::atomic<bool> stop_{false};
  std::optional<selvane::EndsReadAhead> ahead_;
};
