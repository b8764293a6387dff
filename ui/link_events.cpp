#include "ui/link_events.h"

#include "platform/codepage.h"

namespace {
QEvent::Type Register() {
    return static_cast<QEvent::Type>(QEvent::registerEventType());
}
} // namespace

QEvent::Type LinkEventTypes::Reply() {
    static const QEvent::Type type = Register();
    return type;
}

QEvent::Type LinkEventTypes::Status() {
    static const QEvent::Type type = Register();
    return type;
}

QEvent::Type LinkEventTypes::Box() {
    static const QEvent::Type type = Register();
    return type;
}

QEvent::Type LinkEventTypes::Cursor() {
    static const QEvent::Type type = Register();
    return type;
}

QString FromCp1251(const std::string& textCp1251) {
    return QString::fromStdString(Cp1251ToUtf8(textCp1251.c_str())); // up to the first NUL
}
