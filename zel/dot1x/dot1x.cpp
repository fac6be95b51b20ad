// The two 802.1X operations: the port dict with its sessions, and the flat
// session list. Both read the same record (status_record.hpp); they differ
// only in what they take from it and in the keys they give it.
#include "dot1x/dot1x.hpp"

#include <cstddef>
#include <cstdint>

#include "dot1x/status_record.hpp"
#include "frame/convert.hpp"
#include "frame/names.hpp"
#include "frame/record.hpp"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

constexpr Py_ssize_t kPortKeys = 15;
constexpr Py_ssize_t kPortSessionKeys = 12;
constexpr Py_ssize_t kFlatSessionKeys = 14;

// The port dict carries its sessions without the interface name and the
// session's native VLAN; the flat list carries both in every dict.
enum class SessionShape { in_port, flat };

// Session values all pass through the module's text_, the VLAN ids too:
// text_ hands back anything that is not bytes unchanged, so they stay ints.
Ref vlan_value(uint16_t vlan_id) {
    Ref value = to_int(vlan_id);
    return to_text(value.get());
}

Ref session_dict(const dot1x_status_info &info, size_t i, SessionShape shape) {
    const dot1x_session_info &s = info.session[i];
    const dot1x_session_vlan_info &vlan = info.vlan[i];
    const bool flat = shape == SessionShape::flat;
    DictBuilder d(flat ? kFlatSessionKeys : kPortSessionKeys);
    d.set(K.mac, text_of(s.mac));
    if (flat)  // converted per dict, like every other value of it
        d.set(K.dot1x_interface, text_of(info.name));
    d.set(K.dot1x_type, text_of(s.type))
        .set(K.eap, text_of(s.eap))
        .set(K.eap_counter, text_of(s.eap_counter))
        .set(K.pae, text_of(s.pae))
        .set(K.elapsed_time, text_of(s.elapsed_time))
        .set(K.dot1x_params, text_of(s.params));
    if (flat)
        d.set(K.native_vlan_id, vlan_value(vlan.native_vlan_id));
    d.set(K.traffic_vlan_id, vlan_value(vlan.traffic_vlan_id))
        .set(K.dynamic_assigned_vlan_id, vlan_value(vlan.dynamic_assigned_vlan_id))
        .set(K.dot1x_user, text_of(s.user))
        .set(K.security_group, text_of(s.security_group))
        .set(K.brenlow_group, text_of(s.brenlow_group));
    return d.take();
}

Ref session_list(const StatusRecord &record, SessionShape shape) {
    Ref list = new_list();
    for (size_t i = 0; i < record.sessions(); ++i)
        append(list.get(), session_dict(record.info(), i, shape));
    return list;
}

// The platform reports the port status with ":" separators that the pages do
// not show: str.replace(":", "") on whatever text_ made of it.
Ref port_status(const dot1x_status_info &info) {
    Ref text = text_of(info.port_status);
    return call_method(text.get(), K.dot1x_replace, K.dot1x_colon, K.empty);
}

void set_port_vlans(DictBuilder &d, const dot1x_status_info &info) {
    d.set(K.dynamic_vlanid, int_value(info.dynamic_vlanid))
        .set(K.native_vlanid, int_value(info.native_vlanid))
        .set(K.allowed_vlanid, text_of(info.allowed_vlanid))
        .set(K.untagged_vlanid, text_of(info.untagged_vlanid))
        .set(K.guest_vlan_enable, int_value(info.guest_vlan_enable))
        .set(K.guest_vlan, text_of(info.guest_vlan))
        .set(K.auth_fail_vlan_enable, int_value(info.auth_fail_vlan_enable))
        .set(K.auth_fail_vlan, text_of(info.auth_fail_vlan));
}

}  // namespace

Ref get_8021x_status(const Args &args) {
    const StatusRecord record(args[0], K.dot1x_status_no_memory);
    const dot1x_status_info &info = record.info();
    DictBuilder d(kPortKeys);
    d.set(K.name, text_of(info.name))
        .set(K.dot1x_mode, int_value(info.mode))
        .set(K.mab, int_value(info.mab))
        .set(K.link_status, text_of(info.link_status))
        .set(K.port_status, port_status(info))
        .set(K.eap_pass_through, text_of(info.eap_pass_through));
    set_port_vlans(d, info);
    d.set(K.sessions, session_list(record, SessionShape::in_port));
    return d.take();
}

Ref get_8021x_sessions(const Args &args) {
    const StatusRecord record(args[0], K.dot1x_sessions_no_memory);
    return session_list(record, SessionShape::flat);
}

}  // namespace zel
