#pragma once
// The tag panel: five text fields and the genre choice showing the selected
// entry's tag as last read, and giving back what is to be written.
#include <QString>
#include <array>
#include <optional>
#include <string>

#include "core/filelist/FileEntry.h"
#include "core/filelist/TagField.h"
#include "core/platform/FileOps.h"
#include "core/tags/Id3v2Write.h"
#include "core/tags/TagWriter.h"

class QAction;
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

  // With the item "ID3v2 も使う" on, the title, artist and album show the
  // value the names take (the ID3v2 one where it completes the trailer's),
  // marked beside the field when it came from ID3v2, and the boxes take
  // whole values (the year stays four bytes). Off: the trailer's fields
  // and their 30-byte limits.
  void TakeWholeValues(bool on);

  // Shows the entry's tag (none: empty fields and the caption without
  // "あり"/"なし"). With whole values the entry's file's ID3v2 tag is read
  // through `ops`.
  void Show(const selvane::FileEntry* entry, selvane::FileOps& ops);
  // After a paste the panel shows another file's tag: EditedFields then
  // tells what differs from this entry's own values.
  void CompareWith(const selvane::FileEntry* entry, selvane::FileOps& ops);

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
  // With whole values, the fields whose text differs from the selected
  // file's own (the genre by name; "Unknown" keeps the tag's), for its ID3v2
  // tag. A field holding a character without a CP932 form is left out:
  // Read refuses it when edited. With whole values off, nothing.
  selvane::Id3v2Changes EditedFields() const;

  QGroupBox* tagGroup = nullptr;
  QWidget *leftHalf = nullptr, *rightHalf = nullptr;
  QLineEdit *titleBox = nullptr, *artistBox = nullptr, *albumBox = nullptr, *commentBox = nullptr,
            *yearBox = nullptr;
  QComboBox* genreBox = nullptr;

 private:
  struct Field {
    QLabel* label;
    QLineEdit* edit;
    QAction* mark;  // where an ID3v2 value came from; title, artist and album only
  };
  // What the panel shows of an entry, and what each field, left as it is,
  // writes back to the trailer.
  struct Values {
    std::array<std::string, TagFieldCount> shown, kept;
    int genreItem = -1;
    selvane::Id3v2Note note{};
  };

  const Field& At(TagField field) const { return fields_[static_cast<std::size_t>(field)]; }
  Values ValuesOf(const selvane::FileEntry* entry, selvane::FileOps& ops) const;
  void ShowMark(TagField field, const selvane::Id3v2Note& note);

  std::array<Field, TagFieldCount> fields_{};
  bool wholeValues_ = false;
  // What each field was last filled with, and the bytes it writes back when
  // the user has not changed it: the file's own, also when they are not
  // Shift-JIS.
  std::array<std::string, TagFieldCount> shown_, kept_;
  // The selected file's own values as shown, which EditedFields compares with.
  std::array<QString, TagFieldCount> own_;
  int ownGenre_ = -1;
};
