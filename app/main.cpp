// Tarvex: reads the measurement archive of the oil-testing instrument.
#include "app/reader_app.h"

int main(int argc, char** argv) {
    ReaderApp app(argc, argv);
    return app.InitInstance();
}
