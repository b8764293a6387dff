#include "ui/link_events.h"

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
