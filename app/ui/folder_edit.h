// The edit of a folder path, flagged while its text is not an existing directory.
#pragma once

#include <QLineEdit>

class QAction;

// Answers whether path names an existing directory (a file, a missing path or an empty text
// does not).
bool isExistingDirectory(const QString& path);

// A line edit that, while its text does not name an existing directory, has a red background
// and the warning tool-tip "警告" / "この名前のフォルダーはありません。", and a warning mark at
// its end. It looks again on every text change, when it gets the focus and when it is shown;
// a folder created or removed behind it shows at the next of these.
class FolderEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FolderEdit(QWidget* parent = nullptr);

    // True while the edit is painted as an unknown folder.
    bool flagged() const { return flagged_; }

    // Checks the text against the file system now and sets the look to match.
    void revalidate();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool flagged_ = false;
    QAction* warningMark_ = nullptr;
};
