#include "history/pg_connection.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <libpq-fe.h>
#include <poll.h>

#include "platform/messages.h"

namespace history {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* DEFAULT_CONNECT_TIMEOUT_S = "5";

std::string firstLine(const char* text) {
    std::string line = text ? text : "";
    if (const auto end = line.find('\n'); end != std::string::npos)
        line.resize(end);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// libpq's whole message, its lines joined (a failed connection may say why
// for every address it tried).
std::string oneLine(const char* text) {
    std::string line;
    for (const char* c = text ? text : ""; *c != '\0'; ++c)
        line += *c == '\n' || *c == '\t' ? ' ' : *c;
    for (size_t at; (at = line.find("  ")) != std::string::npos;)
        line.erase(at, 1);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

// Waits until the socket is ready for reading (or writing) or the deadline
// passes: false then.
bool waitForSocket(int socket, bool forWriting, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd fd{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
        const int ready = poll(&fd, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return true; // let libpq meet the error itself
    }
}

// Rows of the parsed location: the password check and the time-out.
struct LocationWords {
    bool hasPassword = false;
    std::string connectTimeout;
};

LocationWords readLocation(const std::string& location) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(location.c_str(), &error);
    if (options == nullptr) {
        const std::string why = firstLine(error);
        PQfreemem(error);
        throw Error(Error::Kind::BadLocation, Format(Msg("%s is no server history's location: %s"),
                                                     location.c_str(), why.c_str()));
    }
    LocationWords words;
    for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val == nullptr)
            continue;
        if (std::strcmp(option->keyword, "password") == 0 && option->val[0] != '\0')
            words.hasPassword = true;
        else if (std::strcmp(option->keyword, "connect_timeout") == 0)
            words.connectTimeout = option->val;
    }
    PQconninfoFree(options);
    return words;
}

// The server's answer to the login said no, rather than it being away or
// too busy to take one more connection right now.
bool transientRefusal(const std::string& message) {
    for (const char* passing : {"starting up", "shutting down", "too many clients",
                                "in recovery mode", "not yet accepting connections"})
        if (message.find(passing) != std::string::npos)
            return true;
    return false;
}

Error::Kind kindOfState(const std::string& state) {
    auto in = [&](const char* prefix) { return state.rfind(prefix, 0) == 0; };
    if (in("08") || state == "57P01" || state == "57P02" || state == "57P03")
        return Error::Kind::Unreachable;
    if (in("28") || state == "3D000" || state == "42501")
        return Error::Kind::Refused;
    if (state == "53100")
        return Error::Kind::DiskFull;
    if (in("53") || state == "40P01" || state == "40001" || state == "55P03" || state == "57014")
        return Error::Kind::Busy;
    if (state == "42P01" || state == "3F000")
        return Error::Kind::NotSetUp;
    if (state == "25006")
        return Error::Kind::ReadOnly;
    return Error::Kind::Other;
}

} // namespace

