#include "ui/settings_form.h"

#include <algorithm>

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/dialog_units.h"
#include "ui/folder_edit.h"

namespace {

// The widths, in dialog units, of the small buttons, the margin edits and the whole form.
constexpr int kButtonWidth = 29;
constexpr int kMarginEditWidth = 33;
constexpr int kFormWidth = 405;

QPushButton* smallButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFixedWidth(dialogUnitsX(parent, kButtonWidth) + 8);
    return button;
}

}  // namespace

SettingsForm::SettingsForm(AppSettings& settings, LayoOptions& options, QWidget* parent)
    : QWidget(parent), settings_(settings), options_(options) {
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildFolderGroup());
    layout->addWidget(buildOutputGroup());
    layout->addWidget(buildJobGroup());
    layout->addStretch(1);
    setMaximumWidth(dialogUnitsX(this, kFormWidth) + 16);
    loadValues();
}

QWidget* SettingsForm::buildFolderGroup() {
    auto* group = new QGroupBox(QStringLiteral("フォルダ設定"), this);
    auto* grid = new QGridLayout(group);
    source_ = new FolderEdit(group);
    source_->setObjectName(QStringLiteral("sourceFolder"));
    destination_ = new FolderEdit(group);
    destination_->setObjectName(QStringLiteral("destinationFolder"));

    auto* browseSource = smallButton(QStringLiteral("..."), "browseSource", group);
    auto* openSource = smallButton(QStringLiteral("開く"), "openSource", group);
    auto* browseDestination = smallButton(QStringLiteral("..."), "browseDestination", group);
    auto* openDestination = smallButton(QStringLiteral("開く"), "openDestination", group);

    grid->addWidget(new QLabel(QStringLiteral("元画像フォルダ ："), group), 0, 0);
    grid->addWidget(source_, 0, 1);
    grid->addWidget(browseSource, 0, 2);
    grid->addWidget(openSource, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("保存先フォルダ ："), group), 1, 0);
    grid->addWidget(destination_, 1, 1);
    grid->addWidget(browseDestination, 1, 2);
    grid->addWidget(openDestination, 1, 3);
    grid->setColumnStretch(1, 1);

    // Folder edits store and write every change, whoever makes it (typing, the picker, loading).
    connect(source_, &QLineEdit::textChanged, this, [this](const QString& text) {
        settings_.sourceFolder = text.toStdString();
        save("SourceFolder", settings_.sourceFolder);
    });
    connect(destination_, &QLineEdit::textChanged, this, [this](const QString& text) {
        settings_.destinationFolder = text.toStdString();
        save("DestinationFolder", settings_.destinationFolder);
    });
    connect(browseSource, &QPushButton::clicked, this, [this] {
        browse(source_, QStringLiteral("元画像のあるフォルダを選択してください。"));
    });
    connect(browseDestination, &QPushButton::clicked, this, [this] {
        browse(destination_, QStringLiteral("保存先のフォルダを選択してください。"));
    });
    connect(openSource, &QPushButton::clicked, this, [this] { openFolder(source_); });
    connect(openDestination, &QPushButton::clicked, this, [this] { openFolder(destination_); });
    return group;
}

