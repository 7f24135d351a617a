#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "gui_test_support.h"
#include "ui/folder_edit.h"
#include "ui/settings_form.h"

class SettingsFormTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareGuiTest(); }

    void loadsTheIniFileAndWritesEveryEditAtOnce() {
        QTemporaryDir dir;
        const QString ini = dir.filePath("TOVEL.ini");
        writeTextFile(ini,
                      "[GENERAL]\nSourceFolder=" + dir.path().toUtf8() +
                          "\nDividePage=true\nRemoveHeader=TRUE\nVerticalMargin=12abc\n"
                          "HorizontalMargin=abc\nJobs=-3\n");
        AppSettings settings;
        settings.iniPath = ini.toStdString();
        LayoOptions options;
        SettingsForm form(settings, options);
        auto* divide = form.findChild<QCheckBox*>("dividePage");
        auto* vertical = form.findChild<QLineEdit*>("verticalMargin");
        auto* horizontal = form.findChild<QLineEdit*>("horizontalMargin");

        QVERIFY2(!divide->isChecked(), "lower-case true is off");
        QVERIFY(form.findChild<QCheckBox*>("removeHeader")->isChecked());
        QCOMPARE(vertical->text(), QString("12"));
        QCOMPARE(horizontal->text(), QString("0"));
        QCOMPARE(settings.sourceFolder, dir.path().toStdString());
        QVERIFY2(readTextFile(ini).contains("VerticalMargin=12\n"), "loading writes margins back");

        // Margins keep what was typed on screen and store its leading integer.
        horizontal->clear();
        QTest::keyClicks(horizontal, "12abc");
        QCOMPARE(horizontal->text(), QString("12abc"));
        QCOMPARE(options.horizontalMargin, 12);
        QVERIFY(readTextFile(ini).contains("HorizontalMargin=12\n"));
        vertical->setText("px");
        QCOMPARE(options.verticalMargin, 0);
        QVERIFY(readTextFile(ini).contains("VerticalMargin=0\n"));

        divide->click();
        QCOMPARE(int(options.dividePage), 1);
        QVERIFY(readTextFile(ini).contains("DividePage=TRUE\n"));

        // Sheets at once: a negative count reads as 0, the machine's cores; a choice is stored.
        auto* jobs = form.findChild<QSpinBox*>("jobs");
        QCOMPARE(jobs->value(), 0);
        jobs->setValue(3);
        QCOMPARE(settings.jobs, 3);
        QVERIFY(readTextFile(ini).contains("Jobs=3\n"));
    }

    void folderEditIsFlaggedUntilItNamesADirectory() {
        QTemporaryDir dir;
        const QString file = dir.filePath("scan.png");
        writeTextFile(file, "not a folder");
        FolderEdit edit;
        QVERIFY2(edit.flagged(), "an empty text is no folder");

        edit.setText(file);
        QVERIFY(edit.flagged());
        QCOMPARE(edit.palette().color(QPalette::Base), QColor(255, 0, 0));
        QVERIFY(edit.toolTip().contains(QStringLiteral("警告")));
        QVERIFY(edit.toolTip().contains(QStringLiteral("この名前のフォルダーはありません。")));

        edit.setText(dir.path());
        QVERIFY(!edit.flagged());
        QVERIFY(edit.toolTip().isEmpty());
        QVERIFY(edit.palette().color(QPalette::Base) != QColor(255, 0, 0));

        // The same text turns valid once a folder of that name appears.
        edit.setText(file);
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir(dir.path()).mkdir("scan.png"));
        QVERIFY(edit.flagged());
        edit.revalidate();
        QVERIFY(!edit.flagged());
    }
};

QTEST_MAIN(SettingsFormTest)
#include "settings_form_test.moc"
