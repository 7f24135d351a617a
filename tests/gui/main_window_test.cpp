#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "core/progress.h"
#include "gui_test_support.h"
#include "ui/about_dialog.h"
#include "ui/execution_page.h"
#include "ui/main_window.h"

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareGuiTest(); }

    void opensOnTheExecutionTabOnlyWhenBothFoldersExist_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("tab");
        QTest::newRow("both folders") << "in" << "out" << 0;
        QTest::newRow("source missing") << "missing" << "out" << 1;
        QTest::newRow("destination is a file") << "in" << "file.png" << 1;
        QTest::newRow("nothing set") << "" << "" << 1;
    }

    void opensOnTheExecutionTabOnlyWhenBothFoldersExist() {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(int, tab);
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("in");
        QDir(dir.path()).mkdir("out");
        writeTextFile(dir.filePath("file.png"), "x");
        const auto path = [&dir](const QString& name) {
            return name.isEmpty() ? QByteArray() : dir.filePath(name).toUtf8();
        };
        writeTextFile(dir.filePath("TOVEL.ini"), "[GENERAL]\nSourceFolder=" + path(source) +
                                                     "\nDestinationFolder=" + path(destination) +
                                                     "\n");
        AppSettings settings;
        settings.iniPath = dir.filePath("TOVEL.ini").toStdString();
        LayoOptions options;
        MainWindow window(settings, options);
        QCOMPARE(window.tabs()->currentIndex(), tab);
        QCOMPARE(window.windowTitle(), QStringLiteral("TOVEL"));
        QCOMPARE(window.statusText(), QStringLiteral("Ready"));
        QCOMPARE(window.tabs()->tabText(0), QStringLiteral("実行"));
        QCOMPARE(window.tabs()->tabText(1), QStringLiteral("設定"));
        QVERIFY(!window.tabs()->tabIcon(0).isNull() && !window.tabs()->tabIcon(1).isNull());
    }

    void runEndsWithTheCountAndTheBarGoesAtTheNextTick() {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("in");
        QDir(dir.path()).mkdir("out");
        writeSheet(dir.filePath("in/p001.png"));
        writeSheet(dir.filePath("in/p002.png"));
        writeTextFile(dir.filePath("TOVEL.ini"), "[GENERAL]\nSourceFolder=" +
                                                     dir.filePath("in").toUtf8() +
                                                     "\nDestinationFolder=" +
                                                     dir.filePath("out").toUtf8() + "\n");
        AppSettings settings;
        settings.iniPath = dir.filePath("TOVEL.ini").toStdString();
        LayoOptions options;
        MainWindow window(settings, options);
        QVERIFY(window.progressBar()->isHidden());

        window.executionPage()->startButton()->click();
        QVERIFY(!window.progressBar()->isHidden());
        QCOMPARE(window.progressBar()->width(), 200);
        QVERIFY(window.jobTimer()->isActive());
        QCOMPARE(window.jobTimer()->interval(), 100);

        // Once the job's thread has returned, the very next tick removes the bar.
        QTRY_COMPARE_WITH_TIMEOUT(window.executionPage()->workers().busyCount(), 0, 20000);
        window.onJobTimer();
        QVERIFY(window.progressBar()->isHidden());
        QVERIFY(!window.jobTimer()->isActive());
        QCOMPARE(window.statusText(), QStringLiteral("2 画像を処理しました。"));
        QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::Files),
                 QStringList({"p001-tovel.png", "p002-tovel.png"}));
    }

    void aboutItemShowsVersionAndFreeImageNotice() {
        QTemporaryDir dir;
        AppSettings settings;
        settings.iniPath = dir.filePath("TOVEL.ini").toStdString();
        LayoOptions options;
        MainWindow window(settings, options);
        auto* about = window.findChild<QAction*>("about");
        QVERIFY(about);
        QCOMPARE(about->text(), QStringLiteral("TOVELのバージョン情報..."));
        QString version, notice;
        QTimer::singleShot(0, &window, [&] {
            auto* box = window.findChild<AboutDialog*>();
            if (!box) return;
            version = box->findChild<QLabel*>("version")->text();
            notice = box->findChild<QLabel*>("notice")->text();
            box->accept();
        });
        about->trigger();
        QCOMPARE(version, QStringLiteral("TOVEL v1.00 Linux"));
        QVERIFY(notice.contains("FreeImage open source image library"));
        QVERIFY(notice.contains("FIPL, version 1.0"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