QWidget* SettingsForm::buildOutputGroup() {
    auto* group = new QGroupBox(QStringLiteral("出力設定"), this);
    auto* column = new QVBoxLayout(group);
    dividePage_ = new QCheckBox(QStringLiteral("ページを分割する"), group);
    dividePage_->setObjectName(QStringLiteral("dividePage"));
    removeHeader_ = new QCheckBox(QStringLiteral("ヘッダー・フッターを削除する"), group);
    removeHeader_->setObjectName(QStringLiteral("removeHeader"));
    setMargin_ = new QCheckBox(QStringLiteral("空きを指定する"), group);
    setMargin_->setObjectName(QStringLiteral("setMargin"));
    column->addWidget(dividePage_);
    column->addWidget(removeHeader_);
    column->addWidget(setMargin_);

    verticalMargin_ = new QLineEdit(group);
    verticalMargin_->setObjectName(QStringLiteral("verticalMargin"));
    horizontalMargin_ = new QLineEdit(group);
    horizontalMargin_->setObjectName(QStringLiteral("horizontalMargin"));
    const int editWidth = dialogUnitsX(group, kMarginEditWidth) + 8;
    verticalMargin_->setFixedWidth(editWidth);
    horizontalMargin_->setFixedWidth(editWidth);
    auto* margins = new QHBoxLayout;
    margins->setContentsMargins(dialogUnitsX(group, 11), 0, 0, 0);
    margins->addWidget(new QLabel(QStringLiteral("天地空き"), group));
    margins->addWidget(verticalMargin_);
    margins->addSpacing(dialogUnitsX(group, 13));
    margins->addWidget(new QLabel(QStringLiteral("左右空き"), group));
    margins->addWidget(horizontalMargin_);
    margins->addStretch(1);
    column->addLayout(margins);

    // Switches follow the user's clicks only; loading sets them without writing.
    const auto bindSwitch = [this](QCheckBox* box, unsigned char LayoOptions::*field,
                                   const char* key) {
        connect(box, &QCheckBox::clicked, this, [this, field, key](bool checked) {
            options_.*field = checked ? 1 : 0;
            save(key, formatSwitch(checked));
        });
    };
    bindSwitch(dividePage_, &LayoOptions::dividePage, "DividePage");
    bindSwitch(removeHeader_, &LayoOptions::removeHeader, "RemoveHeader");
    bindSwitch(setMargin_, &LayoOptions::setMargin, "SetMargin");

    // A margin is the leading integer of what is typed; the edit keeps the typed text.
    const auto bindMargin = [this](QLineEdit* edit, int LayoOptions::*field, const char* key) {
        connect(edit, &QLineEdit::textChanged, this, [this, field, key](const QString& text) {
            options_.*field = parseMargin(text.toStdString());
            save(key, std::to_string(options_.*field));
        });
    };
    bindMargin(verticalMargin_, &LayoOptions::verticalMargin, "VerticalMargin");
    bindMargin(horizontalMargin_, &LayoOptions::horizontalMargin, "HorizontalMargin");
    return group;
}

QWidget* SettingsForm::buildJobGroup() {
    auto* group = new QGroupBox(QStringLiteral("処理設定"), this);
    auto* row = new QHBoxLayout(group);
    jobs_ = new QSpinBox(group);
    jobs_->setObjectName(QStringLiteral("jobs"));
    jobs_->setRange(0, 256);
    // 0 stands for the machine's cores, which the box names instead of the number.
    jobs_->setSpecialValueText(QStringLiteral("コア数 (%1)").arg(QThread::idealThreadCount()));
    row->addWidget(new QLabel(QStringLiteral("同時に処理する画像数 ："), group));
    row->addWidget(jobs_);
    row->addStretch(1);
    connect(jobs_, &QSpinBox::valueChanged, this, [this](int value) {
        settings_.jobs = value;
        save("Jobs", std::to_string(value));
    });
    return group;
}

void SettingsForm::loadValues() {
    loadSettings(settings_, options_);
    const QString source = QString::fromStdString(settings_.sourceFolder);
    const QString destination = QString::fromStdString(settings_.destinationFolder);
    foldersValid_ = isExistingDirectory(source) && isExistingDirectory(destination);
    source_->setText(source);
    destination_->setText(destination);
    dividePage_->setChecked(options_.dividePage != 0);
    removeHeader_->setChecked(options_.removeHeader != 0);
    setMargin_->setChecked(options_.setMargin != 0);
    horizontalMargin_->setText(QString::number(options_.horizontalMargin));
    verticalMargin_->setText(QString::number(options_.verticalMargin));
    jobs_->setValue(std::min(settings_.jobs, jobs_->maximum()));
}

void SettingsForm::browse(FolderEdit* edit, const QString& title) {
    const QString typed = edit->text();
    const QString start = isExistingDirectory(typed) ? typed : QString();
    const QString chosen =
        QFileDialog::getExistingDirectory(window(), title, start, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) edit->setText(chosen);
}

void SettingsForm::openFolder(const FolderEdit* edit) {
    // The desktop would happily "open" a path that does not exist; only a real one is handed on.
    const QString path = edit->text();
    const bool opened = !path.isEmpty() && QFileInfo::exists(path) &&
                        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    if (!opened) {
        QMessageBox::warning(window(), QStringLiteral("エラー"),
                             QStringLiteral("フォルダが開けません。"));
    }
}

void SettingsForm::save(const char* key, const std::string& value) {
    saveSetting(settings_.iniPath, key, value);
}
