#pragma once

#include "StartOptions.h"
#include "ui_mainwindow.h"

#include <QMainWindow>

class MainWindow : public QMainWindow, public Ui::MainWindow
{
    Q_OBJECT

public:
    MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWindow() override;

    // The single window, created on first use.
    static MainWindow *getInstance();

    // Loads the configuration file selected in comboBox into the record and requests a pass.
    // A file that does not exist or cannot be read, and a configuration that cannot be sent,
    // change nothing, request nothing, and are named in label2 in red; the error stays there,
    // whatever an earlier pass reports, until a newer load succeeds. A load that requests a
    // pass clears what label2 showed of an earlier pass.
    void loadConfigurationFile();

    // Selects the start option's file in the list and ticks "automatic programm" as asked.
    // False, changing nothing, when the list does not show that name.
    bool applyStartOptions(const StartOptions &options);

    static inline const QString kTitle = QStringLiteral("Configuration Block X:1    28.02.2018");
    static inline const QString kNotConnected = QStringLiteral("USB remote control not connected");
    static inline const QString kUpdated = QStringLiteral("updated OK!!! :)");
    static inline const QString kUpdateFailed = QStringLiteral("update failed: %1 of %2 reports "
                                                               "written");
#ifdef Q_OS_WIN
    static inline const QString kAccessDenied = QStringLiteral(
            "USB remote control found, but it could not be opened: another program may be using "
            "it");
#else
    static inline const QString kAccessDenied = QStringLiteral(
            "USB remote control found, but access was denied: install the udev rule (see README)");
#endif
    static inline const QString kRed = QStringLiteral("QLabel { color: red}");
    static inline const QString kGreen = QStringLiteral("QLabel { color: green}");

public slots:
    void updateForm1(); // the receiver is connected
    void updateForm2(); // the receiver is not connected
    void updateForm3(); // a pass ended in which every write succeeded
    void programmConfigurationBlock(); // the button was pressed
    void updateForm4(); // a receiver is present but access to it was denied
    void updateForm5(int written, int total); // a pass ended in which a write failed

private:
    void fillFileList();
    void showLoadError(const QString &text);
    bool passResultIsCurrent() const;

    static MainWindow *instance_;
    // A load failed, and no load has succeeded since: no pass may replace its error in label2,
    // since every pass that ends now was requested by an older load.
    bool loadErrorStays_ = false;
};
