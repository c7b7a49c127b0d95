#pragma once

// Resource numbers of the client: dialogs, controls, commands, icons,
// bitmaps and strings. The numbers are the client's own and never change;
// a window gives each of its controls the control's number as object name.
// Icons and bitmaps are numbered separately (an icon and a bitmap may share
// a number) and live in the Qt resource file as ":/icons/<n>.svg" and
// ":/bitmaps/<n>.svg".

namespace velkor::client {

// Standard dialog answers and buttons.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// ---- Dialogs and dialog bars -------------------------------------------
inline constexpr int IDD_ABOUTBOX = 100;          // CAboutDlg
inline constexpr int IDD_CALDRA_FORM = 102;       // CCaldraView
inline constexpr int IDD_FIELD_OPTION = 103;      // CFieldOptionDlg
inline constexpr int IDD_CALL_POPUP = 105;        // CCallPopupDlg
inline constexpr int IDD_OUTLOOK_FOLDER = 106;    // COutlookFolderDlg
inline constexpr int IDD_MY_INFORMATION = 112;
inline constexpr int IDD_STATION_EDIT = 114;      // CStationEditDlg
inline constexpr int IDD_KEYPAD = 115;            // CKeyPadDlg
inline constexpr int IDD_VMIB = 117;              // CVmibDlg
inline constexpr int IDD_FLEX_BTN = 118;          // CFlexBtnDlg
inline constexpr int IDD_ALERT = 119;             // CAlertDlg
inline constexpr int IDD_SEARCH_RESULT = 120;
inline constexpr int IDD_CONFERENCE = 121;        // CConferenceDlg
inline constexpr int IDD_DIAL_RESERVE = 122;      // CDialReserveDlg
inline constexpr int IDD_DIAL_CONFIRM = 123;      // CDialConfirmDlg
inline constexpr int IDD_PROGRESS = 124;          // CProgressDlg
inline constexpr int IDD_MEMO = 125;              // CMemoWnd
inline constexpr int IDD_SHORTCUT = 126;
inline constexpr int IDR_MAINFRAME = 128;         // menu, accelerators, icon, top dialog bar
inline constexpr int IDD_BOTTOM_BAR = 130;
inline constexpr int IDD_TAB_AREA = 135;
inline constexpr int IDD_CALL_PANE = 137;         // CCallPane
inline constexpr int IDD_CALLER_INFO = 140;       // CCallerInfoWnd
inline constexpr int IDD_STATION_INFO = 143;      // CStationInfoView
inline constexpr int IDD_ADDRESS_BOOK = 145;      // CAddressBookView
inline constexpr int IDD_LOG_VIEW = 148;          // CLogView
inline constexpr int IDD_SCHEDULE = 150;          // CScheduleView
inline constexpr int IDD_MIDDLE = 151;            // CMiddleDlg
inline constexpr int IDD_RECEIVED_MSG = 212;      // CReceivedMsgDlg
inline constexpr int IDD_SIMPLE_POPUP = 214;      // CSimplePopupDlg
inline constexpr int IDD_DEFAULT_FOLDER = 215;    // CDefaultFolderDlg
inline constexpr int IDD_STATION_CHOOSER = 220;
inline constexpr int IDD_NETWORK_ERROR = 221;
inline constexpr int IDD_MSG_WAIT = 228;          // CMsgWaitDlg
inline constexpr int IDD_NETWORK_DIAL = 229;

// ---- Controls --------------------------------------------------------
inline constexpr int IDC_ABOUT_COMPANY = 1037;    // About box: company line
inline constexpr int IDC_ALERT_TEXT = 1164;       // alert box: the message line
inline constexpr int IDC_ALERT_PICTURE = 169;     // alert box: bitmap 169
inline constexpr int IDC_ABOUT_MODEL = 1311;      // About box: program and version
inline constexpr int IDC_ABOUT_COPYRIGHT = 1312;  // About box: copyright line
inline constexpr int IDC_ABOUT_ICON = 128;        // About box: program icon
inline constexpr int IDC_TOP_LOGO = 1317;         // top dialog bar: logo bitmap 227

// ---- Commands ----------------------------------------------------------
// Top toolbar
inline constexpr int ID_MY_STATUS = 32773;
inline constexpr int ID_SHORTCUT = 32775;
inline constexpr int ID_EMAIL = 32776;
inline constexpr int ID_OUTLOOK = 32777;
inline constexpr int ID_SIMPLE_MODE = 32778;
inline constexpr int ID_PRINT = 32779;
inline constexpr int ID_EXIT_BUTTON = 32780;
// Bottom toolbar
inline constexpr int ID_KEYPAD = 32774;
inline constexpr int ID_TRANSFER = 32781;
inline constexpr int ID_HOLD = 32782;
inline constexpr int ID_PARK = 32783;
inline constexpr int ID_CONFERENCE = 32784;
inline constexpr int ID_ACNR = 32785;
inline constexpr int ID_FORWARD = 32786;
inline constexpr int ID_DND = 32787;
inline constexpr int ID_MONITOR = 32820;
// File menu
inline constexpr int ID_IMPORT_OUTLOOK = 32795;
inline constexpr int ID_IMPORT_GOLDMINE = 32796;
inline constexpr int ID_IMPORT_ACT = 32797;
inline constexpr int ID_IMPORT_ACCESS = 32798;
inline constexpr int ID_IMPORT_EXCEL = 32799;
inline constexpr int ID_NEWDB_EXCEL = 32807;
inline constexpr int ID_NEWDB_ACCESS = 32808;
inline constexpr int ID_EXPORT_OUTLOOK = 32811;
inline constexpr int ID_EXPORT_GOLDMINE = 32812;
inline constexpr int ID_EXPORT_ACT = 32813;
inline constexpr int ID_EXPORT_EXCEL = 32814;
inline constexpr int ID_EXPORT_ACCESS = 32815;
inline constexpr int ID_FILE_PRINT_SETUP = 57606;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_APP_EXIT = 57665;
// Program menu
inline constexpr int ID_PROGRAM_FORWARD = 32790;
inline constexpr int ID_LANGUAGE_LOCAL = 32803;
inline constexpr int ID_LANGUAGE_ENGLISH = 32804;
inline constexpr int ID_PROGRAM_VMIB = 32833;
inline constexpr int ID_PROGRAM_FLEX_BTN = 32835;
inline constexpr int ID_PROGRAM_TSP = 32841;
inline constexpr int ID_PROGRAM_RECEIVED_MESSAGE = 32843;
// Tools menu
inline constexpr int ID_TOOLS_CUSTOMIZE = 32788;
inline constexpr int ID_TOOLS_OPTION = 32801;
inline constexpr int ID_ALWAYS_ON_TOP = 32821;
inline constexpr int ID_OUTLOOK_LAUNCH = 32837;
inline constexpr int ID_SHORTCUT_DISPLAY = 32838;
inline constexpr int ID_TASK_TRAY = 32846;
// Help menu
inline constexpr int ID_APP_ABOUT = 57664;
// Address book context menu
inline constexpr int ID_ADDR_FIELD_OPTION = 32822;
inline constexpr int ID_ADDR_EDIT = 32824;
inline constexpr int ID_ADDR_REGISTER = 32825;
inline constexpr int ID_ADDR_DELETE = 32826;
inline constexpr int ID_ADDR_DIAL_RESERVE = 32840;
inline constexpr int ID_ADDR_EMAIL = 32845;
inline constexpr int ID_ADDR_CHECK_ALL = 32849;
inline constexpr int ID_ADDR_UNCHECK_ALL = 32850;
// Station context menu
inline constexpr int ID_STATION_EDIT = 32830;
inline constexpr int ID_STATION_GET_SCHEDULE = 32832;
inline constexpr int ID_STATION_DIAL_RESERVE = 32839;
inline constexpr int ID_STATION_EMAIL = 32844;
inline constexpr int ID_STATION_HIDE = 32847;
inline constexpr int ID_STATION_SHOW_HIDDEN = 32848;
// Call log and schedule context menus
inline constexpr int ID_LOG_DELETE = 32836;
inline constexpr int ID_LOG_DELETE_ALL = 32851;
inline constexpr int ID_SCHEDULE_DELETE = 32852;
inline constexpr int ID_SCHEDULE_DELETE_ALL = 32853;

// ---- Icons -------------------------------------------------------------
inline constexpr int IDI_MAINFRAME = IDR_MAINFRAME;
inline constexpr int IDI_TOP_MYSTATUS = 141;
inline constexpr int IDI_TOP_EMAIL = 145;
inline constexpr int IDI_TOP_OUTLOOK = 146;
inline constexpr int IDI_TOP_EXIT = 149;
inline constexpr int IDI_STATION_IDLE = 155;
inline constexpr int IDI_FOLDER_CONTACT = 157;
inline constexpr int IDI_FOLDER_CONTACT_SELECTED = 158;
inline constexpr int IDI_POPUP_SHOW_MAIN = 166;
inline constexpr int IDI_POPUP_CLOSE = 167;
inline constexpr int IDI_STATION_BUSY = 169;
inline constexpr int IDI_STATION_DND = 172;
inline constexpr int IDI_STATION_OTHER = 173;
inline constexpr int IDI_BOTTOM_DND = 182;
inline constexpr int IDI_BOTTOM_FORWARD = 184;
inline constexpr int IDI_BOTTOM_MONITOR = 185;
inline constexpr int IDI_CONTACT_VIP = 190;
inline constexpr int IDI_CONTACT_BLACK = 191;
inline constexpr int IDI_CONTACT_NORMAL = 192;
inline constexpr int IDI_FOLDER = 193;
inline constexpr int IDI_FOLDER_CALENDAR = 194;
inline constexpr int IDI_FOLDER_CALENDAR_SELECTED = 195;
inline constexpr int IDI_LOG_IN_INTERNAL = 196;
inline constexpr int IDI_LOG_IN_EXTERNAL = 197;
inline constexpr int IDI_LOG_HEADER_DIRECTION = 199;
inline constexpr int IDI_LOG_MISSED_EXTERNAL = 200;
inline constexpr int IDI_LOG_MISSED_INTERNAL = 201;
inline constexpr int IDI_LOG_OUT_EXTERNAL = 202;
inline constexpr int IDI_LOG_OUT_INTERNAL = 203;
inline constexpr int IDI_LOG_HEADER_DURATION = 204;
inline constexpr int IDI_LOG_HEADER_ANSWERED = 205;
inline constexpr int IDI_LOG_RECORD_ON = 207;
inline constexpr int IDI_LOG_RECORD_OFF = 208;
inline constexpr int IDI_BOTTOM_KEYPAD = 210;
inline constexpr int IDI_BOTTOM_ACNR = 211;
inline constexpr int IDI_TRAY = 213;
inline constexpr int IDI_TRAY_MISSED = 214;
inline constexpr int IDI_BOTTOM_HOLD = 215;
inline constexpr int IDI_BOTTOM_PARK = 216;
inline constexpr int IDI_BOTTOM_TRANSFER = 217;
inline constexpr int IDI_BOTTOM_CONFERENCE = 218;
inline constexpr int IDI_STATION_NO_LINE = 219;
inline constexpr int IDI_POPUP_NEW_CONTACT = 220;
inline constexpr int IDI_TOP_SHORTCUT = 222;

inline constexpr int kIconIds[] = {
    IDI_MAINFRAME, IDI_TOP_MYSTATUS, IDI_TOP_EMAIL, IDI_TOP_OUTLOOK, IDI_TOP_EXIT,
    IDI_STATION_IDLE, IDI_FOLDER_CONTACT, IDI_FOLDER_CONTACT_SELECTED, IDI_POPUP_SHOW_MAIN,
    IDI_POPUP_CLOSE, IDI_STATION_BUSY, IDI_STATION_DND, IDI_STATION_OTHER, IDI_BOTTOM_DND,
    IDI_BOTTOM_FORWARD, IDI_BOTTOM_MONITOR, IDI_CONTACT_VIP, IDI_CONTACT_BLACK,
    IDI_CONTACT_NORMAL, IDI_FOLDER, IDI_FOLDER_CALENDAR, IDI_FOLDER_CALENDAR_SELECTED,
    IDI_LOG_IN_INTERNAL, IDI_LOG_IN_EXTERNAL, IDI_LOG_HEADER_DIRECTION, IDI_LOG_MISSED_EXTERNAL,
    IDI_LOG_MISSED_INTERNAL, IDI_LOG_OUT_EXTERNAL, IDI_LOG_OUT_INTERNAL, IDI_LOG_HEADER_DURATION,
    IDI_LOG_HEADER_ANSWERED, IDI_LOG_RECORD_ON, IDI_LOG_RECORD_OFF, IDI_BOTTOM_KEYPAD,
    IDI_BOTTOM_ACNR, IDI_TRAY, IDI_TRAY_MISSED, IDI_BOTTOM_HOLD, IDI_BOTTOM_PARK,
    IDI_BOTTOM_TRANSFER, IDI_BOTTOM_CONFERENCE, IDI_STATION_NO_LINE, IDI_POPUP_NEW_CONTACT,
    IDI_TOP_SHORTCUT,
};

// ---- Bitmaps -----------------------------------------------------------
inline constexpr int IDB_CALL_STATION = 136;      // connected to a station
inline constexpr int IDB_TOP_PRINT = 144;
inline constexpr int IDB_CALL_OUTSIDE = 148;      // connected to an outside party
inline constexpr int IDB_CALL_RINGING = 149;      // ringing, ringing back, held inside the PBX
inline constexpr int IDB_CALL_HELD_OUTSIDE = 150;
inline constexpr int IDB_CALL_IDLE = 162;
inline constexpr int IDB_TOP_SIMPLE = 163;
inline constexpr int IDB_ALERT = 169;
inline constexpr int IDB_TRANSFER_SMALL = 197;    // white is transparent
inline constexpr int IDB_SHORTCUT_KEYS = 203;
inline constexpr int IDB_SHORTCUT_CTRL = 204;
inline constexpr int IDB_SHORTCUT_SHIFT = 205;
inline constexpr int IDB_TOP_NORMAL = 215;        // shown in simple mode
inline constexpr int IDB_CALL_DIAL_TONE = 223;
inline constexpr int IDB_CALL_BUSY = 224;
inline constexpr int IDB_SPLASH = 226;            // 401 x 301
inline constexpr int IDB_LOGO = 227;              // 88 x 28

inline constexpr int kBitmapIds[] = {
    IDB_CALL_STATION, IDB_TOP_PRINT, IDB_CALL_OUTSIDE, IDB_CALL_RINGING, IDB_CALL_HELD_OUTSIDE,
    IDB_CALL_IDLE, IDB_TOP_SIMPLE, IDB_ALERT, IDB_TRANSFER_SMALL, IDB_SHORTCUT_KEYS,
    IDB_SHORTCUT_CTRL, IDB_SHORTCUT_SHIFT, IDB_TOP_NORMAL, IDB_CALL_DIAL_TONE, IDB_CALL_BUSY,
    IDB_SPLASH, IDB_LOGO,
};

// ---- Strings -----------------------------------------------------------
inline constexpr int IDS_SOCKETS_INIT_FAILED = 104;
inline constexpr int IDS_APP_TITLE = 57344;
// The application title: window titles, the profile name.
inline constexpr char kAppTitle[] = "Caldra";
inline constexpr char kSocketsInitFailed[] = "Windows sockets initialization failed.";

}  // namespace velkor::client
