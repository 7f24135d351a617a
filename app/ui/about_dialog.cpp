#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/dialog_units.h"
#include "ui/icons.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(programIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    auto* version = new QLabel(QStringLiteral("TOVEL v1.00 Linux"), this);
    version->setObjectName(QStringLiteral("version"));
    auto* notice = new QLabel(
        QStringLiteral("This software uses the FreeImage open source image library.\n"
                       "See https://freeimage.sourceforge.io for details.\n"
                       "FreeImage is used under the FIPL, version 1.0."),
        this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addSpacing(12);
    texts->addWidget(notice);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    setMinimumSize(dialogRect(this, 0, 0, 237, 153).size());
}
