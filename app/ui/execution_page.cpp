#include "ui/execution_page.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

#include <thread>
#include <vector>

#include "core/progress.h"
#include "core/text_strings.h"
#include "core/trace.h"
#include "books/book_job.h"
#include "pipeline/folder_job.h"
#include "ui/dialog_units.h"
#include "ui/preview_geometry.h"

namespace {

QString startText() { return QStringLiteral("開始"); }
QString stopText() { return QStringLiteral("中止"); }

}  // namespace

ExecutionPage::ExecutionPage(const AppSettings& settings, const LayoOptions& options,
                             QWidget* parent)
    : QWidget(parent), settings_(settings), options_(options) {
    // One background everywhere, so the empty preview area and its bands do not show.
    setAutoFillBackground(true);
    startButton_ = new QPushButton(startText(), this);
    startButton_->setObjectName(QStringLiteral("start"));
    startButton_->setGeometry(dialogRect(this, 25, 23, 52, 20));
    connect(startButton_, &QPushButton::clicked, this, &ExecutionPage::onStartClicked);
    setPreviewListener(&ExecutionPage::onPreviewChanged, this);
}

ExecutionPage::~ExecutionPage() {
    // The worker calls back into this page; it must be gone before the listener is dropped.
    workers_.stopAndJoinAll();
    setPreviewListener(nullptr, nullptr);
}

QRect ExecutionPage::previewArea() const { return ::previewArea(size()); }

void ExecutionPage::onStartClicked() {
    if (isJobRunning()) {
        requestStop();
        return;
    }
    if (settings_.sourceFolder.empty() || settings_.destinationFolder.empty()) {
        // The job would take an empty folder text for the working directory and read or write
        // there; the start is refused the way a source that cannot be listed ends a job.
        setStatusText("中止しました。");
        emit statusChanged();
        return;
    }
    // A stop asked for after the last job had already ended must not end the new one.
    clearStopRequest();
    setProgress(0.0f);
    emit jobStarted();
    startButton_->setText(stopText());
    setJobRunning(true);

    // The folders are read here, on the interface thread; the options are read by the job
    // afresh for every sheet, so edits made during the run reach the next sheet.
    const sjisString source(settings_.sourceFolder.c_str());
    const sjisString destination(settings_.destinationFolder.c_str());
    const LayoOptions* options = &options_;
    JobSettings job;
    job.jobs = jobsFor(settings_.jobs, std::thread::hardware_concurrency());
    // Sheets side by side keep their traces whole, so that the trace reads sheet after sheet.
    job.captureTrace = job.jobs > 1;
    workers_.start([this, source, destination, options, job] {
        std::vector<SheetEntry> sheets;
        if (listSheets(source, sheets)) {
            // A folder that is its own destination holds the outputs of earlier runs too.
            if (sameFolder(source, destination)) dropOwnOutputs(sheets);
            runShelfJob(sheets, destination, *options, defaultLayoStages(), job, &ExecutionPage::traceSheet, nullptr);
        } else {
            runFolderJob(source, destination, *options, defaultLayoStages());  // ends as a folder that cannot be listed
        }
        QMetaObject::invokeMethod(this, &ExecutionPage::showJobState, Qt::QueuedConnection);
    });
}

void ExecutionPage::traceSheet(void*, const SheetReport& report) { traceText(report.trace); }

void ExecutionPage::showJobState() {
    // A new job may have started between the end of the old one and this call.
    startButton_->setText(isJobRunning() ? stopText() : startText());
}

void ExecutionPage::onPreviewChanged(void* context, bool) {
    auto* page = static_cast<ExecutionPage*>(context);
    page->previewStale_ = true;
    QMetaObject::invokeMethod(
        page, [page] { page->update(page->previewArea()); }, Qt::QueuedConnection);
}

void ExecutionPage::refreshPreview() {
    if (!previewStale_.exchange(false)) return;
    GreyImage grey;
    if (!copyPreview(grey) || grey.width <= 0 || grey.height <= 0) {
        preview_ = QImage();
    } else {
        const QImage view(grey.pixels.data(), grey.width, grey.height, grey.width,
                          QImage::Format_Grayscale8);
        preview_ = view.copy();
    }
    scaled_ = QImage();
}

void ExecutionPage::paintEvent(QPaintEvent*) {
    refreshPreview();
    const QRect area = previewArea();
    QPainter painter(this);
    const QColor face = palette().color(QPalette::Window);
    const QRect drawn = previewPlacement(preview_.size(), area);
    if (drawn.isEmpty()) {
        painter.fillRect(area, face);
        return;
    }
    // The bands beside the image.
    painter.fillRect(QRect(area.topLeft(), QPoint(drawn.left() - 1, area.bottom())), face);
    painter.fillRect(QRect(QPoint(drawn.right() + 1, area.top()), area.bottomRight()), face);
    painter.fillRect(QRect(area.topLeft(), QPoint(area.right(), drawn.top() - 1)), face);
    painter.fillRect(QRect(QPoint(area.left(), drawn.bottom() + 1), area.bottomRight()), face);
    // Area-averaging reduction, done once per preview and size rather than at every paint.
    if (scaled_.size() != drawn.size()) {
        scaled_ = preview_.scaled(drawn.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.drawImage(drawn.topLeft(), scaled_);
}

void ExecutionPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}
