// Multicast traceroute: the launch, answered straight from its script, and
// the trace-route facility. Every context is a zeroed block the caller may
// read (the reply MTU lives at offset 580) plus the simulator's own record of
// it: an id for the call log and a private copy of the hop script, so that
// concurrent traces each walk the whole route. Scripts keyed by the host text
// give a destination a route of its own.
#include "exports.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>

#include "engine.h"
#include "guard.h"
#include "subsystems.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define ZEL_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define ZEL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define ZEL_POISON(p, n) ((void)(p), (void)(n))
#define ZEL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

constexpr std::size_t kContextSize = 1024;
// Freed blocks are held back for a while instead of going straight to the
// allocator: a stale pointer then cannot alias a newer context, so a double
// free is always recognised, and reads through it see poison.
constexpr std::size_t kQuarantine = 64;
constexpr unsigned char kPoison = 0xDD;

struct Context {
    int id;
    std::vector<zelsim::Step> hops;
    std::size_t next = 0;
    bool stale = false;
};

std::map<const void *, Context> g_contexts;
std::deque<void *> g_quarantine;
int g_next_id = 1;

Context *find(const void *block) {
    auto it = g_contexts.find(block);
    return it == g_contexts.end() ? nullptr : &it->second;
}

int id_of(const void *block) {
    Context *c = find(block);
    return c == nullptr ? -1 : c->id;
}

std::string describe(const void *p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    return buf;
}

void *new_block(const std::string &aux) {
    void *block = std::calloc(1, kContextSize);
    if (block != nullptr) {
        zelsim::put_bytes(aux, block, kContextSize);
    }
    return block;
}

void retire(void *block) {
    std::memset(block, kPoison, kContextSize);
    ZEL_POISON(block, kContextSize);
    g_quarantine.push_back(block);
    if (g_quarantine.size() > kQuarantine) {
        void *oldest = g_quarantine.front();
        g_quarantine.pop_front();
        ZEL_UNPOISON(oldest, kContextSize);
        std::free(oldest);
    }
}

// Each hop is answered once. Past the last one (a route without hops, a
// script whose last hop did not answer 1, a caller that goes on after 1) the
// trace is over: the answer is 1 with nothing written, and the misuse is
// noted. A pointer that is no context ends the trace the same way.
zelsim::Step next_hop(Context *c, const void *block) {
    zelsim::Step end{1, {}, 0, {}};
    if (c == nullptr) {
        return end;
    }
    if (c->next >= c->hops.size()) {
        zelsim::add_error("query_trace_route: context " + std::to_string(c->id) + " (" +
                          describe(block) + ") has no hop left to report");
        return end;
    }
    return c->hops[c->next++];
}

trace_route_context *open_trace(char *ip_host, int ttl, int probes, int timeout,
                                trace_route_header_info *header) {
    zelsim::Step step;
    Context context{0, {}, 0, false};
    {
        std::string target = ip_host == nullptr ? std::string() : std::string(ip_host);
        const std::string *key = ip_host == nullptr ? nullptr : &target;
        std::lock_guard lock(zelsim::state_mutex());
        step = zelsim::take_step(zelsim::Fn::init_trace_route,
                                 {zelsim::text_arg(ip_host), std::int64_t{ttl},
                                  std::int64_t{probes}, std::int64_t{timeout}},
                                 key);
        context.hops = zelsim::script_copy(zelsim::Fn::query_trace_route, key);
    }
    zelsim::pause(step);
    if (step.result == 0) {
        return nullptr;
    }
    void *block = new_block(step.aux_bytes());
    if (block == nullptr) {
        return nullptr;
    }
    zelsim::put_record(step, header, sizeof *header);
    try {
        std::lock_guard lock(zelsim::state_mutex());
        context.id = g_next_id++;
        g_contexts.emplace(block, std::move(context));
    } catch (...) {
        std::free(block);  // no context handed out
        throw;
    }
    return static_cast<trace_route_context *>(block);
}

int next_response(trace_route_context *context, trace_route_response_info *response) {
    zelsim::Step step;
    {
        std::lock_guard lock(zelsim::state_mutex());
        Context *c = find(context);
        zelsim::take_step(zelsim::Fn::query_trace_route, {std::int64_t{id_of(context)}});
        if (c == nullptr) {
            zelsim::add_error("query_trace_route: " + describe(context) +
                              " is not an open trace context");
        }
        step = next_hop(c, context);
        step.delay += zelsim::slowness(zelsim::Fn::query_trace_route);
    }
    zelsim::pause(step);
    zelsim::put_record(step, response, sizeof *response);
    return static_cast<int>(step.result);
}

int close_trace(trace_route_context *context) {
    zelsim::Step step;
    {
        std::lock_guard lock(zelsim::state_mutex());
        step = zelsim::take_step(zelsim::Fn::free_trace_route, {std::int64_t{id_of(context)}});
        auto it = g_contexts.find(context);
        if (it == g_contexts.end()) {
            zelsim::add_error("free_trace_route: " + describe(context) +
                              " is not an open trace context (double free or foreign pointer)");
        } else {
            g_contexts.erase(it);
            retire(context);
        }
    }
    zelsim::pause(step);
    return static_cast<int>(step.result);
}

}  // namespace

int api_mtraceroute(char *dst, int confidence, int flow_id, int max_ttl, char *r_file) {
    return zelsim::platform_answer(zelsim::Fn::api_mtraceroute, zelsim::kPlatformFailed, [&] {
        return zelsim::respond(
            zelsim::Fn::api_mtraceroute,
            {zelsim::text_arg(dst), std::int64_t{confidence}, std::int64_t{flow_id},
             std::int64_t{max_ttl}, zelsim::text_arg(r_file)},
            nullptr, 0);
    });
}

trace_route_context *init_trace_route(char *ip_host, int ttl, int probes, int timeout,
                                      trace_route_header_info *header) {
    return zelsim::platform_answer(
        zelsim::Fn::init_trace_route, static_cast<trace_route_context *>(nullptr),
        [&] { return open_trace(ip_host, ttl, probes, timeout, header); });
}

// A query that failed inside the simulator ends the trace.
int query_trace_route(trace_route_context *context, trace_route_response_info *response) {
    return zelsim::platform_answer(zelsim::Fn::query_trace_route, 1,
                                   [&] { return next_response(context, response); });
}

int free_trace_route(trace_route_context *context) {
    return zelsim::platform_answer(zelsim::Fn::free_trace_route, zelsim::kPlatformFailed,
                                   [&] { return close_trace(context); });
}

namespace zelsim {

void reset_traces() {
    for (auto &[block, context] : g_contexts) {
        context.stale = true;
    }
    g_next_id = 1;
}

int open_contexts() {
    int n = 0;
    for (const auto &[block, context] : g_contexts) {
        n += context.stale ? 0 : 1;
    }
    return n;
}

}  // namespace zelsim
