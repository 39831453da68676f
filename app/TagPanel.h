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
class QWidget;

// The fields in the order the panel shows them, top to bottom, left panel
// first; every table over the fields follows it.
using selvane::TagField;
using selvane::TagFieldCount;

class TagPanel {
 public:
  // Makes the panel's group box in `parent`: the title, artist and album on
  // the left half, the comment, genre and year on the right.
  explicit TagPanel(QWidget* parent);

  // Lays the halves out in the group: the left one keeps its width.
  void Dock();
  void SetLeftWidth(int width);
  // Every field as wide as its half allows.
  void StretchFields();

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

  QGroupBox* tagGroup = nullptr;
  QWidget *leftHalf = nullptr, *rightHalf = nullptr;
  QLineEdit *titleBox = nullptr, *artistBox = nullptr, *albumBox = nullptr, *commentBox = nullptr,
            *yearBox = nullptr;
  QComboBox* genreBox = nullptr;

 private:
  struct Field {
    QLabel* label;
    QLineEdit* edit;
  };

  const Field& At(TagField field) const { return fields_[static_cast<std::size_t>(field)]; }
  void ShowText(TagField field, const char* bytes);

  std::array<Field, TagFieldCount> fields_{};
  // What each field was last filled with: a field the user has not changed
  // writes these bytes back as they were, also when they are not Shift-JIS.
  std::array<std::string, TagFieldCount> shown_;
};
