#include "AppHarness.h"

#include <QFont>
#include <QGridLayout>

// The window's layout, its file list and what each slot shows. Nothing is plugged in, so the
// worker threads stay idle while the slots are driven directly.
namespace {

// What the programming thread does when a pass of the newest load ends, before the window hears
// of it.
void passOfNewestLoadEnded(AppHarness &h)
{
    RecordHandOver &handOver = h.app->recordHandOver();
    handOver.passEnded(handOver.loadSerial());
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void layoutAndInitialState();
    void fileList();
    void emptyOrMissingFolder();
    void slotStates();
    void updatedAfterNotConnected();
    void loadFillsRecordAndRequestsAPass();
    void loadErrors_data();
    void loadErrors();
    void passResults();
    void slotIndexes();
};

void TestMainWindow::layoutAndInitialState()
{
    AppHarness h;
    MainWindow *w = h.window();
    QVERIFY(w->isVisible());
    QCOMPARE(w->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Configuration Block X:1    28.02.2018"));
    QCOMPARE(w->minimumSize(), QSize(600, 250));
    QCOMPARE(w->maximumSize(), QSize(600, 250));
    QCOMPARE(w->centralWidget(), w->centralwidget);

    struct Place
    {
        QWidget *widget;
        const char *name;
        int row;
    };
    const Place places[] = {{w->comboBox, "comboBox", 0},
                            {w->pushButton, "pushButton", 1},
                            {w->checkBox, "checkBox", 2},
                            {w->label, "label", 3},
                            {w->label2, "label2", 4}};
    for (const Place &p : places) {
        QCOMPARE(p.widget->objectName(), QLatin1String(p.name));
        QCOMPARE(p.widget->parentWidget(), w->centralwidget);
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        w->gridLayout->getItemPosition(w->gridLayout->indexOf(p.widget), &row, &column, &rowSpan,
                                       &columnSpan);
        QCOMPARE(row, p.row);
        QCOMPARE(column, 0);
        QCOMPARE(rowSpan, 1);
        QCOMPARE(columnSpan, 1);
    }
    // Focus order follows creation order.
    QCOMPARE(w->pushButton->nextInFocusChain(), static_cast<QWidget *>(w->comboBox));

    QCOMPARE(w->pushButton->text(), QStringLiteral("update configuration"));
    QCOMPARE(w->checkBox->text(), QStringLiteral("automatic programm"));
    QVERIFY(!w->checkBox->isChecked());
    QCOMPARE(w->label->text(), QStringLiteral("USB remote control not connected"));
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QVERIFY(!w->pushButton->isEnabled());
    QCOMPARE(w->label2->text(), QString());
    QCOMPARE(w->label2->font().pointSize(), 12);
    QVERIFY(w->label2->font().bold());
    QCOMPARE(w->label2->alignment(), Qt::AlignCenter);
}

void TestMainWindow::fileList()
{
    AppHarness h({{"beta", ""}, {"Alpha", ""}});
    // Files written after the window was built are not seen until the next start.
    h.writeFile(QStringLiteral("zeta"), "");
    QCOMPARE(h.window()->comboBox->count(), 2);
}

void TestMainWindow::emptyOrMissingFolder()
{
    const QString old = QDir::currentPath();
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("configfiles/extra.ini"));
    for (const char *name : {"beta.ini", "Alpha.ini", "gamma.INI", "notes.txt", ".hidden.ini",
                             "delta.ini.bak", "ini"}) {
        QFile f(dir.filePath(QStringLiteral("configfiles/") + QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QDir::setCurrent(dir.path());
    {
        int argc = 1;
        char arg0[] = "rcprog";
        char *argv[] = {arg0, nullptr};
        auto hid = std::make_shared<rcprog::SimulatedHid>();
        Application app(argc, argv, hid);
        QStringList items;
        for (int i = 0; i < app.mainWindow->comboBox->count(); ++i)
            items << app.mainWindow->comboBox->itemText(i);
        QCOMPARE(items, (QStringList{"Alpha", "beta", "extra"}));
        QCOMPARE(app.mainWindow->comboBox->currentText(), QStringLiteral("Alpha"));
        delete app.mainWindow;
    }
    QDir::setCurrent(old);

    AppHarness none; // a configfiles folder without entries
    QCOMPARE(none.window()->comboBox->count(), 0);
    // An empty selection names the file "configfiles/.ini", which does not exist.
    none.window()->loadConfigurationFile();
    QCOMPARE(none.window()->label2->text(),
             QStringLiteral("configuration file not found: configfiles/.ini"));
    QVERIFY(!none.app->recordHandOver().programmingRequested());
}

void TestMainWindow::slotStates()
{
    AppHarness h({{"a", "[Settings]\nfrequencyTrim=1\n"}});
    MainWindow *w = h.window();
    rcprog::OpenedDevice receiver;
    receiver.productName = "Receiver 7";
    h.app->deviceLink().publish(receiver);
    w->updateForm1();
    QCOMPARE(w->label->text(), QStringLiteral("Receiver 7 connected"));
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: green}"));
    QVERIFY(w->pushButton->isEnabled());
    QVERIFY(!h.app->recordHandOver().programmingRequested()); // automatic programming is off

    w->updateForm3();
    QCOMPARE(w->label->text(), QString());
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: green}"));
    QCOMPARE(w->label2->text(), QStringLiteral("updated OK!!! :)"));

    w->updateForm2();
    QCOMPARE(w->label->text(), QStringLiteral("USB remote control not connected"));
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QCOMPARE(w->label2->text(), QString());
    QVERIFY(!w->pushButton->isEnabled());

    // With "automatic programm" ticked a connect loads the selected file; an empty product
    // name still gets its leading space.
    receiver.productName.clear();
    h.app->deviceLink().publish(receiver);
    w->checkBox->setChecked(true);
    w->updateForm1();
    QCOMPARE(w->label->text(), QStringLiteral(" connected"));
    QVERIFY(h.app->recordHandOver().programmingRequested());
    QCOMPARE(h.app->recordHandOver().record().configurationBlock[0], 1);

    w->updateForm4();
    QCOMPARE(w->label->text(), MainWindow::kAccessDenied);
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QVERIFY(!w->pushButton->isEnabled());
}

void TestMainWindow::updatedAfterNotConnected()
{
    AppHarness h;
    MainWindow *w = h.window();
    w->updateForm2();
    w->updateForm3();
    QCOMPARE(w->label->text(), QString());
    QCOMPARE(w->label->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QCOMPARE(w->label2->text(), QStringLiteral("updated OK!!! :)"));
    QVERIFY(!w->pushButton->isEnabled());
}

void TestMainWindow::loadFillsRecordAndRequestsAPass()
{
    AppHarness h({{"abc", "[Settings]\nID=4660\nfrequencyTrim=100\n"}});
    MainWindow *w = h.window();
    h.select(QStringLiteral("abc"));
    // A button press while the button is disabled loads nothing.
    QTest::mouseClick(w->pushButton, Qt::LeftButton);
    QVERIFY(!h.app->recordHandOver().programmingRequested());

    w->pushButton->setEnabled(true);
    QTest::mouseClick(w->pushButton, Qt::LeftButton);
    QVERIFY(h.app->recordHandOver().programmingRequested());
    const ConfigurationRecord record = h.app->recordHandOver().record();
    QCOMPARE(record.configurationBlock[0], 100);
    QCOMPARE(record.configurationBlock[27], 18);
    QCOMPARE(record.configurationBlock[28], 52);
    QCOMPARE(record.newNameOfDevice, QStringLiteral("VARNO LTD USB changer"));
    QCOMPARE(h.app->recordHandOver().loadSerial(), std::uint64_t(1));
}

void TestMainWindow::loadErrors_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("deleted") << "deleted"
                             << "configuration file not found: configfiles/gone.ini";
    QTest::newRow("directory") << "directory"
                               << "cannot read configuration file: configfiles/gone.ini";
    QTest::newRow("a value the INI reader decodes as an object")
            << "encoded"
            << "cannot read configuration file: configfiles/gone.ini: line 2: a value of the form "
               "@Variant(...) is refused";
    QTest::newRow("a configuration that cannot be sent")
            << "unsendable"
            << "configuration cannot be sent: quantityOfBytesInFlashBlock=300: a flash block of "
               "more than 255 bytes cannot be sent";
}

void TestMainWindow::loadErrors()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    AppHarness h(
            {{"gone", "[Settings]\nfrequencyTrim=5\n"}, {"good", "[Settings]\nshiftDelay=7\n"}});
    MainWindow *w = h.window();
    // A good load first: the failed one must leave its record as it is.
    h.select(QStringLiteral("good"));
    w->loadConfigurationFile();
    h.app->recordHandOver().clearRequest();
    if (kind == QLatin1String("deleted") || kind == QLatin1String("directory"))
        QVERIFY(QFile::remove(h.configPath(QStringLiteral("gone"))));
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(h.configPath(QStringLiteral("gone"))));
    if (kind == QLatin1String("encoded"))
        h.writeFile(QStringLiteral("gone"),
                    "[Settings]\nshiftDelay=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n");
    if (kind == QLatin1String("unsendable"))
        h.writeFile(QStringLiteral("gone"), "[Settings]\nquantityOfBytesInFlashBlock=300\n"
                                            "quantityOfRemoteControls=1\n[rcSettings]\n"
                                            "rc01maxSize=1\nrc01flashData=0001020304\n");

