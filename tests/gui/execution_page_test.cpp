#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "core/progress.h"
#include "gui_test_support.h"
#include "ui/execution_page.h"
#include "ui/preview_geometry.h"

class ExecutionPageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareGuiTest(); }

    void previewKeepsTheSheetsProportions() {
        const QRect area(150, 0, 400, 300);
        QCOMPARE(previewPlacement(QSize(800, 600), area), area);
        QCOMPARE(previewPlacement(QSize(4, 3), area), area);
        // Taller: full height, centred across.
        QCOMPARE(previewPlacement(QSize(300, 600), area), QRect(275, 0, 150, 300));
        // Wider: full width, centred down.
        QCOMPARE(previewPlacement(QSize(800, 200), area), QRect(150, 100, 400, 100));
        QVERIFY(previewPlacement(QSize(0, 10), area).isEmpty());
        QCOMPARE(previewArea(QSize(551, 301)), area);
        QVERIFY(previewArea(QSize(120, 300)).isEmpty());
    }

    void startPressedTwiceRunsOneJobAndStopsIt() {
        QTemporaryDir source;
        QTemporaryDir destination;
        // Enough sheets that the whole job outlasts the moment between the two clicks by far.
        constexpr int kSheets = 10;
        for (int k = 0; k < kSheets; ++k)
            writeSheet(source.filePath(QString("p%1.png").arg(k, 2, 10, QChar('0'))), 1200, 1600);
        AppSettings settings;
        settings.sourceFolder = source.path().toStdString();
        settings.destinationFolder = destination.path().toStdString();
        LayoOptions options;
        ExecutionPage page(settings, options);
        int started = 0;
        connect(&page, &ExecutionPage::jobStarted, [&started] { ++started; });

        page.startButton()->click();
        page.startButton()->click();
        QCOMPARE(started, 1);
        QCOMPARE(page.workers().liveCount(), 1);
        QCOMPARE(page.startButton()->text(), QStringLiteral("中止"));
        page.startButton()->click();
        QCOMPARE(started, 1);

        QTRY_COMPARE_WITH_TIMEOUT(page.workers().busyCount(), 0, 20000);
        QCOMPARE(page.workers().collectDeadThreads(), 0);
        QCOMPARE(QString::fromStdString(takeStatusText(nullptr)), QStringLiteral("中止しました。"));
        QVERIFY2(QDir(destination.path()).entryList(QDir::Files).size() < kSheets,
                 "the stop ends the job before the last sheet");
        QVERIFY(!isStopRequested());
        QTRY_COMPARE(page.startButton()->text(), QStringLiteral("開始"));
    }

};

QTEST_MAIN(ExecutionPageTest)
#include "execution_page_test.moc"
