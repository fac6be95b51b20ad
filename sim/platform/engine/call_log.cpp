// The call log: every simulated call with its arguments (the latest ones),
// how many there were, and the misuses of the platform interface noted.
#include "call_log.h"

#include <deque>
#include <utility>

#include "../guard.h"
#include "byte_writer.h"

namespace zelsim {
namespace {

// Enough history for any test, bounded so that a caller hammering one
// function for hours does not grow the process.
constexpr std::size_t kCallLogCapacity = 4096;

struct Call {
    Fn fn;
    Args args;
};

struct CallLog {
    std::deque<Call> calls;
    std::uint64_t total_calls = 0;
    std::vector<std::string> errors;
};

CallLog &call_log() {
    static CallLog log;
    return log;
}

void append_arg(std::string &out, const Arg &arg) {
    if (std::holds_alternative<std::monostate>(arg)) {
        append_raw<std::uint8_t>(out, 0);
    } else if (const auto *i = std::get_if<std::int64_t>(&arg)) {
        append_raw<std::uint8_t>(out, 1);
        append_raw<std::int64_t>(out, *i);
    } else {
        append_raw<std::uint8_t>(out, 2);
        append_bytes(out, std::get<std::string>(arg));
    }
}

}  // namespace

Arg text_arg(const char *s) {
    if (s == nullptr) {
        return std::monostate{};
    }
    return std::string(s);
}

void log_call(Fn fn, Args args) {
    fail_if_chosen(fn_name(fn));
    auto &log = call_log();
    if (log.calls.size() == kCallLogCapacity) {
        log.calls.pop_front();
    }
    log.calls.push_back(Call{fn, std::move(args)});
    ++log.total_calls;
}

std::string serialise_calls() {
    std::string out;
    append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(call_log().calls.size()));
    for (const Call &call : call_log().calls) {
        append_raw<std::uint8_t>(out, static_cast<std::uint8_t>(call.fn));
        append_raw<std::uint8_t>(out, static_cast<std::uint8_t>(call.args.size()));
        for (const Arg &arg : call.args) {
            append_arg(out, arg);
        }
    }
    return out;
}

void clear_calls() {
    call_log().calls.clear();
    call_log().total_calls = 0;
}

std::uint64_t total_calls() {
    return call_log().total_calls;
}

void add_error(std::string message) {
    call_log().errors.push_back(std::move(message));
}

std::string joined_errors() {
    std::string out;
    for (const auto &e : call_log().errors) {
        out += e;
        out += '\n';
    }
    return out;
}

void reset_call_log() {
    call_log() = CallLog{};
}

}  // namespace zelsim
