#include "ui/folder_edit.h"

#include <QAction>
#include <QFileInfo>
#include <QStyle>

namespace {

const QColor kInvalidBackground(255, 0, 0);

QString warningToolTip() {
    return QStringLiteral("<b>⚠ 警告</b><br><nobr>この名前のフォルダーはありません。</nobr>");
}

}  // namespace

bool isExistingDirectory(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

FolderEdit::FolderEdit(QWidget* parent) : QLineEdit(parent) {
    warningMark_ = new QAction(style()->standardIcon(QStyle::SP_MessageBoxWarning), QString(), this);
    warningMark_->setToolTip(warningToolTip());
    connect(this, &QLineEdit::textChanged, this, &FolderEdit::revalidate);
    revalidate();
}

void FolderEdit::revalidate() {
    const bool invalid = !isExistingDirectory(text());
    if (invalid == flagged_) return;
    flagged_ = invalid;
    if (invalid) {
        QPalette red = palette();
        red.setColor(QPalette::Base, kInvalidBackground);
        setPalette(red);
        setToolTip(warningToolTip());
        addAction(warningMark_, QLineEdit::TrailingPosition);
    } else {
        // An empty palette inherits the parent's again.
        setPalette(QPalette());
        setToolTip(QString());
        removeAction(warningMark_);
    }
}

void FolderEdit::focusInEvent(QFocusEvent* event) {
    revalidate();
    QLineEdit::focusInEvent(event);
}

void FolderEdit::showEvent(QShowEvent* event) {
    revalidate();
    QLineEdit::showEvent(event);
}
