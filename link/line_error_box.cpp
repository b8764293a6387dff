#include "link/line_error_box.h"

#include "platform/serial_port.h"

const char* LineErrorBoxText(int lineErrors) {
    if ((lineErrors & (CE_RXPARITY | CE_FRAME)) != 0)
        return nullptr;
    if ((lineErrors & CE_OVERRUN) != 0)
        return "Ошибка интерфейса\n   перезаписан байт в буфере приемника (неработает "
               "прерывание порта))";
    if ((lineErrors & CE_RXOVER) != 0)
        return "Ошибка интерфейса\n   переполнение буфера приемника";
    return nullptr;
}
