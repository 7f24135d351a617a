// The About box: program name and version, and the FreeImage notice.
#pragma once

#include <QDialog>

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // A modal box centred over parent, closed by its OK button.
    explicit AboutDialog(QWidget* parent = nullptr);
};