PgConnection::PgConnection(const std::string& location) : m_location(location) {
    const LocationWords words = readLocation(location);
    if (words.hasPassword)
        throw Error(Error::Kind::BadLocation,
                    Msg("the server history's location holds a password: a password does not "
                        "belong on a command line or in a settings file. Keep it in ~/.pgpass "
                        "(or the file PGPASSFILE names), or name a service of pg_service.conf "
                        "(service=NAME) and keep the password in ~/.pgpass"));
    // Defaults first: what the location says comes later and wins. A dead
    // peer is noticed within seconds (keepalives, TCP user time-out).
    std::vector<const char*> keywords = {"fallback_application_name", "keepalives",
                                         "keepalives_idle",           "keepalives_interval",
                                         "keepalives_count",          "tcp_user_timeout"};
    std::vector<const char*> values = {"tarvex", "1", "10", "3", "3", "20000"};
    if (std::getenv("PGCONNECT_TIMEOUT") == nullptr) {
        keywords.push_back("connect_timeout");
        values.push_back(DEFAULT_CONNECT_TIMEOUT_S);
    }
    keywords.push_back("dbname");
    values.push_back(location.c_str());
    keywords.push_back(nullptr);
    values.push_back(nullptr);
    m_conn = PQconnectStartParams(keywords.data(), values.data(), 1);
    if (m_conn == nullptr)
        throw Error(Error::Kind::Other, location + ": out of memory");

    // libpq keeps connect_timeout only when it waits itself: the deadline is ours.
    int timeoutS = std::atoi(DEFAULT_CONNECT_TIMEOUT_S);
    if (const char* fromEnv = std::getenv("PGCONNECT_TIMEOUT"))
        timeoutS = std::atoi(fromEnv);
    if (!words.connectTimeout.empty())
        timeoutS = std::atoi(words.connectTimeout.c_str());
    if (timeoutS <= 0)
        timeoutS = std::atoi(DEFAULT_CONNECT_TIMEOUT_S); // "wait forever" is not offered
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutS);

    bool reached = false; // the server answered what we sent
    PostgresPollingStatusType polling =
        PQstatus(m_conn) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED) {
        if (!waitForSocket(PQsocket(m_conn), polling == PGRES_POLLING_WRITING, deadline)) {
            PQfinish(m_conn);
            m_conn = nullptr;
            throw Error(Error::Kind::Unreachable,
                        Format(Msg("the history's server (%s) did not answer within %d s"),
                               location.c_str(), timeoutS));
        }
        const ConnStatusType before = PQstatus(m_conn);
        polling = PQconnectPoll(m_conn);
        // An answer to the TLS request or the login came in: an error now is
        // the server's no (TLS refused, a certificate that does not match,
        // the password), which trying again later does not mend.
        if (before == CONNECTION_SSL_STARTUP || before == CONNECTION_AWAITING_RESPONSE ||
            before == CONNECTION_AUTH_OK)
            reached = true;
    }
    // The server's notices ("already exists, skipping") are not the user's business.
    if (polling == PGRES_POLLING_OK)
        PQsetNoticeProcessor(
            m_conn, [](void*, const char*) {}, nullptr);
    if (polling == PGRES_POLLING_FAILED) {
        const std::string why = oneLine(PQerrorMessage(m_conn));
        const bool needsPassword = PQconnectionNeedsPassword(m_conn) != 0;
        PQfinish(m_conn);
        m_conn = nullptr;
        if (needsPassword || (reached && !transientRefusal(why)))
            throw Error(Error::Kind::Refused,
                        Format(Msg("the history's server (%s) refused the connection: %s"),
                               location.c_str(), why.c_str()));
        throw Error(Error::Kind::Unreachable,
                    Format(Msg("the history's server (%s) cannot be reached now: %s"),
                           location.c_str(), why.c_str()));
    }
}

PgConnection::~PgConnection() {
    if (m_conn != nullptr)
        PQfinish(m_conn);
}

pg_result* PgConnection::await(int limitMs, const std::string& doing) {
    const Clock::time_point deadline =
        limitMs > 0 ? Clock::now() + std::chrono::milliseconds(limitMs) : Clock::time_point::max();
    pg_result* kept = nullptr;
    for (;;) {
        while (PQisBusy(m_conn)) {
            if (!waitForSocket(PQsocket(m_conn), false, deadline)) {
                PQclear(kept);
                // Closing ends the statement on the server and rolls its
                // transaction back; the connection is not used again.
                PQfinish(m_conn);
                m_conn = nullptr;
                throw PgError(Error::Kind::Unreachable,
                              Format(Msg("the history's server (%s) did not answer within %d s "
                                         "(%s)"),
                                     m_location.c_str(), limitMs / 1000, doing.c_str()),
                              "");
            }
            if (!PQconsumeInput(m_conn))
                break;
        }
        pg_result* result = PQgetResult(m_conn);
        if (result == nullptr)
            return kept;
        // The first failure is the one that tells; else the last result.
        const ExecStatusType status = PQresultStatus(kept);
        if (kept != nullptr && (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE)) {
            PQclear(result);
        } else {
            PQclear(kept);
            kept = result;
        }
    }
}

