// The two 802.1X operations: the port dict with its sessions, and the flat
// session list. Both read the same record (status_record.hpp); they differ
// only in what they take from it and in the keys they give it.
#include <cstddef>
#include <cstdint>

#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/operation.hpp"
#include "core/record.hpp"
#include "core/strings.hpp"
#include "core/text_conversion.hpp"
#include "dot1x/status_record.hpp"
#include "dot1x/strings.hpp"

namespace zel {

namespace {

// Each result is built in one ShortcutScope (core/shortcuts.hpp): between
// its conversions, the module makes only ints, dicts and lists, and calls
// the replace method of what text_ made of the port status.

// The port dict carries its sessions without the interface name and the
// session's native VLAN; the flat list carries both in every dict.
enum class SessionShape { in_port, flat };

// Session values all pass through the module's text_, the VLAN ids too:
// text_ hands back anything that is not bytes unchanged, so they stay ints.
Ref vlan_value(ShortcutScope &scope, uint16_t vlan_id) {
    Ref value = to_int(vlan_id);
    return to_text(scope, value.get());
}

Ref session_dict(ShortcutScope &scope, const dot1x_status_info &info, size_t i,
                 SessionShape shape) {
    const dot1x_session_info &s = info.session[i];
    const dot1x_session_vlan_info &vlan = info.vlan[i];
    const bool flat = shape == SessionShape::flat;
    DictBuilder d;
    d.set(dot1x_names.mac, text_of(scope, s.mac));
    if (flat)  // converted per dict, like every other value of it
        d.set(dot1x_names.interface, text_of(scope, info.name));
    d.set(dot1x_names.type, text_of(scope, s.type))
        .set(dot1x_names.eap, text_of(scope, s.eap))
        .set(dot1x_names.eap_counter, text_of(scope, s.eap_counter))
        .set(dot1x_names.pae, text_of(scope, s.pae))
        .set(dot1x_names.elapsed_time, text_of(scope, s.elapsed_time))
        .set(dot1x_names.params, text_of(scope, s.params));
    if (flat)
        d.set(dot1x_names.native_vlan_id, vlan_value(scope, vlan.native_vlan_id));
    d.set(dot1x_names.traffic_vlan_id, vlan_value(scope, vlan.traffic_vlan_id))
        .set(dot1x_names.dynamic_assigned_vlan_id, vlan_value(scope, vlan.dynamic_assigned_vlan_id))
        .set(dot1x_names.user, text_of(scope, s.user))
        .set(dot1x_names.security_group, text_of(scope, s.security_group))
        .set(dot1x_names.brenlow_group, text_of(scope, s.brenlow_group));
    return d.take();
}

Ref session_list(ShortcutScope &scope, const StatusRecord &record, SessionShape shape) {
    Ref list = new_list();
    for (size_t i = 0; i < record.sessions(); ++i)
        append(list.get(), session_dict(scope, record.info(), i, shape));
    return list;
}

// The platform reports the port status with ":" separators that the pages do
// not show: str.replace(":", "") on whatever text_ made of it.
Ref port_status(ShortcutScope &scope, const dot1x_status_info &info) {
    Ref text = text_of(scope, info.port_status);
    return call_method(text.get(), dot1x_names.replace, dot1x_names.colon, core_names.empty);
}

void set_port_vlans(ShortcutScope &scope, DictBuilder &d, const dot1x_status_info &info) {
    d.set(dot1x_names.dynamic_vlanid, to_int(info.dynamic_vlanid))
        .set(dot1x_names.native_vlanid, to_int(info.native_vlanid))
        .set(dot1x_names.allowed_vlanid, text_of(scope, info.allowed_vlanid))
        .set(dot1x_names.untagged_vlanid, text_of(scope, info.untagged_vlanid))
        .set(dot1x_names.guest_vlan_enable, to_int(info.guest_vlan_enable))
        .set(dot1x_names.guest_vlan, text_of(scope, info.guest_vlan))
        .set(dot1x_names.auth_fail_vlan_enable, to_int(info.auth_fail_vlan_enable))
        .set(dot1x_names.auth_fail_vlan, text_of(scope, info.auth_fail_vlan));
}

}  // namespace

Ref get_8021x_status(PyObject *interface_name) {
    const StatusRecord record(interface_name, dot1x_names.status_no_memory);
    const dot1x_status_info &info = record.info();
    ShortcutScope scope;
    DictBuilder d;
    d.set(dot1x_names.name, text_of(scope, info.name))
        .set(dot1x_names.mode, to_int(info.mode))
        .set(dot1x_names.mab, to_int(info.mab))
        .set(dot1x_names.link_status, text_of(scope, info.link_status))
        .set(dot1x_names.port_status, port_status(scope, info))
        .set(dot1x_names.eap_pass_through, text_of(scope, info.eap_pass_through));
    set_port_vlans(scope, d, info);
    d.set(dot1x_names.sessions, session_list(scope, record, SessionShape::in_port));
    return d.take();
}
ZEL_OPERATION(get_8021x_status, param("interface_name"));

Ref get_8021x_sessions(PyObject *interface_name) {
    const StatusRecord record(interface_name, dot1x_names.sessions_no_memory);
    ShortcutScope scope;
    return session_list(scope, record, SessionShape::flat);
}
ZEL_OPERATION(get_8021x_sessions, param("interface_name"));

}  // namespace zel
