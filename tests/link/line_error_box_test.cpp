#include <gtest/gtest.h>

#include <string>

#include "link/line_error_box.h"
#include "platform/serial_port.h"

namespace {

const std::string OVERRUN =
    "Ошибка интерфейса\n   перезаписан байт в буфере приемника (неработает прерывание порта))";
const std::string RXOVER = "Ошибка интерфейса\n   переполнение буфера приемника";

struct ErrorCase {
    int word;
    std::string box; // empty: no box
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << "word " << c.word;
}

class LineErrorBox : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LineErrorBox, ChoosesTheBox) {
    const char* text = LineErrorBoxText(GetParam().word);
    EXPECT_EQ(text ? std::string(text) : std::string(), GetParam().box);
}

INSTANTIATE_TEST_SUITE_P(Words, LineErrorBox,
                         ::testing::Values(ErrorCase{0, ""}, ErrorCase{CE_RXOVER, RXOVER},
                                           ErrorCase{CE_OVERRUN, OVERRUN},
                                           ErrorCase{CE_OVERRUN | CE_RXOVER, OVERRUN},
                                           ErrorCase{CE_RXOVER | CE_FRAME, ""},
                                           ErrorCase{CE_OVERRUN | CE_RXPARITY, ""},
                                           ErrorCase{CE_RXPARITY, ""}, ErrorCase{CE_FRAME, ""}));

} // namespace
