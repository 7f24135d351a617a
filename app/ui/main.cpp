// tovel: the desktop window.
#include <QApplication>

#include "settings/app_settings.h"
#include "ui/main_window.h"
#include "ui/startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    AppSettings settings;
    prepareProcess(settings);
    LayoOptions options;
    MainWindow window(settings, options);
    window.move(0, 0);
    window.resize(700, 500);
    window.show();
    return QApplication::exec();
}
