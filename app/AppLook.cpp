#include "app/AppLook.h"

#include <QApplication>
#include <QLibraryInfo>

#include "app/Glyphs.h"

QFont GothicFont(const char* family, bool fixedPitch) {
  QFont font(QString::fromLatin1(family));
  font.setPixelSize(12);
  font.setFixedPitch(fixedPitch);
  font.setStyleHint(fixedPitch ? QFont::TypeWriter : QFont::SansSerif);
  return font;
}

void SetApplicationLook(QTranslator& qtTexts) {
  QApplication::setWindowIcon(ApplicationIcon());
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  QApplication::setFont(font);
  // Standard buttons and dialogs in Japanese.
  if (qtTexts.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);
}
