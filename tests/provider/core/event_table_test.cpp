// Every CTI event and sub-code: the line's calls as set up, one frame, and
// the exact LINE_* sequence with the calls' states, keys and party texts after it.
#include "model_fixture.h"

namespace velkor::core::testing {
namespace {

constexpr DWORD IDLE = LINECALLSTATE_IDLE;
constexpr DWORD OFFERING = LINECALLSTATE_OFFERING;
constexpr DWORD DIALTONE = LINECALLSTATE_DIALTONE;
constexpr DWORD RINGBACK = LINECALLSTATE_RINGBACK;
constexpr DWORD BUSY = LINECALLSTATE_BUSY;
constexpr DWORD CONNECTED = LINECALLSTATE_CONNECTED;
constexpr DWORD ONHOLD = LINECALLSTATE_ONHOLD;
constexpr DWORD CONFERENCED = LINECALLSTATE_CONFERENCED;
constexpr DWORD PENDCONF = LINECALLSTATE_ONHOLDPENDCONF;
constexpr DWORD PENDTRANSFER = LINECALLSTATE_ONHOLDPENDTRANSFER;
constexpr std::uint32_t CONTROLLER = kRoleConferenceController;

struct EventCase {
    const char* name;
    std::vector<CallSetup> before;
    std::uint8_t code;
    std::string data;
    std::vector<std::string> raised;
    std::vector<std::string> after;
};

// Parties: the own station " 205", stations "  21" and "  22", CO line " 12".
const EventCase kCases[] = {
    // 0x20 incoming call notice
    {"20_direct_new", {}, 0x20, "!  21  22",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID"},
     {"c1 OFFERING [  21] caller=21/STA21"}},
    {"20_direct_held_rings_back", {{"  21", ONHOLD}}, 0x20, "1  21",
     {"c1 CALLSTATE RINGBACK", "c1 CALLINFO CALLERID"},
     {"c1 RINGBACK [  21] caller=21/STA21"}},
    {"20_answered_at_once", {}, 0x20, "\"  21",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID|CONNECTEDID", "c1 CALLSTATE CONNECTED"},
     {"c1 CONNECTED [  21] caller=21/STA21 connected=21/STA21"}},
    {"20_reminder_drops_dialtone", {{"000", DIALTONE}}, 0x20, "$  21",
     {"c1 CALLSTATE IDLE", "c2 NEWCALL", "c2 CALLSTATE OFFERING"},
     {"c1 IDLE", "c2 OFFERING [  21] caller=21/STA21"}},
    {"20_call_completion", {}, 0x20, "+  21",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID"},
     {"c1 OFFERING [  21] caller=21/STA21"}},
    {"20_forwarded", {}, 0x20, "-  21  22",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID|REDIRECTINGID"},
     {"c1 OFFERING [  21] caller=21/STA21 redirecting=22/STA22"}},
    {"20_direct_6", {}, 0x20, "6  21",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID"},
     {"c1 OFFERING [  21] caller=21/STA21"}},
    {"20_transfer_no_state_change", {{"  21", CONNECTED}}, 0x20, "=  21  22",
     {"c1 CALLINFO CALLERID|REDIRECTINGID"},
     {"c1 CONNECTED [  21] caller=21/STA21 redirecting=22/STA22"}},
    {"20_transfer_offered", {}, 0x20, "P  21  22",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID|REDIRECTINGID"},
     {"c1 OFFERING [  21] caller=21/STA21 redirecting=22/STA22"}},
    {"20_redirected", {}, 0x20, "T  21  22",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID|REDIRECTINGID"},
     {"c1 OFFERING [  21] caller=21/STA21 redirecting=22/STA22"}},
    {"20_unknown_sub_ignored", {}, 0x20, "Z  21", {}, {}},
    {"20_own_number_ignored", {}, 0x20, "! 205  21", {}, {}},

    // 0x21 release
    {"21_7_idle", {{"  21", CONNECTED}}, 0x21, "7  21", {"c1 CALLSTATE IDLE"}, {"c1 IDLE"}},
    {"21_question_idle", {{"  21", RINGBACK}}, 0x21, "?  21", {"c1 CALLSTATE IDLE"}, {"c1 IDLE"}},
    {"21_other_disconnected", {{"  21", ONHOLD}}, 0x21, "!  21",
     {"c1 CALLSTATE DISCONNECTED mode=0x1"}, {"c1 DISCONNECTED"}},
    {"21_equals_without_conference", {{"  21", CONNECTED}}, 0x21, "=  21",
     {"c1 CALLSTATE DISCONNECTED mode=0x1"}, {"c1 DISCONNECTED"}},
    {"21_conferenced_member_leaves_waiting_conference",
     {{"  21", CONFERENCED}, {"  22", CONFERENCED}, {"", PENDCONF, CONTROLLER}}, 0x21, "!  21",
     {"c1 CALLSTATE IDLE"}, {"c1 IDLE", "c2 CONFERENCED [  22]", "c3 ONHOLDPENDCONF"}},
    {"21_last_member_ends_conference", {{"  21", CONFERENCED}, {"", CONNECTED, CONTROLLER}}, 0x21, "!  21",
     {"c1 CALLSTATE IDLE", "c2 CALLSTATE IDLE"}, {"c1 IDLE", "c2 IDLE"}},
    {"21_own_number_controller_waits", {{"", CONNECTED, CONTROLLER}}, 0x21, "! 205",
     {"c1 CALLSTATE ONHOLDPENDCONF"}, {"c1 ONHOLDPENDCONF"}},
    {"21_own_number_waiting_controller_drops_consultation",
     {{"", PENDCONF, CONTROLLER}, {"000", DIALTONE}, {"  22", BUSY}}, 0x21, "! 205",
     {"c2 CALLSTATE DISCONNECTED mode=0x1", "c3 CALLSTATE DISCONNECTED mode=0x1"},
     {"c1 ONHOLDPENDCONF", "c2 DISCONNECTED", "c3 DISCONNECTED"}},
    {"21_paging_call", {{"PAGE", CONNECTED}}, 0x21, "M  21", {"c1 CALLSTATE IDLE"}, {"c1 IDLE"}},
    {"21_unknown_key_ignored", {{"  22", CONNECTED}}, 0x21, "7  21", {}, {"c1 CONNECTED [  22]"}},
    {"21_idle_call_ignored", {{"  21", IDLE}}, 0x21, "7  21", {}, {"c1 IDLE [  21]"}},

    // 0x22 answered
    {"22_unknown_number", {}, 0x22, "  21",
     {"c1 NEWCALL", "c1 CALLINFO CALLERID", "c1 CALLSTATE CONNECTED", "c1 CALLINFO CONNECTEDID"},
     {"c1 CONNECTED [  21] caller=21/STA21 connected=21/STA21"}},
    {"22_offered_call_drops_held", {{"  21", OFFERING}, {"  22", ONHOLD}}, 0x22, "  21",
     {"c2 CALLSTATE IDLE", "c1 CALLSTATE CONNECTED", "c1 CALLINFO CONNECTEDID"},
     {"c1 CONNECTED [  21] connected=21/STA21", "c2 IDLE"}},

    // 0x23 callback offer
    {"23_station", {}, 0x23, "  21",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLEDID"},
     {"c1 OFFERING [  21] called=21/STA21"}},
    {"23_named", {}, 0x23, "NFred",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLEDID"}, {"c1 OFFERING called=/Fred"}},

    // 0x24 held call appears
    {"24_camped_on", {{"  21", CONNECTED}}, 0x24, "x  22",
     {"c2 NEWCALL", "c2 CALLSTATE ONHOLD", "c2 CALLINFO CALLERID"},
     {"c1 CONNECTED [  21]", "c2 ONHOLD [  22] caller=22/STA22"}},
    {"24_needs_connected_call", {{"  21", RINGBACK}}, 0x24, "x  22", {}, {"c1 RINGBACK [  21]"}},

    {"25_no_effect", {{"  21", CONNECTED}}, 0x25, "  21", {}, {"c1 CONNECTED [  21]"}},

    // 0x26 transferred party connected
    {"26_key_moves", {{"  21", CONNECTED}}, 0x26, "  21  22",
     {"c1 CALLINFO CONNECTEDID"}, {"c1 CONNECTED [  22] connected=22/STA22"}},
    {"26_needs_connected", {{"  21", RINGBACK}}, 0x26, "  21  22", {}, {"c1 RINGBACK [  21]"}},

    // 0x27 picked up
    {"27_ringback", {{"  21", RINGBACK}}, 0x27, "  21",
     {"c1 CALLINFO CONNECTEDID"}, {"c1 RINGBACK [  21] connected=21/STA21"}},
    {"27_offering_ignored", {{"  21", OFFERING}}, 0x27, "  21", {}, {"c1 OFFERING [  21]"}},

    {"28_no_effect", {{"  21", CONNECTED}}, 0x28, "  21", {}, {"c1 CONNECTED [  21]"}},

    // 0x2A released with drop
    {"2A_connected", {{"  21", CONNECTED}}, 0x2A, "  21",
     {"c1 CALLSTATE DISCONNECTED mode=0x1"}, {"c1 DISCONNECTED"}},

    // 0x2C conference party released
    {"2C_own_number_ends_conference",
     {{"  21", CONFERENCED}, {"  22", CONFERENCED}, {"", PENDCONF, CONTROLLER}}, 0x2C, " 205",
     {"c1 CALLSTATE IDLE", "c2 CALLSTATE IDLE", "c3 CALLSTATE IDLE"}, {"c1 IDLE", "c2 IDLE", "c3 IDLE"}},
    {"2C_member_with_connected_call", {{"  21", CONFERENCED}, {"  22", CONNECTED}}, 0x2C, "  21",
     {"c1 CALLSTATE IDLE"}, {"c1 IDLE", "c2 CONNECTED [  22]"}},
    {"2C_member_alone", {{"  21", ONHOLD}}, 0x2C, "  21",
     {"c1 CALLSTATE DISCONNECTED mode=0x1"}, {"c1 DISCONNECTED"}},
    {"2C_transfer_target", {{"  21", CONNECTED, kRoleTransferTarget}}, 0x2C, "  21",
     {"c1 CALLSTATE IDLE"}, {"c1 IDLE"}},

    // 0x2D incoming CO call
    {"2D_caller_number", {}, 0x2D, "!  21 120301234",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID"},
     {"c1 OFFERING [ 12] caller=0301234/CO012"}},
    {"2D_caller_name", {}, 0x2D, "!  21 12NAcme",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID"}, {"c1 OFFERING [ 12] caller=/Acme"}},
    {"2D_no_caller_id", {}, 0x2D, "!  21 12",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID"}, {"c1 OFFERING [ 12] caller=/CO012"}},
    {"2D_transferred_finds_station_call", {{"  21", CONNECTED}}, 0x2D, "=  21 12",
     {"c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID"}, {"c1 OFFERING [ 12] caller=/CO012"}},
    {"2D_redirected", {}, 0x2D, "P  21 12",
     {"c1 NEWCALL", "c1 CALLSTATE OFFERING", "c1 CALLINFO CALLERID|REDIRECTINGID"},
     {"c1 OFFERING [ 12] caller=/CO012 redirecting=21/STA21"}},
    {"2D_reminder_S_drops_busy", {{"  22", BUSY}}, 0x2D, "S  21 12",
     {"c2 NEWCALL", "c1 CALLSTATE DISCONNECTED mode=0x1", "c2 CALLSTATE OFFERING", "c2 CALLINFO CALLERID"},
     {"c1 DISCONNECTED", "c2 OFFERING [ 12] caller=/CO012"}},

    // 0x2E disconnected with cause
    {"2E_setting_up_8_idle", {{" 12", RINGBACK}}, 0x2E, "8 12", {"c1 CALLSTATE IDLE"}, {"c1 IDLE"}},
    {"2E_setting_up_7_with_held_transfer", {{" 12", RINGBACK}, {"  21", PENDTRANSFER}}, 0x2E, "7 12",
     {"c1 CALLSTATE IDLE"}, {"c1 IDLE", "c2 ONHOLDPENDTRANSFER [  21]"}},
    {"2E_setting_up_7_alone", {{" 12", DIALTONE}}, 0x2E, "7 12",
     {"c1 CALLSTATE DISCONNECTED"}, {"c1 DISCONNECTED"}},
    {"2E_setting_up_B_normal", {{" 12", BUSY}}, 0x2E, "B 12",
     {"c1 CALLSTATE DISCONNECTED mode=0x1"}, {"c1 DISCONNECTED"}},
    {"2E_setting_up_other_unknown", {{" 12", ONHOLD}}, 0x2E, "A 12",
     {"c1 CALLSTATE DISCONNECTED mode=0x2"}, {"c1 DISCONNECTED"}},
    {"2E_offering_idle", {{" 12", OFFERING}}, 0x2E, "; 12", {"c1 CALLSTATE IDLE"}, {"c1 IDLE"}},
    {"2E_connected_9_normal", {{" 12", CONNECTED}}, 0x2E, "9 12",
     {"c1 CALLSTATE DISCONNECTED mode=0x1"}, {"c1 DISCONNECTED"}},
    {"2E_connected_colon_unknown", {{" 12", CONNECTED}}, 0x2E, ": 12",
     {"c1 CALLSTATE DISCONNECTED mode=0x2"}, {"c1 DISCONNECTED"}},
    {"2E_connected_question_normal", {{" 12", CONNECTED}}, 0x2E, "? 12",
     {"c1 CALLSTATE DISCONNECTED mode=0x1"}, {"c1 DISCONNECTED"}},
    {"2E_conferenced_idle_and_clean_up", {{" 12", CONFERENCED}, {"  21", CONFERENCED}, {"", CONNECTED, CONTROLLER}},
     0x2E, "9 12", {"c1 CALLSTATE IDLE", "c2 CALLSTATE CONNECTED", "c3 CALLSTATE IDLE"},
     {"c1 IDLE", "c2 CONNECTED [  21]", "c3 IDLE"}},

    // 0x33 CO call connected
    {"33_connected_moves_to_co", {{"  21", CONNECTED}}, 0x33, "  21 120301234",
     {"c1 CALLINFO CALLERID|CONNECTEDID"},
     {"c1 CONNECTED [ 12] caller=0301234/CO012 connected=0301234/CO012"}},
    {"33_held_reconnected", {{"  21", ONHOLD}}, 0x33, "  21 12",
     {"c1 CALLSTATE CONNECTED", "c1 CALLINFO CONNECTEDID|REDIRECTINGID"},
     {"c1 CONNECTED [  21] connected=/CO012 redirecting=21/STA21"}},

    // 0x35 outgoing station call progress
    {"35_answered_from_ringback", {{"  21", RINGBACK}}, 0x35, "1  21",
     {"c1 CALLSTATE CONNECTED"}, {"c1 CONNECTED [  21]"}},
    {"35_answered_needs_ringback_or_busy", {{"  21", OFFERING}}, 0x35, ":  21", {}, {"c1 OFFERING [  21]"}},
    {"35_key_given", {{"", 0}}, 0x35, "<  21", {}, {"c1 0 [  21]"}},
    {"35_redirection", {{"  21", RINGBACK}}, 0x35, "-  21",
     {"c1 CALLINFO REDIRECTIONID"}, {"c1 RINGBACK [  21] redirection=21/STA21"}},
    {"35_transfer_rings", {{"  21", CONNECTED}}, 0x35, "=  21", {"c1 CALLSTATE RINGBACK"}, {"c1 RINGBACK [  21]"}},
    {"35_out_on_co", {{"", 0}}, 0x35, "O 12 ", {"c1 CALLSTATE RINGBACK"}, {"c1 RINGBACK [ 12] called=/CO012"}},

    // 0x36 paging and answer progress
    {"36_paging_started", {}, 0x36, "M",
     {"c1 NEWCALL", "c1 CALLSTATE CONNECTED", "c1 CALLINFO CONNECTEDID"}, {"c1 CONNECTED [PAGE]"}},
    {"36_called_party", {{"  21", RINGBACK}}, 0x36, "!  21  22",
     {"c1 CALLINFO CALLEDID", "c1 CALLINFO CONNECTEDID"},
     {"c1 RINGBACK [  21] called=22/STA22 connected=22/STA22"}},
    {"36_message_waiting", {{"  21", RINGBACK}}, 0x36, ",  21",
     {"c1 CALLSTATE DISCONNECTED mode=0x1", "DEVSPECIFIC 5,0,0", "c1 CALLINFO CONNECTEDID"}, {"c1 DISCONNECTED"}},
    {"36_transfer_connected", {{"  21", RINGBACK}}, 0x36, "=  21",
     {"c1 CALLSTATE CONNECTED", "c1 CALLINFO CONNECTEDID"}, {"c1 CONNECTED [  21]"}},
    {"36_other_connected", {{"  21", RINGBACK}}, 0x36, "x  21",
     {"c1 CALLSTATE CONNECTED", "c1 CALLINFO CONNECTEDID"}, {"c1 CONNECTED [  21]"}},
    {"36_unknown_call_announced", {}, 0x36, "x  21",
     {"c1 NEWCALL", "c1 CALLINFO CALLERID", "c1 CALLSTATE CONNECTED", "c1 CALLINFO CONNECTEDID"},
     {"c1 CONNECTED [  21] caller=21/STA21"}},

    // 0x37 outgoing CO call progress
    {"37_dialtone_call_connects", {{"000", DIALTONE}}, 0x37, "! 120301234",
     {"c1 CALLSTATE CONNECTED"}, {"c1 CONNECTED [ 12] called=0301234/CO012 connected=0301234/CO012"}},
    {"37_busy_trunk", {{"000", DIALTONE}}, 0x37, "J 12",
     {"c1 CALLSTATE BUSY mode=0x2"}, {"c1 BUSY [ 12] called=/CO012 connected=/CO012"}},
    {"37_already_connected", {{" 12", CONNECTED}}, 0x37, "! 12", {}, {"c1 CONNECTED [ 12]"}},

    // 0x38 put on hold
    {"38_connected_held", {{" 12", CONNECTED}}, 0x38, " 12", {"c1 CALLSTATE ONHOLD"}, {"c1 ONHOLD [ 12]"}},
    {"38_ringback_ignored", {{" 12", RINGBACK}}, 0x38, " 12", {}, {"c1 RINGBACK [ 12]"}},

    // 0x39 hold / consultation progress
    {"39_consultation", {{"  21", CONNECTED}}, 0x39, "  21#",
     {"c1 CALLSTATE ONHOLD", "c2 NEWCALL", "c2 CALLSTATE DIALTONE"}, {"c1 ONHOLD [  21]", "c2 DIALTONE [000]"}},
    {"39_hold", {{"  21", CONNECTED}}, 0x39, "  21$", {"c1 CALLSTATE ONHOLD"}, {"c1 ONHOLD [  21]"}},
    {"39_confirm_connected", {{"  21", CONNECTED}}, 0x39, "  21!", {}, {"c1 CONNECTED [  21]"}},
    // A CO call: its three characters first, then a blank.
    {"39_consultation_on_co_call", {{" 12", CONNECTED, kRoleOrdinary, PartyKind::Co}}, 0x39, " 12 #",
     {"c1 CALLSTATE ONHOLD", "c2 NEWCALL", "c2 CALLSTATE DIALTONE"}, {"c1 ONHOLD [ 12]", "c2 DIALTONE [000]"}},
    {"39_station_number_is_no_co_line", {{"  2", CONNECTED, kRoleOrdinary, PartyKind::Co}}, 0x39, "  21$", {},
     {"c1 CONNECTED [  2]"}},

    // 0x3A ringback
    {"3A_ringback", {{"  21", 0}}, 0x3A, "  21", {"c1 CALLSTATE RINGBACK"}, {"c1 RINGBACK [  21]"}},

    // 0x3C station feature status
    {"3C_dnd_on_drops_offered", {{"  21", OFFERING}}, 0x3C, "%!",
     {"c1 CALLSTATE IDLE", "ADDRESSSTATE FORWARD", "DEVSPECIFIC 6,1,1"}, {"c1 IDLE"}},
    {"3C_dnd_off", {}, 0x3C, "%\"", {"ADDRESSSTATE FORWARD", "DEVSPECIFIC 6,1,0"}, {}},
    {"3C_forward_station", {}, 0x3C, "&!  22", {"ADDRESSSTATE FORWARD"}, {}},
    {"3C_forward_off", {}, 0x3C, "&(", {"ADDRESSSTATE FORWARD"}, {}},
    {"3C_forward_voice_unit_uncond", {}, 0x3C, "&,", {"ADDRESSSTATE FORWARD", "DEVSPECIFIC 6,2,1"}, {}},
    {"3C_forward_voice_unit_busyna", {}, 0x3C, "&/", {"ADDRESSSTATE FORWARD", "DEVSPECIFIC 6,2,4"}, {}},
    {"3C_forward_unknown_value", {}, 0x3C, "&Z", {}, {}},
    {"3C_indicator_15_on", {}, 0x3C, "*!", {"DEVSPECIFIC 15,0,1"}, {}},
    {"3C_indicator_15_off", {}, 0x3C, "*\"", {"DEVSPECIFIC 15,0,0"}, {}},
    {"3C_message_count", {}, 0x3C, ",#", {"DEVSPECIFIC 5,1,3"}, {}},
    {"3C_indicator_17_on", {}, 0x3C, "6!", {"DEVSPECIFIC 17,1,0"}, {}},
    {"3C_off_hook_dialtone", {}, 0x3C, "7",
     {"c1 NEWCALL", "c1 CALLSTATE DIALTONE"}, {"c1 DIALTONE [000]"}},
    {"3C_off_hook_with_held_call", {{"  21", ONHOLD}}, 0x3C, "7", {}, {"c1 ONHOLD [  21]"}},
    {"3C_on_hook_not_in_use", {{"000", DIALTONE}}, 0x3C, "8", {}, {"c1 DIALTONE [000]"}},
    {"3C_own_index", {}, 0x3C, "9", {"DEVSPECIFIC 8,5,69"}, {}},
    {"3C_completion_number", {}, 0x3C, "(!  21", {"DEVSPECIFIC 4,1,21"}, {}},
    {"3C_completion_number_failed", {}, 0x3C, "(\"  21", {"DEVSPECIFIC 4,0,21"}, {}},
    {"3C_completion_name_ignored", {}, 0x3C, "(!NBob", {}, {}},

    // 0x40 system notice, 0x41 park slot, 0x44 indicator
    {"40_station_notice", {}, 0x40, "5", {"DEVSPECIFIC 255,1,0"}, {}},
    {"40_system_notice", {}, 0x40, "8", {"DEVSPECIFIC 255,2,0", "PHONE_DEVSPECIFIC 255,2,0"}, {}},
    {"41_park_slot", {}, 0x41, "  10EMP", {"DEVSPECIFIC 18,538980656,4541776"}, {}},
    {"44_on", {}, 0x44, "!", {"DEVSPECIFIC 16,1,0"}, {}},
    {"44_off", {}, 0x44, "\"", {"DEVSPECIFIC 16,0,0"}, {}},

    // 0x42 call information update
    {"42_called", {{" 12", CONNECTED}}, 0x42, " 12\x84  21",
     {"c1 CALLINFO CALLEDID"}, {"c1 CONNECTED [ 12] called=21/STA21"}},
    {"42_redirecting_name", {{" 12", CONNECTED}}, 0x42, " 12\x80Nboss",
     {"c1 CALLINFO REDIRECTINGID"}, {"c1 CONNECTED [ 12] redirecting=/boss"}},
    {"42_redirecting_co", {{" 12", CONNECTED}}, 0x42, " 12\x85  7",
     {"c1 CALLINFO REDIRECTINGID"}, {"c1 CONNECTED [ 12] redirecting=7/CO007"}},
    {"42_unknown_kind", {{" 12", CONNECTED}}, 0x42, " 12\x90x", {}, {"c1 CONNECTED [ 12]"}},

    // 0x45 outgoing call result
    {"45_connected", {{"", 0}}, 0x45, "!\"  21",
     {"c1 CALLSTATE CONNECTED", "c1 CALLINFO CALLEDID|CONNECTEDID"},
     {"c1 CONNECTED [  21] called=21/STA21 connected=21/STA21"}},
    {"45_ringing", {{"", 0}}, 0x45, "!!  21", {"c1 CALLSTATE RINGBACK", "c1 CALLINFO CALLEDID"},
     {"c1 RINGBACK [  21] called=21/STA21"}},
    {"45_ringing_second_number", {{"", 0}}, 0x45, "!=  21  22", {"c1 CALLSTATE RINGBACK", "c1 CALLINFO CALLEDID"},
     {"c1 RINGBACK [  22] called=22/STA22"}},
    {"45_other_sub_prefers_second_number", {{"", 0}}, 0x45, "!P  21  22",
     {"c1 CALLSTATE RINGBACK", "c1 CALLINFO CALLEDID"}, {"c1 RINGBACK [  22] called=22/STA22"}},
    {"45_message_waiting", {{"", 0}}, 0x45, "!,  21",
     {"c1 CALLSTATE DISCONNECTED mode=0x1", "DEVSPECIFIC 5,0,0"}, {"c1 DISCONNECTED"}},
    {"45_dialled_busy_call", {{"  21", BUSY}}, 0x45, "!6  21", {"c1 CALLSTATE RINGBACK"}, {"c1 RINGBACK [  21]"}},
    {"45_out_on_co", {{"", 0}}, 0x45, "!D 12 ",
     {"c1 CALLSTATE RINGBACK", "c1 CALLINFO REDIRECTIONID"}, {"c1 RINGBACK [ 12] redirection=/CO012"}},
    {"45_busy", {{"", 0}}, 0x45, "\"\"  21", {"c1 CALLSTATE BUSY mode=0x1", "c1 CALLINFO CALLEDID"},
     {"c1 BUSY called=21/STA21"}},
    {"45_busy_refused", {{"", 0}}, 0x45, "\"%  21", {"c1 CALLSTATE BUSY mode=0x10000", "c1 CALLINFO CALLEDID"},
     {"c1 BUSY called=21/STA21"}},
    {"45_failed_idle", {{"", 0}}, 0x45, "\",  21", {"c1 CALLSTATE IDLE"}, {"c1 IDLE"}},
    {"45_failed_other", {{"", 0}}, 0x45, "\"Z  21", {"c1 CALLSTATE DISCONNECTED"}, {"c1 DISCONNECTED"}},
    {"45_no_call_creates_one", {}, 0x45, "!!  21",
     {"c1 NEWCALL", "c1 CALLSTATE RINGBACK", "c1 CALLINFO CALLEDID"}, {"c1 RINGBACK [  21] called=21/STA21"}},
    {"45_blind_transfer_sends_complete", {{"", 0, kRoleBlindTransfer}}, 0x45, "!!  21", {}, {"c1 0"}},

    // 0x46 outgoing CO call result
    {"46_ringing", {{"000", DIALTONE}}, 0x46, "!x 120301234",
     {"c1 CALLSTATE RINGBACK", "c1 CALLINFO CALLEDID"}, {"c1 RINGBACK [ 12] called=0301234/CO012"}},
    {"46_busy_trunk", {{"000", DIALTONE}}, 0x46, "\"\" 12",
     {"c1 CALLSTATE RINGBACK", "c1 CALLSTATE BUSY mode=0x2", "c1 CALLINFO CALLEDID"}, {"c1 BUSY [ 12] called=/CO012"}},
    {"46_bad_address", {{"000", DIALTONE}}, 0x46, "\"/ 12",
     {"c1 CALLSTATE RINGBACK", "c1 CALLSTATE DISCONNECTED mode=0x80", "c1 CALLINFO CALLEDID"},
     {"c1 DISCONNECTED called=/CO012"}},
    {"46_rejected", {{"000", DIALTONE}}, 0x46, "\"; 12",
     {"c1 CALLSTATE RINGBACK", "c1 CALLSTATE DISCONNECTED mode=0x4", "c1 CALLINFO CALLEDID"},
     {"c1 DISCONNECTED called=/CO012"}},
    {"46_normal", {{"000", DIALTONE}}, 0x46, "\"C 12",
     {"c1 CALLSTATE RINGBACK", "c1 CALLSTATE DISCONNECTED mode=0x1", "c1 CALLINFO CALLEDID"},
     {"c1 DISCONNECTED called=/CO012"}},
    {"46_no_call", {}, 0x46, "!x 12",
     {"c1 NEWCALL", "c1 CALLSTATE RINGBACK", "c1 CALLINFO CALLEDID"}, {"c1 RINGBACK [ 12] called=/CO012"}},
    {"46_unknown_dir_ignored", {{"000", DIALTONE}}, 0x46, "Zx 12", {}, {"c1 DIALTONE [000]"}},

    // 0x47 held call reconnected
    {"47_held_connects", {{"", ONHOLD}}, 0x47, "  21", {"c1 CALLSTATE CONNECTED"}, {"c1 CONNECTED [  21]"}},
    {"47_the_named_held_call_connects", {{"  21", ONHOLD}, {"  22", ONHOLD}}, 0x47, "  22",
     {"c2 CALLSTATE CONNECTED"}, {"c1 ONHOLD [  21]", "c2 CONNECTED [  22]"}},

    // 0x4A short message
    {"4A_stored", {}, 0x4A, "  21hello", {"DEVSPECIFIC 34,0,0"}, {}},

    // 0x4B conference formed, 0x4C split
    {"4B_formed", {{"  21", CONNECTED}}, 0x4B, "",
     {"c1 CALLSTATE CONFERENCED", "c2 NEWCALL", "c2 CALLSTATE ONHOLDPENDCONF", "c3 NEWCALL", "c3 CALLSTATE DIALTONE"},
     {"c1 CONFERENCED [  21]", "c2 ONHOLDPENDCONF", "c3 DIALTONE [000]"}},
    {"4B_controller_waits", {{"", CONNECTED, CONTROLLER}}, 0x4B, "",
     {"c1 CALLSTATE ONHOLDPENDCONF", "c2 NEWCALL", "c2 CALLSTATE DIALTONE"}, {"c1 ONHOLDPENDCONF", "c2 DIALTONE [000]"}},
    // The PBX's answer to 0x72: the controller leaves its members conferenced
    // and the consultation TAPI asked for gets dial tone.
    {"4B_controller_steps_out_to_add",
     {{"  21", CONFERENCED}, {"  22", CONFERENCED}, {"", CONNECTED, CONTROLLER}, {"", 0, kRoleConferenceMember}},
     0x4B, "", {"c3 CALLSTATE ONHOLDPENDCONF", "c4 CALLSTATE DIALTONE"},
     {"c1 CONFERENCED [  21]", "c2 CONFERENCED [  22]", "c3 ONHOLDPENDCONF", "c4 DIALTONE [000]"}},
    {"4B_conference_exists", {{"  21", CONFERENCED}, {"", PENDCONF, CONTROLLER}, {"  22", CONNECTED}}, 0x4B, "", {},
     {"c1 CONFERENCED [  21]", "c2 ONHOLDPENDCONF", "c3 CONNECTED [  22]"}},
    {"4C_split", {{"", PENDCONF, CONTROLLER}, {"  21", CONFERENCED}, {"  22", CONNECTED}}, 0x4C, "",
     {"c1 CALLSTATE CONNECTED", "c3 CALLSTATE CONFERENCED"},
     {"c1 CONNECTED", "c2 CONFERENCED [  21]", "c3 CONFERENCED [  22]"}},
    {"4C_split_last_member", {{"", PENDCONF, CONTROLLER}, {"  22", CONNECTED}}, 0x4C, "",
     {"c1 CALLSTATE CONNECTED", "c2 CALLSTATE CONFERENCED", "c2 CALLSTATE CONNECTED", "c1 CALLSTATE IDLE"},
     {"c1 IDLE", "c2 CONNECTED [  22]"}},
};

void PrintTo(const EventCase& c, std::ostream* os) { *os << c.name; }

class EventTable : public ModelFixture, public ::testing::WithParamInterface<EventCase> {};

TEST_P(EventTable, RaisesAndLeaves) {
    const EventCase& c = GetParam();
    setUpCalls(c.before);
    feed(c.code, c.data);
    EXPECT_EQ(events.log, c.raised);
    EXPECT_EQ(calls(), c.after);
}

TEST_P(EventTable, EveryShorterPayloadStaysInside) {
    // Each prefix of the frame in a buffer of exactly its size: a read past
    // the data is caught by the sanitizer, and nothing may crash.
    const EventCase& c = GetParam();
    setUpCalls(c.before);
    for (std::size_t n = 0; n < c.data.size(); ++n) {
        const std::vector<char> exact(c.data.begin(), c.data.begin() + static_cast<long>(n));
        link::CtiMessage m;
        m.station = kOwnIndex;
        m.code = c.code;
        m.data = {reinterpret_cast<const std::uint8_t*>(exact.data()), exact.size()};
        model.onEvent(m);
    }
}

TEST_P(EventTable, StationWithoutOpenLineIgnored) {
    const EventCase& c = GetParam();
    model.stations().at(6)->number = "  21";
    feed(c.code, c.data, 6);
    feed(c.code, c.data, 1000);
    // Only the events that speak to every open line reach the open one.
    for (const std::string& raised : events.log) {
        EXPECT_TRUE(raised.starts_with("DEVSPECIFIC 255,2") || raised.starts_with("PHONE_") ||
                    raised.starts_with("DEVSPECIFIC 18,"))
            << raised;
    }
}

INSTANTIATE_TEST_SUITE_P(Events, EventTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor::core::testing
