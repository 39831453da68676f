#include <QApplication>

#include "app/Unit1.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QtDialogs dialogs;
  TForm1 form(app.arguments().mid(1), dialogs);
  form.show();
  app.exec();
  return 0;
}
