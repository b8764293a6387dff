// Shared by the dialog tests: message boxes recorded instead of shown, and a
// scratch working folder that fixes where the settings file goes.
#pragma once

#include <QDir>
#include <QList>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include "ui/reader_dialog.h"

struct ShownBox {
    QWidget* pOwner;
    QString szText;
    QMessageBox::Icon icon;
};

inline void RecordBoxes(ReaderDialog& dlg, QList<ShownBox>* pBoxes) {
    dlg.m_fnMessageBox = [pBoxes](QWidget* pOwner, const QString& szText, QMessageBox::Icon icon) {
        if (pBoxes)
            pBoxes->append({pOwner, szText, icon});
    };
}

// The settings path is fixed by the first dialog of a process, so each test
// program enters its scratch folder before making one.
class ScratchFolder {
public:
    bool Enter() {
        m_szOld = QDir::currentPath();
        return m_dir.isValid() && QDir::setCurrent(m_dir.path());
    }
    void Leave() { QDir::setCurrent(m_szOld); }
    QString File(const QString& szName) const { return m_dir.filePath(szName); }

private:
    QTemporaryDir m_dir;
    QString m_szOld;
};
