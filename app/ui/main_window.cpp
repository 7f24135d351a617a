#include "ui/main_window.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "core/progress.h"
#include "ui/about_dialog.h"
#include "ui/execution_page.h"
#include "ui/icons.h"
#include "ui/settings_form.h"

namespace {

constexpr int kProgressBarWidth = 200;

}  // namespace

MainWindow::MainWindow(AppSettings& settings, LayoOptions& options, QWidget* parent)
    : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("TOVEL"));
    setWindowIcon(programIcon());

    status_ = new QLabel(QStringLiteral("Ready"), this);
    statusBar()->addWidget(status_, 1);
    statusBar()->setSizeGripEnabled(true);

    tabs_ = new QTabWidget(this);
    tabs_->setIconSize(QSize(kTabIconSize, kTabIconSize));
    executionPage_ = new ExecutionPage(settings, options, tabs_);
    settingsForm_ = new SettingsForm(settings, options, tabs_);
    tabs_->addTab(executionPage_, runTabIcon(), QStringLiteral("実行"));
    tabs_->addTab(settingsForm_, settingsTabIcon(), QStringLiteral("設定"));
    tabs_->setCurrentIndex(settingsForm_->foldersValid() ? 0 : 1);
    setCentralWidget(tabs_);

    // Window managers own the window menu, so the About item sits behind a "?" button.
    auto* about = new QAction(QStringLiteral("TOVELのバージョン情報..."), this);
    about->setObjectName(QStringLiteral("about"));
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
    auto* menu = new QMenu(this);
    menu->addAction(about);
    auto* help = new QToolButton(tabs_);
    help->setText(QStringLiteral("?"));
    help->setToolTip(about->text());
    help->setMenu(menu);
    help->setPopupMode(QToolButton::InstantPopup);
    help->setAutoRaise(true);
    help->setStyleSheet(QStringLiteral("QToolButton { font-weight: bold; padding: 0 6px; }"
                                       "QToolButton::menu-indicator { image: none; }"));
    tabs_->setCornerWidget(help, Qt::TopRightCorner);

    // One bar for every job, shown while a job thread lives. Hiding it rather than deleting it
    // keeps the status bar repainting at once on X servers without a window manager.
    progressBar_ = new QProgressBar(statusBar());
    progressBar_->setObjectName(QStringLiteral("progress"));
    progressBar_->setFixedWidth(kProgressBarWidth);
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);
    statusBar()->addPermanentWidget(progressBar_);
    progressBar_->hide();

    jobTimer_ = new QTimer(this);
    jobTimer_->setInterval(kJobTimerPeriod);
    connect(jobTimer_, &QTimer::timeout, this, &MainWindow::onJobTimer);
    connect(executionPage_, &ExecutionPage::jobStarted, this, &MainWindow::onJobStarted);
    connect(executionPage_, &ExecutionPage::statusChanged, this, &MainWindow::showStatusIfChanged);
}

QString MainWindow::statusText() const { return status_->text(); }

void MainWindow::onJobStarted() {
    progressBar_->setValue(0);
    progressBar_->show();
    jobTimer_->start();
}

void MainWindow::showStatusIfChanged() {
    bool changed = false;
    const std::string text = takeStatusText(&changed);
    if (changed) status_->setText(QString::fromStdString(text));
}

void MainWindow::onJobTimer() {
    const int live = executionPage_->workers().collectDeadThreads();
    // After the join, so that the job's final status line is always shown.
    showStatusIfChanged();
    if (live > 0) {
        progressBar_->setValue(static_cast<int>(progressFraction() * 100));
        return;
    }
    progressBar_->hide();
    jobTimer_->stop();
}

void MainWindow::showAbout() {
    AboutDialog box(this);
    box.exec();
}
