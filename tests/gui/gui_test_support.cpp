#include "gui_test_support.h"

#include <QFile>

#include "core/grey_image.h"
#include "core/progress.h"
#include "pipeline/image_io.h"
#include "ui/startup.h"

void prepareGuiTest() {
    useUtf8Locale();
    initImageIo();
    clearStopRequest();
    setJobRunning(false);
}

void writeTextFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
}

QByteArray readTextFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeSheet(const QString& path, int width, int height) {
    GreyImage sheet;
    sheet.reset(width, height, 235);
    for (int x = width / 6; x + 8 < width * 5 / 6; x += width / 10) {
        for (int y = height / 10; y < height * 9 / 10; ++y) {
            for (int k = 0; k < 8; ++k) sheet.at(x + k, y) = 30;
        }
    }
    saveGreyImage(path.toUtf8().constData(), sheet);
}