    h.select(QStringLiteral("gone"));
    w->loadConfigurationFile();
    QCOMPARE(w->label2->text(), message);
    QCOMPARE(w->label2->styleSheet(), QStringLiteral("QLabel { color: red}"));
    QVERIFY(!h.app->recordHandOver().programmingRequested());
    {
        const ConfigurationRecord record = h.app->recordHandOver().record();
        QCOMPARE(record.configurationBlock[2], 7);
        QCOMPARE(record.configurationBlock[0], 128);
    }
    // Every pass that ends now was requested by an older load: the error stays, even over a
    // pass of the good load before it.
    passOfNewestLoadEnded(h);
    w->updateForm3();
    w->updateForm5(3, 19);
    QCOMPARE(w->label2->text(), message);
    QCOMPARE(w->label2->styleSheet(), QStringLiteral("QLabel { color: red}"));

    // A good load after a failed one clears the error, and then its success shows, never in red.
    w->loadConfigurationFile();
    h.select(QStringLiteral("good"));
    w->loadConfigurationFile();
    QCOMPARE(w->label2->text(), QString());
    QVERIFY(h.app->recordHandOver().programmingRequested());
    passOfNewestLoadEnded(h);
    w->updateForm3();
    QCOMPARE(w->label2->text(), QStringLiteral("updated OK!!! :)"));
    QCOMPARE(w->label2->styleSheet(), QString());
}

