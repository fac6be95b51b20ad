// The two 802.1X operations: the port dict with its sessions, and the flat
// session list. Both read the same record (status_record.hpp); they differ
// only in what they take from it and in the keys they give it.
#include <cstddef>
#include <cstdint>

#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/operation.hpp"
#include "core/record.hpp"
#include "core/text_conversion.hpp"
#include "dot1x/status_record.hpp"
#include "dot1x/strings.hpp"

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
    d.set(D.mac, text_of(s.mac));
    if (flat)  // converted per dict, like every other value of it
        d.set(D.interface, text_of(info.name));
    d.set(D.type, text_of(s.type))
        .set(D.eap, text_of(s.eap))
        .set(D.eap_counter, text_of(s.eap_counter))
        .set(D.pae, text_of(s.pae))
        .set(D.elapsed_time, text_of(s.elapsed_time))
        .set(D.params, text_of(s.params));
    if (flat)
        d.set(D.native_vlan_id, vlan_value(vlan.native_vlan_id));
    d.set(D.traffic_vlan_id, vlan_value(vlan.traffic_vlan_id))
        .set(D.dynamic_assigned_vlan_id, vlan_value(vlan.dynamic_assigned_vlan_id))
        .set(D.user, text_of(s.user))
        .set(D.security_group, text_of(s.security_group))
        .set(D.brenlow_group, text_of(s.brenlow_group));
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
    return call_method(text.get(), D.replace, D.colon, D.empty);
}

void set_port_vlans(DictBuilder &d, const dot1x_status_info &info) {
    d.set(D.dynamic_vlanid, to_int(info.dynamic_vlanid))
        .set(D.native_vlanid, to_int(info.native_vlanid))
        .set(D.allowed_vlanid, text_of(info.allowed_vlanid))
        .set(D.untagged_vlanid, text_of(info.untagged_vlanid))
        .set(D.guest_vlan_enable, to_int(info.guest_vlan_enable))
        .set(D.guest_vlan, text_of(info.guest_vlan))
        .set(D.auth_fail_vlan_enable, to_int(info.auth_fail_vlan_enable))
        .set(D.auth_fail_vlan, text_of(info.auth_fail_vlan));
}

}  // namespace

Ref get_8021x_status(PyObject *interface_name) {
    const StatusRecord record(interface_name, D.status_no_memory);
    const dot1x_status_info &info = record.info();
    DictBuilder d(kPortKeys);
    d.set(D.name, text_of(info.name))
        .set(D.mode, to_int(info.mode))
        .set(D.mab, to_int(info.mab))
        .set(D.link_status, text_of(info.link_status))
        .set(D.port_status, port_status(info))
        .set(D.eap_pass_through, text_of(info.eap_pass_through));
    set_port_vlans(d, info);
    d.set(D.sessions, session_list(record, SessionShape::in_port));
    return d.take();
}
ZEL_OPERATION(get_8021x_status, param("interface_name"));

Ref get_8021x_sessions(PyObject *interface_name) {
    const StatusRecord record(interface_name, D.sessions_no_memory);
    return session_list(record, SessionShape::flat);
}
ZEL_OPERATION(get_8021x_sessions, param("interface_name"));

}  // namespace zel
