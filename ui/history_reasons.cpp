#include "ui/history_reasons.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>

#include "ui/app_setup.h"

QString HistoryReasonText(history::Error::Kind kind) {
    using Kind = history::Error::Kind;
    switch (kind) {
    case Kind::ReadOnly:
        return QStringLiteral("файл истории только для чтения");
    case Kind::Corrupt:
        return QStringLiteral("файл истории повреждён");
    case Kind::DiskFull:
        return QStringLiteral("диск заполнен или запись на него не удалась");
    case Kind::Busy:
        return QStringLiteral("файл истории занят другой программой");
    case Kind::TooNew:
        return QStringLiteral("файл истории создан более новой версией программы");
    case Kind::CannotOpen:
        return QStringLiteral("файл истории не открывается");
    case Kind::NotOurs:
        return QStringLiteral("это не файл истории измерений (папка или файл другой программы)");
    case Kind::LockFiles:
        return QStringLiteral("служебный файл истории (-shm или -wal) оставлен другим "
                              "пользователем и недоступен для записи");
    case Kind::Other:
        break;
    }
    return QStringLiteral("ошибка доступа к файлу истории");
}

QString HistoryRemedyText(history::Error::Kind kind) {
    using Kind = history::Error::Kind;
    switch (kind) {
    case Kind::ReadOnly:
        return QStringLiteral("Разрешите запись в файл истории и в его папку.");
    case Kind::Corrupt:
        return QStringLiteral("Отложите повреждённый файл и начните новую историю (кнопка ниже; "
                              "файл не удаляется), или восстановите читаемые записи командой "
                              "«tarvex-history recover».");
    case Kind::DiskFull:
        return QStringLiteral("Освободите место на диске.");
    case Kind::Busy:
        return QStringLiteral("Повторите чтение, когда другая программа закончит работу с "
                              "историей.");
    case Kind::TooNew:
        return QStringLiteral("Обновите программу.");
    case Kind::NotOurs:
        return QStringLiteral("Укажите файл истории (TARVEX_DATABASE или --database) или "
                              "уберите этот файл оттуда.");
    case Kind::LockFiles:
        return QStringLiteral("Когда история не используется ни одной программой, верните эти "
                              "файлы своему пользователю (sudo chown) или удалите файл -shm.");
    case Kind::CannotOpen:
    case Kind::Other:
        break;
    }
    return QStringLiteral("Проверьте путь к файлу истории и права доступа к нему.");
}

QString HistoryProblemText(const QString& szWhat, history::Error::Kind kind,
                           const std::string& path) {
    return QStringLiteral("%1: %2.\n\n%3\n\nФайл истории: %4")
        .arg(szWhat, HistoryReasonText(kind), HistoryRemedyText(kind),
             QFile::decodeName(path.c_str()));
}

bool AskSetAsideDamagedHistory(QWidget* pParent, const QString& szText) {
    QMessageBox box(QMessageBox::Warning, BoxTitle(), szText, QMessageBox::NoButton, pParent);
    QPushButton* pSetAside =
        box.addButton(QStringLiteral("Отложить и начать новую историю"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Закрыть"), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == pSetAside;
}
