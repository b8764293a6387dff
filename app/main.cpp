// Tarvex: reads the measurement archive of the oil-testing instrument.
#include "app/reader_app.h"
#include "platform/atomic_file.h"

int main(int argc, char** argv) {
    // A file-size limit fails a write (and the user is told) instead of
    // ending the program with the downloaded records.
    IgnoreFileSizeSignal();
    ReaderApp app(argc, argv);
    return app.InitInstance();
}
