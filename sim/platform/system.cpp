// System-wide platform functions: the configuration database (a table of
// per-object query handles published through nCfg, one persistent update
// record per object, and the hostname that commits of object 11 store), the
// time of the last configuration backup and the diagnostic-debug flag.
#include "exports.h"

#include <cstdint>
#include <cstring>

#include "engine.h"
#include "guard.h"
#include "subsystems.h"

namespace {

constexpr int kObjects = 64;
constexpr std::size_t kUpdateRecordSize = 256;
constexpr std::size_t kLoggedRecordBytes = 64;

constexpr int kHostnameObject = HOSTNAME_CFG_OBJECT;
constexpr std::size_t kHostnameOffset = offsetof(hostname_update_record, host_name);
constexpr std::size_t kHostnameRoom = HOSTNAME_FIELD_SIZE;

// A handle only has to be a distinct non-null pointer that leads back to
// its object.
struct QueryHandle {
    int object;
};

QueryHandle g_handles[kObjects];
void *g_table[kObjects];
unsigned char g_update_records[kObjects][kUpdateRecordSize];
std::string g_hostname;

int object_of(const void *handle) {
    for (int i = 0; i < kObjects; ++i) {
        if (handle == &g_handles[i]) {
            return i;
        }
    }
    return -1;
}

bool valid_object(int object) {
    return object >= 0 && object < kObjects;
}

std::string logged_record(const void *record) {
    if (record == nullptr) {
        return {};
    }
    return std::string(static_cast<const char *>(record), kLoggedRecordBytes);
}

void write_hostname_field(const std::string &name) {
    unsigned char *field = g_update_records[kHostnameObject] + kHostnameOffset;
    std::memset(field, 0, kHostnameRoom);
    std::memcpy(field, name.data(), name.size() < kHostnameRoom ? name.size() : kHostnameRoom - 1);
}

void commit(int object, const void *record) {
    if (object != kHostnameObject || record == nullptr) {
        return;
    }
    const char *field = static_cast<const char *>(record) + kHostnameOffset;
    g_hostname.assign(field, strnlen(field, kHostnameRoom));
}

int create_query(int object) {
    zelsim::Step step;
    {
        std::lock_guard lock(zelsim::state_mutex());
        step = zelsim::take_step(zelsim::Fn::check_create_zel_query, {std::int64_t{object}});
        if (valid_object(object)) {
            g_table[object] = &g_handles[object];
        } else {
            zelsim::add_error("check_create_zel_query: object " + std::to_string(object) +
                              " out of range");
        }
    }
    zelsim::pause(step);
    return static_cast<int>(step.result);
}

void *update_record_of(void *query) {
    zelsim::Step step;
    int object;
    {
        std::lock_guard lock(zelsim::state_mutex());
        object = object_of(query);
        step = zelsim::take_step(zelsim::Fn::zel_query_update, {std::int64_t{object}});
        if (step.result != 0 && object < 0) {
            zelsim::add_error("zel_query_update: not a query handle");
        }
    }
    zelsim::pause(step);
    if (step.result == 0 || object < 0) {
        return nullptr;
    }
    std::lock_guard lock(zelsim::state_mutex());
    // aux pre-fills the record, so tests can tell which bytes a caller wrote.
    zelsim::put_bytes(step.aux_bytes(), g_update_records[object], kUpdateRecordSize);
    return g_update_records[object];
}

int change_object(int object, void *update_record) {
    zelsim::Step step;
    {
        std::lock_guard lock(zelsim::state_mutex());
        step = zelsim::take_step(zelsim::Fn::nCfg_obj_change,
                                 {std::int64_t{object}, logged_record(update_record)});
    }
    zelsim::pause(step);
    // A negative status stands for a rejected change, which commits nothing.
    if (step.result >= 0) {
        std::lock_guard lock(zelsim::state_mutex());
        commit(object, update_record);
    }
    return static_cast<int>(step.result);
}

int backup_time(const char *key, long *timestamp) {
    zelsim::Step step;
    {
        std::lock_guard lock(zelsim::state_mutex());
        step = zelsim::take_step(zelsim::Fn::backupts_GetTimeStamp, {zelsim::text_arg(key)});
    }
    zelsim::pause(step);
    // The platform only writes the time when it has one to report.
    if (step.result == 1) {
        zelsim::put_record(step, timestamp, sizeof *timestamp);
    }
    return static_cast<int>(step.result);
}

}  // namespace

void **nCfg = g_table;

int check_create_zel_query(int object) {
    return zelsim::platform_answer(zelsim::Fn::check_create_zel_query, zelsim::kPlatformFailed,
                                   [&] { return create_query(object); });
}

void *zel_query_update(void *query) {
    return zelsim::platform_answer(zelsim::Fn::zel_query_update, static_cast<void *>(nullptr),
                                   [&] { return update_record_of(query); });
}

int nCfg_obj_change(int object, void *update_record) {
    return zelsim::platform_answer(zelsim::Fn::nCfg_obj_change, zelsim::kPlatformFailed,
                                   [&] { return change_object(object, update_record); });
}

int backupts_GetTimeStamp(const char *key, long *timestamp) {
    return zelsim::platform_answer(zelsim::Fn::backupts_GetTimeStamp, zelsim::kPlatformFailed,
                                   [&] { return backup_time(key, timestamp); });
}

int is_diag_debug_enabled(void) {
    return zelsim::platform_answer(zelsim::Fn::is_diag_debug_enabled, zelsim::kPlatformFailed, [] {
        return zelsim::respond(zelsim::Fn::is_diag_debug_enabled, {}, nullptr, 0);
    });
}

namespace zelsim {

void reset_config_db() {
    std::memset(g_table, 0, sizeof g_table);
    std::memset(g_update_records, 0, sizeof g_update_records);
    g_hostname.clear();
}

std::string committed_hostname() {
    return g_hostname;
}

void set_hostname(const std::string &name) {
    g_hostname = name.substr(0, kHostnameRoom - 1);
    write_hostname_field(g_hostname);
}

}  // namespace zelsim
