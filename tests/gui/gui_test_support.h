// Helpers shared by the window tests: process set-up, INI files and small sheets on disk.
#pragma once

#include <QString>

// The locale and FreeImage as the program sets them up, and an idle progress state.
void prepareGuiTest();

// Writes text as the file at path.
void writeTextFile(const QString& path, const QByteArray& text);

// The contents of the file at path.
QByteArray readTextFile(const QString& path);

// Writes a grey sheet, width x height, light with a few dark columns, as an image file at path.
void writeSheet(const QString& path, int width = 240, int height = 320);
