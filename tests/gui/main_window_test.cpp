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

// Settings read from an INI file in dir naming the source and destination (none when empty),
// with folders in and out made in dir.
AppSettings iniWithFolders(const QTemporaryDir& dir, const QString& source, const QString& destination) {
    QDir(dir.path()).mkdir("in");
    QDir(dir.path()).mkdir("out");
    const auto path = [&dir](const QString& name) {
        return name.isEmpty() ? QByteArray() : dir.filePath(name).toUtf8();
    };
    writeTextFile(dir.filePath("TOVEL.ini"),
                  "[GENERAL]\nSourceFolder=" + path(source) + "\nDestinationFolder=" + path(destination) + "\n");
    AppSettings settings;
    settings.iniPath = dir.filePath("TOVEL.ini").toStdString();
    return settings;
}

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
        writeTextFile(dir.filePath("file.png"), "x");
        AppSettings settings = iniWithFolders(dir, source, destination);
        LayoOptions options;
        MainWindow window(settings, options);
        QCOMPARE(window.tabs()->currentIndex(), tab);
    }

    void runEndsWithTheCountAndTheBarGoesAtTheNextTick() {
        QTemporaryDir dir;
        AppSettings settings = iniWithFolders(dir, "in", "out");
        writeSheet(dir.filePath("in/p001.png"));
        writeSheet(dir.filePath("in/p002.png"));
        LayoOptions options;
        MainWindow window(settings, options);
        QVERIFY(window.progressBar()->isHidden());

        window.executionPage()->startButton()->click();
        QVERIFY(!window.progressBar()->isHidden());
        QVERIFY(window.jobTimer()->isActive());

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
