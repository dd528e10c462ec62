#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// Files for one test program in a temporary folder, each under a name of its own: the INI
// reader caches files by name within a process, so a name is never used twice.
class ScratchFiles
{
public:
    explicit ScratchFiles(const QString &prefix = QStringLiteral("case")) : prefix_(prefix) { }

    QString write(const QByteArray &bytes)
    {
        const QString path = dir_.filePath(QStringLiteral("%1%2.ini").arg(prefix_).arg(++count_));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    QString filePath(const QString &name) const { return dir_.filePath(name); }
    bool isValid() const { return dir_.isValid(); }

private:
    QTemporaryDir dir_;
    QString prefix_;
    int count_ = 0;
};
