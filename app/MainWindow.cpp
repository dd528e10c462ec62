#include "MainWindow.h"

#include "Application.h"
#include "ConfigurationLoader.h"
#include "ProgrammingPass.h"

#include <QDir>

MainWindow *MainWindow::instance_ = nullptr;

MainWindow::MainWindow(QWidget *parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    setupUi(this);
    fillFileList();
    connect(pushButton, &QPushButton::clicked, this, &MainWindow::programmConfigurationBlock);
    label->setText(kNotConnected);
    label->setStyleSheet(kRed);
    pushButton->setEnabled(false);
    label2->setText(QString());
    setWindowTitle(kTitle);
}

MainWindow::~MainWindow()
{
    if (instance_ == this)
        instance_ = nullptr;
}

MainWindow *MainWindow::getInstance()
{
    if (!instance_)
        instance_ = new MainWindow();
    return instance_;
}

void MainWindow::fillFileList()
{
    // Files and folders alike, without hidden ones, sorted by name ignoring case; only names
    // that end in ".ini" exactly are offered, without that ending.
    const QDir dir(kConfigurationFolder);
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                    QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (name.endsWith(QLatin1String(".ini"), Qt::CaseSensitive))
            comboBox->addItem(name.chopped(4));
    }
}

void MainWindow::loadConfigurationFile()
{
    const QString path = configurationFilePath(comboBox->currentText());
    ConfigurationRecord loaded;
    LoadDetail detail;
    const LoadStatus status = loadConfiguration(path, loaded, &detail);
    if (status != LoadStatus::Loaded) {
        showLoadError(loadErrorText(status, path, detail));
        return;
    }
    if (const std::optional<PassRefusal> refusal = passRefusal(loaded)) {
        showLoadError(refusalText(*refusal));
        return;
    }
    // This load's pass will tell its own result: neither an older error nor an older pass's
    // result stays.
    loadErrorStays_ = false;
    label2->setText(QString());
    label2->setStyleSheet(QString());
    if (Application *app = Application::getInstance())
        app->recordHandOver().publish(std::move(loaded), std::move(detail.source));
}

bool MainWindow::applyStartOptions(const StartOptions &options)
{
    if (options.select) {
        const int index
                = comboBox->findText(*options.select, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0)
            return false;
        comboBox->setCurrentIndex(index);
    }
    checkBox->setChecked(options.automatic);
    return true;
}

void MainWindow::showLoadError(const QString &text)
{
    loadErrorStays_ = true;
    label2->setText(text);
    label2->setStyleSheet(kRed);
}

void MainWindow::updateForm1()
{
    QString name;
    if (Application *app = Application::getInstance())
        name = app->deviceLink().productName();
    label->setText(name + QStringLiteral(" connected"));
    label->setStyleSheet(kGreen);
    pushButton->setEnabled(true);
    if (checkBox->isChecked())
        loadConfigurationFile();
}

void MainWindow::updateForm2()
{
    label->setText(kNotConnected);
    label->setStyleSheet(kRed);
    label2->setText(QString());
    pushButton->setEnabled(false);
}

// Whether the pass that just ended sent what the window last asked for. A pass requested by an
// older load says nothing of the newer one (which has already cleared label2), so its result is
// not shown: the newer load's own pass tells.
bool MainWindow::passResultIsCurrent() const
{
    if (loadErrorStays_)
        return false;
    Application *app = Application::getInstance();
    return !app || app->recordHandOver().lastPassSentNewestLoad();
}

void MainWindow::updateForm3()
{
    if (!passResultIsCurrent())
        return;
    label->setText(QString());
    label2->setStyleSheet(QString());
    label2->setText(kUpdated);
    label2->show();
}

void MainWindow::programmConfigurationBlock()
{
    loadConfigurationFile();
}

void MainWindow::updateForm4()
{
    label->setText(kAccessDenied);
    label->setStyleSheet(kRed);
    pushButton->setEnabled(false);
}

void MainWindow::updateForm5(int written, int total)
{
    if (!passResultIsCurrent())
        return;
    label2->setStyleSheet(kRed);
    label2->setText(kUpdateFailed.arg(written).arg(total));
    label2->show();
}
