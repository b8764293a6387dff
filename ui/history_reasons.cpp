#include "ui/history_reasons.h"

QString HistoryReasonText(history::Error::Kind kind) {
    using Kind = history::Error::Kind;
    switch (kind) {
    case Kind::ReadOnly:
        return QStringLiteral("файл архива только для чтения");
    case Kind::Corrupt:
        return QStringLiteral("файл архива повреждён или не является архивом");
    case Kind::DiskFull:
        return QStringLiteral("диск заполнен или запись на него не удалась");
    case Kind::Busy:
        return QStringLiteral("файл архива занят другой программой");
    case Kind::TooNew:
        return QStringLiteral("файл архива создан более новой версией программы");
    case Kind::CannotOpen:
        return QStringLiteral("файл архива не открывается");
    case Kind::Other:
        break;
    }
    return QStringLiteral("ошибка доступа к файлу архива");
}
