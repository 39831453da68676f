#include "app/HelpViewer.h"

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent) {}
void HelpViewer::ShowContents(const QString& file) { file_ = file; }
