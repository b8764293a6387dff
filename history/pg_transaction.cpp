// A transaction run again when the server broke it off for a deadlock or a
// serialization failure: two PCs merging at once may meet either.
#include <chrono>
#include <random>
#include <thread>

#include "history/pg_connection.h"

namespace history {

namespace {

constexpr int TRANSACTION_ATTEMPTS = 5;

} // namespace

void inTransaction(PgConnection& db, const std::function<void()>& body) {
    thread_local std::minstd_rand random{std::random_device{}()};
    for (int attempt = 1;; ++attempt) {
        try {
            db.exec("BEGIN");
            body();
            db.exec("COMMIT");
            return;
        } catch (const PgError& error) {
            try {
                db.exec("ROLLBACK");
            } catch (const Error&) {
                // A lost connection has rolled it back on the server already.
            }
            if (!error.worthRetrying() || attempt == TRANSACTION_ATTEMPTS)
                throw;
            // Apart at random, so that the two sides do not meet again.
            std::uniform_int_distribution<int> pause(5, 40 * attempt);
            std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        } catch (...) {
            try {
                db.exec("ROLLBACK");
            } catch (const Error&) {
            }
            throw;
        }
    }
}

} // namespace history
