// Conferences: a member leaves (0x2C), the PBX forms (0x4B) or splits (0x4C) one.
#include "provider/core/event_context.h"

namespace velkor::core::events {

void conferencePartyReleased(Event& e) {
    const std::string num = e.num(0);
    if (e.isOwnNumber(num)) {
        // The station left: its whole conference ends.
        e.allInStates(kConnected | kConferenced, kIdle);
        if (CallContext* controller = StationModel::findCallByRole(*e.line, kRoleConferenceController)) {
            e.state(*controller, kIdle);
        }
        return;
    }
    CallContext* c = e.call(num);
    if (!c) return;
    if (c->role == kRoleTransferTarget) {
        e.state(*c, kIdle);
    } else if (e.any(kConnected, c)) {
        e.state(*c, kIdle);
    } else {
        e.state(*c, kDisconnected, LINEDISCONNECTMODE_NORMAL);
    }
    e.model.conferenceCleanUp(*e.line);
}

void conferenceFormed(Event& e) {
    // A conference already waiting for its next party is not formed again.
    if (e.any(kPendConf)) return;
    CallContext* active = e.inState(kConnected);
    if (!active) return;
    if (active->role == kRoleConferenceController) {
        // The PBX answers the request to add a party (0x72) so: the
        // controller steps out of its conference, which stays together.
        e.state(*active, kPendConf);
    } else {
        e.state(*active, kConferenced);
        CallContext* controller = e.consultationCall(true);
        if (!controller) return;
        e.state(*controller, kPendConf);
    }
    if (CallContext* d = e.consultationCall(false)) e.state(*d, kDialtone);
}

void conferenceSplit(Event& e) {
    CallContext* controller = StationModel::findCallByRole(*e.line, kRoleConferenceController);
    CallContext* active = e.inState(kConnected, controller);
    if (controller) e.state(*controller, kConnected);
    if (active) e.state(*active, kConferenced);
    e.model.conferenceCleanUp(*e.line);
}

}  // namespace velkor::core::events
