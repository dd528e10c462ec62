#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMetaObject>
#include <QPushButton>
#include <QSizePolicy>
#include <QWidget>

// The window's form: its widgets, their places in the grid and their texts.
class Ui_MainWindow
{
public:
    QWidget *centralwidget = nullptr;
    QGridLayout *gridLayout = nullptr;
    QPushButton *pushButton = nullptr;
    QComboBox *comboBox = nullptr;
    QCheckBox *checkBox = nullptr;
    QLabel *label = nullptr;
    QLabel *label2 = nullptr;

    void setupUi(QMainWindow *MainWindow)
    {
        if (MainWindow->objectName().isEmpty())
            MainWindow->setObjectName(QString::fromUtf8("MainWindow"));
        MainWindow->setWindowModality(Qt::NonModal);
        MainWindow->resize(600, 250);
        QSizePolicy sizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        sizePolicy.setHorizontalStretch(0);
        sizePolicy.setVerticalStretch(0);
        sizePolicy.setHeightForWidth(MainWindow->sizePolicy().hasHeightForWidth());
        MainWindow->setSizePolicy(sizePolicy);
        MainWindow->setMinimumSize(QSize(600, 250));
        MainWindow->setMaximumSize(QSize(600, 250));
        MainWindow->setLayoutDirection(Qt::LeftToRight);

        centralwidget = new QWidget(MainWindow);
        centralwidget->setObjectName(QString::fromUtf8("centralwidget"));
        gridLayout = new QGridLayout(centralwidget);
        gridLayout->setObjectName(QString::fromUtf8("gridLayout"));

        pushButton = new QPushButton(centralwidget);
        pushButton->setObjectName(QString::fromUtf8("pushButton"));
        gridLayout->addWidget(pushButton, 1, 0, 1, 1);

        comboBox = new QComboBox(centralwidget);
        comboBox->setObjectName(QString::fromUtf8("comboBox"));
        gridLayout->addWidget(comboBox, 0, 0, 1, 1);

        checkBox = new QCheckBox(centralwidget);
        checkBox->setObjectName(QString::fromUtf8("checkBox"));
        gridLayout->addWidget(checkBox, 2, 0, 1, 1);

        label = new QLabel(centralwidget);
        label->setObjectName(QString::fromUtf8("label"));
        gridLayout->addWidget(label, 3, 0, 1, 1);

        label2 = new QLabel(centralwidget);
        label2->setObjectName(QString::fromUtf8("label2"));
        QFont font;
        font.setPointSize(12);
        font.setBold(true);
        label2->setFont(font);
        label2->setAlignment(Qt::AlignCenter);
        gridLayout->addWidget(label2, 4, 0, 1, 1);

        MainWindow->setCentralWidget(centralwidget);

        retranslateUi(MainWindow);

        QMetaObject::connectSlotsByName(MainWindow);
    }

    void retranslateUi(QMainWindow *MainWindow)
    {
        MainWindow->setWindowTitle(
                QCoreApplication::translate("MainWindow", "Configuration Block X:1", nullptr));
        pushButton->setText(
                QCoreApplication::translate("MainWindow", "update configuration", nullptr));
        checkBox->setText(QCoreApplication::translate("MainWindow", "automatic programm", nullptr));
        label->setText(QCoreApplication::translate("MainWindow", "TextLabel", nullptr));
        label2->setText(QCoreApplication::translate("MainWindow", "TextLabel", nullptr));
    }
};

namespace Ui {
class MainWindow : public Ui_MainWindow
{ };
} // namespace Ui
