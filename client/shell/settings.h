#pragma once

#include <array>
#include <string>

#include "client/shell/text_catalogue.h"

namespace velkor::platform {
class Registry;
}

namespace velkor::client {

// The client's profile in the registry: every setting lives under
// HKEY_CURRENT_USER\Software\<kRegistryKeyName>\<kProfileName>\<section>.
inline constexpr char kRegistryKeyName[] = "Ostrel Pellix click";
inline constexpr char kProfileName[] = "Caldra";
// "Software\Ostrel Pellix click\Caldra"
std::string profileKey();
// "Software\Ostrel Pellix click\Caldra\<section>"
std::string profileSectionKey(const char* section);

// The address book has 20 column records; only the first 15 are stored.
inline constexpr int kAddressColumnCount = 20;
inline constexpr int kStoredAddressColumns = 15;
// Columns 0 (check box), 1 (first name) and 2 (last name) are always shown.
inline constexpr int kAlwaysVisibleColumns = 3;

struct AddressColumn {
    bool bVisible;
    int nWidth;
};

inline constexpr char kDefaultColumnInfo[] = "TTTTTTTTTTTTTTTTTTTF";
// "0040" followed by nineteen "0100".
std::string defaultColumnInfoLen();
inline constexpr char kDefaultMainWnd[] = "08000604";
inline constexpr int kDefaultMainWidth = 800;
inline constexpr int kDefaultMainHeight = 604;

// Persisted settings, loaded at start-up and written back at exit. Every
// part of the client reads and changes them directly; nothing is written
// before exit.

// "OPTION"
extern int g_nPopupWindowKind;     // 0 main window, 2 centre popup, 3 simple popup
extern int g_nDisplayTimingKind;   // 0 on offering, 1 on connect, 2 never
extern bool g_bOwnAddress;
extern bool g_bOutlookAddress;
extern bool g_bEmailNotification;
extern bool g_bExcelSpreadSheet;
extern std::string g_strDefaultFolder;
// "CUSTOMIZE"
extern std::string g_strVipSound;
extern std::string g_strNormalSound;
extern std::string g_strBlackSound;
extern int g_nFilteringKind;       // 0 sound only, 1 DND key, 2 voice mailbox
extern bool g_bAutoOutlookStart;
extern bool g_bOutlookMailClient;
extern bool g_bAutoScheduleImport;
extern int g_nScheduleImportGap;
extern bool g_bInternalIncoming;
extern bool g_bInternalOutgoing;
extern bool g_bExternalIncoming;
extern bool g_bExternalOutgoing;
extern int g_nLogViewCount;
// "STATION"
extern int g_nStationDisplayType;
// "LOGVIEW"
extern bool g_bLogViewRecord;
// "ADDRESS" g_ColumnInfo and g_ColumnInfoLen: visibility and width of every
// address-book column, in logical order.
extern std::array<AddressColumn, kAddressColumnCount> g_ColumnInfo;
// "BOTTOM"
extern int g_nBottomIndexWhichOne;
// "MAINWND": width and height of the main window.
struct MainWindowSize {
    int nWidth;
    int nHeight;
};
extern MainWindowSize g_rectMainWnd;
// "MAXIZE", "SIMPLE"
extern bool g_bMaximize;
extern bool g_bSimpleMode;
// "LANGUAGE" g_nLanguageMode lives with the catalogue.
// "PATH"
extern std::string g_strOutlookPath;
// "FILTERCODE"
extern std::string g_strNationCode;
extern std::string g_strInternationCode;
inline constexpr int kFilterNumCount = 9;
extern std::array<std::string, kFilterNumCount> g_strFilterNum;

// Process-wide values set at start-up that are not stored.
extern std::string g_strUnknownName;         // text of "#:name_unknown"
extern bool g_bIdle;                         // no call in progress on the own station
extern bool g_bOutlookConnected;             // the PIM connection is up
extern bool g_bFullStationStatusRequest;     // the station board wants a full status
inline constexpr char kVersionDesignator[] = "TRAMO - 1.0Bi";
extern std::string g_strVersion;

// Reads every setting from the profile, with its default where a value is
// missing or of the wrong type. The language used at start is always the
// first column, whatever was stored.
void loadSettings(const platform::Registry& registry);
// Writes every setting to the profile; false when a value could not be
// written (the others are still written).
bool saveSettings(platform::Registry& registry);

// The stored forms of the column table and the window size.
std::string formatColumnInfo();
std::string formatColumnInfoLen();
std::string formatMainWnd();

// The decimal value of the leading digits of the `count` characters at
// `offset` (0 when there are none, or the text is shorter).
int leadingDecimal(const std::string& text, std::size_t offset, std::size_t count);

}  // namespace velkor::client
