#include "ui/history_reasons.h"

#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

QString HistoryReasonText(history::Error::Kind kind) {
    using Kind = history::Error::Kind;
    switch (kind) {
    case Kind::ReadOnly:
        return QStringLiteral("файл архива только для чтения");
    case Kind::Corrupt:
        return QStringLiteral("файл архива повреждён");
    case Kind::DiskFull:
        return QStringLiteral("диск заполнен или запись на него не удалась");
    case Kind::Busy:
        return QStringLiteral("файл архива занят другой программой");
    case Kind::TooNew:
        return QStringLiteral("файл архива создан более новой версией программы");
    case Kind::CannotOpen:
        return QStringLiteral("файл архива не открывается");
    case Kind::NotOurs:
        return QStringLiteral("это не файл архива измерений (папка или файл другой программы)");
    case Kind::LockFiles:
        return QStringLiteral("служебный файл архива (-shm или -wal) оставлен другим "
                              "пользователем и недоступен для записи");
    case Kind::Other:
        break;
    }
    return QStringLiteral("ошибка доступа к файлу архива");
}

QString HistoryRemedyText(history::Error::Kind kind) {
    using Kind = history::Error::Kind;
    switch (kind) {
    case Kind::ReadOnly:
        return QStringLiteral("Разрешите запись в файл архива и в его папку.");
    case Kind::Corrupt:
        return QStringLiteral("Отложите повреждённый файл и начните новый архив (кнопка ниже; "
                              "файл не удаляется), или восстановите читаемые записи командой "
                              "«tarvex-history recover».");
    case Kind::DiskFull:
        return QStringLiteral("Освободите место на диске.");
    case Kind::Busy:
        return QStringLiteral("Повторите чтение, когда другая программа закончит работу с "
                              "архивом.");
    case Kind::TooNew:
        return QStringLiteral("Обновите программу.");
    case Kind::NotOurs:
        return QStringLiteral("Укажите файл архива (TARVEX_DATABASE или --database) или "
                              "уберите этот файл с пути архива.");
    case Kind::LockFiles:
        return QStringLiteral("Когда архив не используется ни одной программой, верните эти "
                              "файлы своему пользователю (sudo chown) или удалите файл -shm.");
    case Kind::CannotOpen:
    case Kind::Other:
        break;
    }
    return QStringLiteral("Проверьте путь к архиву и права доступа к нему.");
}

QString HistoryProblemText(const QString& szWhat, history::Error::Kind kind,
                           const std::string& path) {
    return QStringLiteral("%1: %2.\n\n%3\n\nФайл архива: %4")
        .arg(szWhat, HistoryReasonText(kind), HistoryRemedyText(kind),
             QFile::decodeName(path.c_str()));
}

bool AskSetAsideDamagedHistory(QWidget* pParent, const QString& szText) {
    QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), szText,
                    QMessageBox::NoButton, pParent);
    QPushButton* pSetAside =
        box.addButton(QStringLiteral("Отложить и начать новый архив"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Закрыть"), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == pSetAside;
}
