// The execution page: the Start button that runs the folder job on a worker thread, and the
// preview of the sheet being processed, drawn right of x = 150.
#pragma once

#include <QImage>
#include <QWidget>
#include <atomic>

#include "pipeline/folder_job.h"
#include "pipeline/layo_options.h"
#include "settings/app_settings.h"
#include "ui/worker_threads.h"

class QPushButton;

class ExecutionPage : public QWidget {
    Q_OBJECT
public:
    // settings and options are the values the configuration form edits; they must outlive the
    // page. The page becomes the engine's preview listener while it lives, so only one page may
    // live at a time. Destroying the page asks a running job to stop and waits for its thread.
    ExecutionPage(const AppSettings& settings, const LayoOptions& options, QWidget* parent = nullptr);
    ~ExecutionPage() override;

    QPushButton* startButton() const { return startButton_; }

    // The threads the page started; the main window reaps them.
    WorkerThreads& workers() { return workers_; }

    // The preview area in this page's coordinates.
    QRect previewArea() const;

signals:
    // A job has just been started (not sent for a click that only requests a stop).
    void jobStarted();

    // The status line was set without a job (a start refused for an empty folder text).
    void statusChanged();

public slots:
    // Starts the folder job from the current folders and options, Jobs sheets at once (the
    // progress bar follows the whole job, the preview the sheet started last), or, while a job
    // runs, asks it to stop. With an empty folder text nothing starts and the status says "中止しました。".
    void onStartClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Runs on the worker thread: marks the preview stale and schedules a repaint.
    static void onPreviewChanged(void* context, bool erase);
    // Runs on the worker thread: passes a sheet's whole trace on when sheets run side by side.
    static void traceSheet(void* context, const SheetReport& report);
    void refreshPreview();
    void showJobState();

    const AppSettings& settings_;
    const LayoOptions& options_;
    QPushButton* startButton_ = nullptr;
    std::atomic<bool> previewStale_{true};
    QImage preview_;  // the latest preview, full size
    QImage scaled_;   // preview_ at the size it was last drawn
    WorkerThreads workers_;
};
