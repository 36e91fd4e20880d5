#include "widgets/ThemeServices.h"

#include <QApplication>
#include <QWidget>

namespace {
bool themesEnabled = true;
}

bool ThemesEnabled() { return themesEnabled; }

void SetThemesEnabled(bool enabled) {
    if (themesEnabled == enabled) return;
    themesEnabled = enabled;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        for (QWidget* widget : QApplication::allWidgets()) widget->update();
    }
}