void TestMainWindow::passResults()
{
    AppHarness h({{"good", "[Settings]\nshiftDelay=7\n"}});
    MainWindow *w = h.window();
    w->updateForm5(90, 91);
    QCOMPARE(w->label2->text(), QStringLiteral("update failed: 90 of 91 reports written"));
    QCOMPARE(w->label2->styleSheet(), QStringLiteral("QLabel { color: red}"));
    // A load that requests a pass clears what an earlier pass showed, success or failure, and
    // a pass of an older load that ends then shows nothing: the load's own pass tells.
    w->loadConfigurationFile();
    QCOMPARE(w->label2->text(), QString());
    w->updateForm3();
    w->updateForm5(3, 19);
    QCOMPARE(w->label2->text(), QString());
    passOfNewestLoadEnded(h);
    w->updateForm3();
    QCOMPARE(w->label2->text(), QStringLiteral("updated OK!!! :)"));
    QCOMPARE(w->label2->styleSheet(), QString());
    w->loadConfigurationFile();
    QCOMPARE(w->label2->text(), QString());
    passOfNewestLoadEnded(h);
    w->updateForm5(0, 19);
    QCOMPARE(w->label2->text(), QStringLiteral("update failed: 0 of 19 reports written"));
}

void TestMainWindow::slotIndexes()
{
    // The four slots of the window keep their meta-object indexes; the later ones follow.
    const QMetaObject &mo = MainWindow::staticMetaObject;
    const char *names[] = {"updateForm1()", "updateForm2()",
                           "updateForm3()", "programmConfigurationBlock()",
                           "updateForm4()", "updateForm5(int,int)"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(mo.indexOfSlot(names[i]) - mo.methodOffset(), i);
}

int main(int argc, char *argv[])
{
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
