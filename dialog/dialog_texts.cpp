#include "dialog/dialog_texts.h"

CountBoxLook CountBoxLookFor(bool bOnlyNew, int nCount) {
    if (!bOnlyNew)
        return {"Количество записей", true, {}};
    return {"Только новые записи", false,
            "Читаются записи, появившиеся после прошлого чтения этого прибора; "
            "число в поле (" +
                std::to_string(nCount) +
                ") их не ограничивает.\n"
                "Режим выключается в контекстном меню (правая кнопка мыши)."};
}

std::string OnlyNewDoneText(int nRead, bool bNewRange, bool bWritten,
                            const std::optional<history::MergeOutcome>& kept) {
    std::string text = bWritten ? "Файл прочитан. " : "";
    // Short: the status line holds about 45 characters; the rest is its tooltip.
    text += (bNewRange ? "Новых: " : "Прочитано: ") + std::to_string(nRead);
    if (kept) {
        text += ", в историю: +" + std::to_string(kept->added);
        if (kept->known > 0)
            text += " (" + std::to_string(kept->known) + " уже были)";
    } else {
        text += ", история не обновлена";
    }
    text += bWritten ? "." : "; файл не сохранён.";
    return text;
}

std::string HistoryReasonText(history::Error::Kind kind) {
    using Kind = history::Error::Kind;
    switch (kind) {
    case Kind::ReadOnly:
        return "файл истории только для чтения";
    case Kind::Corrupt:
        return "файл истории повреждён";
    case Kind::DiskFull:
        return "диск заполнен или запись на него не удалась";
    case Kind::Busy:
        return "файл истории занят другой программой";
    case Kind::TooNew:
        return "файл истории создан более новой версией программы";
    case Kind::CannotOpen:
        return "файл истории не открывается";
    case Kind::NotOurs:
        return "это не файл истории измерений (папка или файл другой программы)";
    case Kind::LockFiles:
        return "служебный файл истории (-shm или -wal) оставлен другим "
               "пользователем и недоступен для записи";
    case Kind::Unreachable:
        return "сервер истории сейчас недоступен";
    case Kind::Refused:
        return "сервер истории отказал в подключении";
    case Kind::NotSetUp:
        return "на сервере нет таблиц истории или они устарели";
    case Kind::BadLocation:
        return "в адресе сервера истории указан пароль";
    case Kind::Other:
        break;
    }
    return "ошибка доступа к файлу истории";
}

std::string HistoryRemedyText(history::Error::Kind kind) {
    using Kind = history::Error::Kind;
    switch (kind) {
    case Kind::ReadOnly:
        return "Разрешите запись в файл истории и в его папку.";
    case Kind::Corrupt:
        return "Отложите повреждённый файл и начните новую историю (кнопка ниже; "
               "файл не удаляется), или восстановите читаемые записи командой "
               "«tarvex-history recover».";
    case Kind::DiskFull:
        return "Освободите место на диске.";
    case Kind::Busy:
        return "Повторите чтение, когда другая программа закончит работу с историей.";
    case Kind::TooNew:
        return "Обновите программу.";
    case Kind::NotOurs:
        return "Укажите файл истории (TARVEX_DATABASE или --database) или "
               "уберите этот файл оттуда.";
    case Kind::LockFiles:
        return "Когда история не используется ни одной программой, верните эти "
               "файлы своему пользователю (sudo chown) или удалите файл -shm.";
    case Kind::Unreachable:
        return "Проверьте, что сервер работает и доступен по сети, и повторите.";
    case Kind::Refused:
        return "Проверьте роль и базу в адресе, пароль в ~/.pgpass (или в файле "
               "PGPASSFILE) или службу в pg_service.conf.";
    case Kind::NotSetUp:
        return "Администратор один раз выполняет «tarvex-history init» с тем же адресом.";
    case Kind::BadLocation:
        return "Уберите пароль из адреса: храните его в ~/.pgpass или используйте службу "
               "из pg_service.conf (service=ИМЯ).";
    case Kind::CannotOpen:
    case Kind::Other:
        break;
    }
    return "Проверьте путь к файлу истории и права доступа к нему.";
}

std::string HistoryProblemText(const std::string& what, history::Error::Kind kind,
                               const std::string& path) {
    return what + ": " + HistoryReasonText(kind) + ".\n\n" + HistoryRemedyText(kind) +
           "\n\nФайл истории: " + path;
}

std::string PortNotSavedText(int nPort, const std::string& path, const std::string& reason) {
    return "Не удалось сохранить номер порта (COM" + std::to_string(nPort) +
           ") в файле настроек\n" + (path.empty() ? std::string("Vextar.ini") : path) + "\n" +
           reason +
           ".\nПри следующем запуске поиск прибора начнётся с прежнего порта. "
           "Разрешите запись в этот файл или запускайте программу из папки, "
           "доступной для записи.";
}