void PgConnection::fail(pg_result* result, const std::string& doing) {
    const char* stateField = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string state = stateField ? stateField : "";
    std::string why = firstLine(result ? PQresultErrorMessage(result) : nullptr);
    if (why.empty())
        why = firstLine(m_conn ? PQerrorMessage(m_conn) : nullptr);
    PQclear(result);
    Error::Kind kind = kindOfState(state);
    if (m_conn == nullptr || PQstatus(m_conn) == CONNECTION_BAD)
        kind = Error::Kind::Unreachable;
    if (kind == Error::Kind::Unreachable)
        throw PgError(kind,
                      Format(Msg("the connection to the history's server (%s) was lost (%s): %s"),
                             m_location.c_str(), doing.c_str(), why.c_str()),
                      state);
    throw PgError(kind, m_location + " (" + doing + "): " + why, state);
}

PgResult PgConnection::exec(const std::string& sql, const std::vector<PgParam>& params,
                            int limitMs) {
    const std::string doing = firstLine(sql.c_str()).substr(0, 40);
    if (m_conn == nullptr)
        fail(nullptr, doing);
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const PgParam& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    if (!PQsendQueryParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0))
        fail(nullptr, doing);
    pg_result* result = await(limitMs, doing);
    const ExecStatusType status = PQresultStatus(result);
    if (result == nullptr || (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK))
        fail(result, doing);
    return PgResult(result);
}

void PgConnection::script(const std::string& sql, int limitMs) {
    const std::string doing = firstLine(sql.c_str()).substr(0, 40);
    if (m_conn == nullptr)
        fail(nullptr, doing);
    if (!PQsendQuery(m_conn, sql.c_str()))
        fail(nullptr, doing);
    pg_result* result = await(limitMs, doing);
    const ExecStatusType status = PQresultStatus(result);
    if (result == nullptr || (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK))
        fail(result, doing);
    PQclear(result);
}

std::string PgConnection::describe() const {
    if (m_conn == nullptr)
        return m_location;
    const std::string host = PQhost(m_conn) ? PQhost(m_conn) : "";
    const std::string port = PQport(m_conn) ? PQport(m_conn) : "";
    const std::string db = PQdb(m_conn) ? PQdb(m_conn) : "";
    const std::string user = PQuser(m_conn) ? PQuser(m_conn) : "";
    if (host.empty() || host[0] == '/')
        return Format(Msg("PostgreSQL database %s on this computer (socket in %s, port %s) as %s"),
                      db.c_str(), host.c_str(), port.c_str(), user.c_str());
    if (PQsslInUse(m_conn))
        return Format(Msg("PostgreSQL database %s on %s:%s as %s, encrypted (TLS)"), db.c_str(),
                      host.c_str(), port.c_str(), user.c_str());
    std::string sslmode;
    if (PQconninfoOption* options = PQconninfo(m_conn)) {
        for (const PQconninfoOption* option = options; option->keyword != nullptr; ++option)
            if (std::strcmp(option->keyword, "sslmode") == 0 && option->val != nullptr)
                sslmode = option->val;
        PQconninfoFree(options);
    }
    if (sslmode == "disable")
        return Format(Msg("PostgreSQL database %s on %s:%s as %s, not encrypted "
                          "(sslmode=disable)"),
                      db.c_str(), host.c_str(), port.c_str(), user.c_str());
    return Format(Msg("PostgreSQL database %s on %s:%s as %s, NOT encrypted: the server offered "
                      "no TLS and sslmode=%s fell back to plain text (use sslmode=verify-full)"),
                  db.c_str(), host.c_str(), port.c_str(), user.c_str(),
                  sslmode.empty() ? "prefer" : sslmode.c_str());
}

} // namespace history
