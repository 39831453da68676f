#pragma once
// The tag panel: five text fields and the genre choice showing the selected
// entry's tag as last read, and giving back what is to be written.
#include <QString>
#include <array>
#include <optional>
#include <string>

#include "core/filelist/FileEntry.h"
#include "core/filelist/TagField.h"
#include "core/tags/TagWriter.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

// The fields in the order the panel shows them, top to bottom, left panel
// first; every table over the fields follows it.
using selvane::TagField;
using selvane::TagFieldCount;

class TagPanel {
 public:
  struct Field {
    QLabel* label;
    QLineEdit* edit;
  };
  TagPanel(QGroupBox* group, const std::array<Field, TagFieldCount>& fields, QComboBox* genre);

  // Shows the entry's tag (none: empty fields and the caption without
  // "あり"/"なし").
  void Show(const selvane::FileEntry* entry);

  // The panel's texts as CP932, to be written.
  struct Texts {
    std::array<std::string, TagFieldCount> bytes;
    int genreItem = -1;
    selvane::TagValues Values() const;
  };
  // The field holding a character without a CP932 form (a replacement mark
  // left from bytes that were not Shift-JIS, say), if any; `texts` is whole
  // only when there is none.
  [[nodiscard]] std::optional<TagField> Read(Texts& texts) const;
  QString Caption(TagField field) const;

 private:
  const Field& At(TagField field) const { return fields_[static_cast<std::size_t>(field)]; }
  void ShowText(TagField field, const char* bytes);

  QGroupBox* group_;
  std::array<Field, TagFieldCount> fields_;
  QComboBox* genre_;
  // What each field was last filled with: a field the user has not changed
  // writes these bytes back as they were, also when they are not Shift-JIS.
  std::array<std::string, TagFieldCount> shown_;
};
