#pragma once
// The rename run on real files in a test's folder, as the window starts it:
// the entries to rename, the answers given, and the texts the user is shown.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/filelist/EntryTable.h"
#include "core/platform/Cp932.h"
#include "core/rename/NamingRule.h"
#include "core/rename/RenameRun.h"
#include "tests/core/RecordingPrompts.h"
#include "tests/core/TempFolder.h"

namespace selvane {

inline std::string SkipText(const std::string& oldName, const std::string& newName) {
  return Cp932("変換前：") + oldName + Cp932("\n変換後：") + newName +
         Cp932("\n\n変換後のファイル名に使用できない文字 ") + std::string(ForbiddenNameChars) +
         Cp932(" が含まれています\n\nタグ情報を編集し直して下さい");
}

inline std::string SkipText(const std::string& oldName, const std::string& newName,
                            NameRefusal why) {
  return Cp932("変換前：") + oldName + Cp932("\n変換後：") + newName + "\n\n" + RefusalReason(why) +
         Cp932("\n\nタグ情報を編集し直して下さい");
}

inline std::string OverwriteText(const std::string& path, const std::string& newPath) {
  return Cp932("変換前：") + path + Cp932("\n変換後：") + newPath +
         Cp932("\n\n同名のファイルが既に存在します\n上書きしますか？");
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RenameRunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = std::make_unique<CurrentDirectoryGuard>(work_.path());
    ASSERT_TRUE(cwd_->entered());
  }
  void TearDown() override { cwd_.reset(); }

  // An entry for `path` whose new path is `newPath`, as a refresh would
  // have left it; the file gets `bytes` unless they are empty.
  FileEntry& Add(const std::string& path, const std::string& newPath,
                 const std::string& bytes = {}) {
    if (!bytes.empty()) WriteBytes(path, bytes);
    table_.Append(std::make_unique<FileEntry>());
    FileEntry& entry = table_[table_.entryCount - 1];
    CopyField(entry.path, path);
    CopyField(entry.newPath, newPath);
    return entry;
  }

  void Run(FileOps& ops) { RunRename(table_, ops, ui_); }
  void Run() { Run(SystemFileOps()); }

  // Every file's bytes lie under a path that an entry knows, and the
  // temporary name is gone.
  void ExpectNothingLost(const std::vector<std::string>& contents) {
    for (const std::string& bytes : contents) {
      bool found = false;
      for (int i = 0; i < table_.entryCount && !found; ++i) {
        std::string native;
        found = Cp932PathToNative(table_[i].path, native) && ReadBytes(native) == bytes;
      }
      EXPECT_TRUE(found) << "no entry knows the file holding \"" << bytes << "\"";
    }
    EXPECT_FALSE(PathExists(work_ / TemporaryName));
  }

  const std::string& Finished() {
    static const std::string text = Cp932("リネーム終了");
    return text;
  }

  TempFolder music_;
  TempFolder work_;  // the current directory, where the temporary name lies
  std::unique_ptr<CurrentDirectoryGuard> cwd_;
  EntryTable table_;
  RecordingPrompts ui_;
};

}  // namespace selvane
