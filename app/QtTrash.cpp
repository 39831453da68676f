#include "app/QtTrash.h"

#include <QFile>
#include <QString>
#include <cerrno>
#include <string>

#include "core/platform/Cp932.h"

selvane::FileResult QtTrash::MoveToTrash(const char* path, selvane::TrashedFile& trashed) {
  std::string native;
  if (!selvane::Cp932PathToNative(path, native)) return selvane::FileResult{EILSEQ};
  QString inTrash;
  if (!QFile::moveToTrash(QFile::decodeName(native.c_str()), &inTrash)) {
    // Qt tells no reason; the name tells whether there was anything to take.
    const bool gone = selvane::NativeStatus(native).kind == selvane::FileKind::Missing;
    return selvane::FileResult{gone ? ENOENT : EXDEV};
  }
  trashed.nativePath = QFile::encodeName(inTrash).toStdString();
  trashed.file = selvane::NativeStatus(trashed.nativePath);
  return {};
}
