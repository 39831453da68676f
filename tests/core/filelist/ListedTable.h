#pragma once
// A list filled through the file intake, its paths read back in order, and a
// folder for the files it names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {

class ListedTable : public ::testing::Test {
 protected:
  ~ListedTable() override { ClearEntries(table_); }

  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < table_.entryCount; ++i) paths.emplace_back(table_[i].path);
    return paths;
  }

  EntryTable table_;
  RecordingPrompts ui_;
  TempFolder folder_;
};

}  // namespace selvane
