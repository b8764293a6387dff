#include "ui/save_name.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include "ui/app_setup.h"

QString WithDefaultSuffix(const QString& szPath, const QString& szSuffix) {
    const QFileInfo info(szPath);
    if (szSuffix.isEmpty() || szPath.isEmpty() || info.isDir() ||
        info.fileName().contains(QLatin1Char('.')))
        return szPath;
    return szPath + QLatin1Char('.') + szSuffix;
}

QString PickSavePath(const QString& szProposed,
                     const std::function<QString(const QString&)>& fnPick,
                     const std::function<bool(const QString&)>& fnConfirmReplace) {
    QString szStart = szProposed;
    for (;;) {
        const QString szPath = fnPick(szStart);
        if (szPath.isEmpty())
            return {};
        const QFileInfo info(szPath);
        if (!info.exists() || info.isDir() || fnConfirmReplace(szPath))
            return szPath;
        szStart = szPath;
    }
}

bool ConfirmReplace(QWidget* pParent, const QString& szPath) {
    const QFileInfo info(szPath);
    QMessageBox box(QMessageBox::Warning, BoxTitle(),
                    QStringLiteral("Файл %1 уже существует в папке\n%2\nЗаменить его?")
                        .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())),
                    QMessageBox::Yes | QMessageBox::No, pParent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}
