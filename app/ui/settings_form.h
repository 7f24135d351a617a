// The configuration form: source and destination folders, the three switches, the two margins
// and the sheets processed at once, each written to TOVEL.ini the moment it changes.
#pragma once

#include <QWidget>

#include "pipeline/layo_options.h"
#include "settings/app_settings.h"

class FolderEdit;
class QCheckBox;
class QLineEdit;
class QSpinBox;

// Controls carry object names for finding them: "sourceFolder", "destinationFolder",
// "browseSource", "browseDestination", "openSource", "openDestination", "dividePage",
// "removeHeader", "setMargin", "verticalMargin", "horizontalMargin", "jobs".
class SettingsForm : public QWidget {
    Q_OBJECT
public:
    // Reads the INI file at settings.iniPath into settings and options and shows the values;
    // from then on every edit is stored in settings or options and written to the file at once
    // (a failed write is not reported). Loading writes the folders and the margins back in
    // their normal form. settings and options must outlive the form; a running job reads
    // options while the form writes it.
    SettingsForm(AppSettings& settings, LayoOptions& options, QWidget* parent = nullptr);

    // True when both folders named in the INI file existed as directories at loading.
    bool foldersValid() const { return foldersValid_; }

private:
    QWidget* buildFolderGroup();
    QWidget* buildOutputGroup();
    QWidget* buildJobGroup();
    void loadValues();
    void browse(FolderEdit* edit, const QString& title);
    void openFolder(const FolderEdit* edit);
    void save(const char* key, const std::string& value);

    AppSettings& settings_;
    LayoOptions& options_;
    bool foldersValid_ = true;
    FolderEdit* source_ = nullptr;
    FolderEdit* destination_ = nullptr;
    QCheckBox* dividePage_ = nullptr;
    QCheckBox* removeHeader_ = nullptr;
    QCheckBox* setMargin_ = nullptr;
    QLineEdit* verticalMargin_ = nullptr;
    QLineEdit* horizontalMargin_ = nullptr;
    QSpinBox* jobs_ = nullptr;
};
