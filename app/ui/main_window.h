// The main window: status bar, the tab view with the execution page and the configuration form,
// the "?" corner button with the About box, and the timer that follows a running job.
#pragma once

#include <QMainWindow>

#include "pipeline/layo_options.h"
#include "settings/app_settings.h"

class ExecutionPage;
class QLabel;
class QProgressBar;
class QTabWidget;
class QTimer;
class SettingsForm;

// The period, in milliseconds, of the timer that moves the progress bar and reaps workers.
constexpr int kJobTimerPeriod = 100;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window titled "TOVEL" around settings and options, which must outlive it: the
    // form loads them from settings.iniPath and edits them, the execution page runs jobs on
    // them. Opens on the execution tab when both folders exist, on the settings tab otherwise.
    MainWindow(AppSettings& settings, LayoOptions& options, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return tabs_; }
    ExecutionPage* executionPage() const { return executionPage_; }
    SettingsForm* settingsForm() const { return settingsForm_; }

    // The progress bar in the status bar, shown only while a job thread lives.
    QProgressBar* progressBar() const { return progressBar_; }
    QTimer* jobTimer() const { return jobTimer_; }

    // The text of the status line.
    QString statusText() const;

public slots:
    // One tick of the job timer: joins finished workers, shows a changed status line, moves
    // the progress bar, and once no worker is left hides the bar and stops the timer.
    void onJobTimer();

    // Shows the About box and returns when it is closed.
    void showAbout();

private:
    void onJobStarted();
    void showStatusIfChanged();

    QTabWidget* tabs_ = nullptr;
    ExecutionPage* executionPage_ = nullptr;
    SettingsForm* settingsForm_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QTimer* jobTimer_ = nullptr;
};
