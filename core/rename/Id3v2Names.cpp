#include "core/rename/Id3v2Names.h"

#include <cstring>

#include "core/platform/Cp932.h"
#include "core/tags/Id3v1Tag.h"

namespace selvane {
namespace {

inline constexpr std::size_t Id3v1FieldBytes = 30;

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

constexpr const char* kFieldNames[NameFieldCount] = {"タイトル", "アーティスト", "アルバム"};

std::string FieldLine(const Id3v2Note& note, std::size_t i) {
  std::string line = std::string(kFieldNames[i]) + "：";
  const Id3v2Source from = note.from[i];
  if (from == Id3v2Source::Id3v1) return line + "ID3v1";
  line += "ID3v2（";
  switch (from) {
    case Id3v2Source::NoId3v1Tag:
      line += "ID3v1 タグがありません";
      break;
    case Id3v2Source::EmptyId3v1:
      line += "ID3v1 は空です";
      break;
    default:
      line += "ID3v1 は 30 バイトで切れています";
      break;
  }
  switch (note.reading[i]) {
    case Id3v2Reading::ShiftJis:
      line += "・Shift-JIS として読みました";
      break;
    case Id3v2Reading::Repaired:
      line += "・文字化けしていたのを Shift-JIS として読み直しました";
      break;
    case Id3v2Reading::NoCp932Form:
      line += std::string("・「") + note.missing[i] + "」は Shift-JIS にない文字です";
      break;
    case Id3v2Reading::AsIs:
      break;
  }
  return line + "）";
}

}  // namespace

bool IsCutFrom(std::string_view v1, std::string_view v2) {
  if (v1.empty() || v2.size() <= Id3v1FieldBytes) return false;
  return v1 == TrimRight(v2.substr(0, CharBoundary(v2, Id3v1FieldBytes))) ||
         v1 == TrimRight(v2.substr(0, Id3v1FieldBytes));
}

bool NameValues::Read(FileEntry& entry, TagSources sources, FileOps& ops, FileStatus* status,
                      std::string_view native) {
  entry_ = &entry;
  entry.id3v2 = {};
  v2_ = {};
  for (Id3v2Text& text : text_) text = {};
  const PlannedPath path{entry.path, native};
  if (sources == TagSources::WithId3v2) {
    v1Tagged_ = ReadTagAndId3v2(path, entry, v2_, ops, status) == ReadTagOk;
    tagged_ = v1Tagged_;
    if (v1Tagged_ || !v2_.present) return tagged_;
    // With no trailer the ID3v2 values alone tag the file, and frames that
    // read as nothing do not: such a file keeps its name as an untagged one.
    for (const TagField field : NameFields) {
      Id3v2Text& text = text_[FieldIndex(field)];
      text = DecodeId3v2Frame(v2_, field);
      tagged_ = tagged_ || !text.cp932.empty();
    }
    return tagged_;
  }
  const int result = ReadTag(path, entry, ops, status);
  v1Tagged_ = tagged_ = result == ReadTagOk;
  // Only a file without a trailer is looked at again, to tell the user what
  // the ID3v2 tag at its head would do.
  if (result == ReadTagNoMarker && ReadId3v2(entry.path, ops).present) entry.id3v2.unread = true;
  return tagged_;
}

std::string_view NameValues::Get(TagField field) {
  const std::size_t i = FieldIndex(field);
  const std::string_view v1 = field == TagField::Title    ? FieldText(entry_->title)
                              : field == TagField::Artist ? FieldText(entry_->artist)
                                                          : FieldText(entry_->album);
  if (v2_.frame[i].empty()) return v1;
  // A field can only be a cut of a value longer than itself: a short frame
  // behind a filled field needs no decoding.
  if (v1Tagged_ && !v1.empty() && Id3v2TextBound(v2_, field) <= Id3v1FieldBytes) return v1;
  Id3v2Text& v2 = text_[i];
  if (v1Tagged_) v2 = DecodeId3v2Frame(v2_, field);  // else Read decoded it
  return TakeNameValue(field, v1, v1Tagged_, v2, entry_->id3v2);
}

std::string_view TakeNameValue(TagField field, std::string_view v1, bool v1Tagged,
                               const Id3v2Text& v2, Id3v2Note& note) {
  const std::size_t i = FieldIndex(field);
  Id3v2Source from = Id3v2Source::Id3v1;
  if (v2.cp932.empty())
    from = Id3v2Source::Id3v1;
  else if (!v1Tagged)
    from = Id3v2Source::NoId3v1Tag;
  else if (v1.empty())
    from = Id3v2Source::EmptyId3v1;
  else if (IsCutFrom(v1, v2.cp932))
    from = Id3v2Source::CutId3v1;
  note.from[i] = from;
  if (from == Id3v2Source::Id3v1) return v1;
  note.reading[i] = v2.reading;
  CopyField(note.missing[i], sizeof note.missing[i], v2.missing);
  return v2.cp932;
}

void NoteUsedFields(Id3v2Note& note, bool title, bool artist, bool album) {
  note.used = static_cast<unsigned char>((title ? 1 : 0) | (artist ? 2 : 0) | (album ? 4 : 0));
}

bool NamedFromId3v2(const Id3v2Note& note) {
  for (std::size_t i = 0; i < NameFieldCount; ++i)
    if ((note.used & (1u << i)) != 0 && note.from[i] != Id3v2Source::Id3v1) return true;
  return false;
}

std::string Id3v2NoteText(const Id3v2Note& note) {
  if (note.unread)
    return Cp932(
        "ID3v1 タグはありませんが ID3v2 タグがあります。"
        "命名規則メニューの「ID3v2 も使う」をオンにすると、その値で名前を付けます");
  if (!NamedFromId3v2(note)) return {};
  std::string text;
  for (std::size_t i = 0; i < NameFieldCount; ++i) {
    if ((note.used & (1u << i)) == 0) continue;
    if (!text.empty()) text += "\n";
    text += FieldLine(note, i);
  }
  return Cp932Showing(text);
}

bool NeedsMissingCharacter(const FileEntry& entry) {
  const Id3v2Note& note = entry.id3v2;
  bool missing = false;
  for (std::size_t i = 0; i < NameFieldCount; ++i)
    if ((note.used & (1u << i)) != 0 && note.from[i] != Id3v2Source::Id3v1 &&
        note.reading[i] == Id3v2Reading::NoCp932Form)
      missing = true;
  return missing && std::strchr(entry.newPath, NoCp932FormByte) != nullptr;
}

}  // namespace selvane
