#include "client/shell/settings.h"

#include <algorithm>
#include <cstdio>

#include "platform/registry/registry.h"

namespace velkor::client {

using platform::Hive;
using platform::Registry;

int g_nPopupWindowKind = 2;
int g_nDisplayTimingKind = 0;
bool g_bOwnAddress = false;
bool g_bOutlookAddress = false;
bool g_bEmailNotification = false;
bool g_bExcelSpreadSheet = true;
std::string g_strDefaultFolder;
std::string g_strVipSound;
std::string g_strNormalSound;
std::string g_strBlackSound;
int g_nFilteringKind = 0;
bool g_bAutoOutlookStart = false;
bool g_bOutlookMailClient = false;
bool g_bAutoScheduleImport = false;
int g_nScheduleImportGap = 0;
bool g_bInternalIncoming = true;
bool g_bInternalOutgoing = true;
bool g_bExternalIncoming = true;
bool g_bExternalOutgoing = true;
int g_nLogViewCount = 20;
int g_nStationDisplayType = 1;
bool g_bLogViewRecord = true;
std::array<AddressColumn, kAddressColumnCount> g_ColumnInfo{};
int g_nBottomIndexWhichOne = 0;
MainWindowSize g_rectMainWnd{kDefaultMainWidth, kDefaultMainHeight};
bool g_bMaximize = false;
bool g_bSimpleMode = false;
std::string g_strOutlookPath;
std::string g_strNationCode;
std::string g_strInternationCode;
std::array<std::string, kFilterNumCount> g_strFilterNum;

std::string g_strUnknownName;
bool g_bIdle = true;
bool g_bOutlookConnected = false;
bool g_bFullStationStatusRequest = false;
std::string g_strVersion;

namespace {

// The widths and the window size are stored in four decimal digits each.
constexpr int kMaxStoredNumber = 9999;

class ProfileReader {
public:
    explicit ProfileReader(const Registry& registry) : m_registry(registry) {}

    int integer(const char* section, const char* name, int fallback) const {
        const auto value = m_registry.readDword(Hive::CurrentUser, profileSectionKey(section), name);
        return value ? static_cast<int>(*value) : fallback;
    }
    bool flag(const char* section, const char* name, bool fallback) const {
        return integer(section, name, fallback ? 1 : 0) != 0;
    }
    std::string text(const char* section, const char* name, const std::string& fallback = {}) const {
        const auto value = m_registry.readString(Hive::CurrentUser, profileSectionKey(section), name);
        return value ? *value : fallback;
    }

private:
    const Registry& m_registry;
};

class ProfileWriter {
public:
    explicit ProfileWriter(Registry& registry) : m_registry(registry) {}

    void integer(const char* section, const char* name, int value) {
        m_ok &= m_registry.writeDword(Hive::CurrentUser, profileSectionKey(section), name,
                                      static_cast<std::uint32_t>(value));
    }
    void flag(const char* section, const char* name, bool value) { integer(section, name, value ? 1 : 0); }
    void text(const char* section, const char* name, const std::string& value) {
        m_ok &= m_registry.writeString(Hive::CurrentUser, profileSectionKey(section), name, value);
    }
    bool ok() const { return m_ok; }

private:
    Registry& m_registry;
    bool m_ok = true;
};

std::string fourDigits(int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04d", std::clamp(value, 0, kMaxStoredNumber));
    return buffer;
}

std::string filterName(int i) {
    return "g_strFilterNum" + std::to_string(i);
}

}  // namespace

std::string profileKey() {
    return std::string("Software\\") + kRegistryKeyName + "\\" + kProfileName;
}

std::string profileSectionKey(const char* section) {
    return profileKey() + "\\" + section;
}

std::string defaultColumnInfoLen() {
    std::string text = "0040";
    for (int i = 1; i < kAddressColumnCount; ++i) text += "0100";
    return text;
}

int leadingDecimal(const std::string& text, std::size_t offset, std::size_t count) {
    int value = 0;
    for (std::size_t i = offset; i < offset + count && i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
    }
    return value;
}

void loadSettings(const Registry& registry) {
    const ProfileReader r(registry);

    g_nPopupWindowKind = r.integer("OPTION", "g_nPopupWindowKind", 2);
    // Kind 1 is no longer offered; it announces a call like the centre popup.
    if (g_nPopupWindowKind == 1) g_nPopupWindowKind = 2;
    g_nDisplayTimingKind = r.integer("OPTION", "g_nDisplayTimingKind", 0);
    g_bOwnAddress = r.flag("OPTION", "g_bOwnAddress", false);
    g_bOutlookAddress = r.flag("OPTION", "g_bOutlookAddress", false);
    g_bEmailNotification = r.flag("OPTION", "g_bEmailNotification", false);
    g_bExcelSpreadSheet = r.flag("OPTION", "g_bExcelSpreadSheet", true);
    g_strDefaultFolder = r.text("OPTION", "g_strDefaultFolder");

    g_strVipSound = r.text("CUSTOMIZE", "g_strVipSound");
    g_strNormalSound = r.text("CUSTOMIZE", "g_strNormalSound");
    g_strBlackSound = r.text("CUSTOMIZE", "g_strBlackSound");
    g_nFilteringKind = r.integer("CUSTOMIZE", "g_nFilteringKind", 0);
    g_bAutoOutlookStart = r.flag("CUSTOMIZE", "g_bAutoOutlookStart", false);
    g_bOutlookMailClient = r.flag("CUSTOMIZE", "g_bOutlookMailClient", false);
    g_bAutoScheduleImport = r.flag("CUSTOMIZE", "g_bAutoScheduleImport", false);
    g_nScheduleImportGap = r.integer("CUSTOMIZE", "g_nScheduleImportGap", 0);
    g_bInternalIncoming = r.flag("CUSTOMIZE", "g_bInternalIncoming", true);
    g_bInternalOutgoing = r.flag("CUSTOMIZE", "g_bInternalOutgoing", true);
    g_bExternalIncoming = r.flag("CUSTOMIZE", "g_bExternalIncoming", true);
    g_bExternalOutgoing = r.flag("CUSTOMIZE", "g_bExternalOutgoing", true);
    g_nLogViewCount = r.integer("CUSTOMIZE", "g_nLogViewCount", 20);

    g_nStationDisplayType = r.integer("STATION", "g_nStationDisplayType", 1);
    g_bLogViewRecord = r.flag("LOGVIEW", "g_bLogViewRecord", true);

    // The column records beyond the stored ones keep their defaults.
    const std::string lenDefault = defaultColumnInfoLen();
    for (int k = 0; k < kAddressColumnCount; ++k) {
        g_ColumnInfo[k].bVisible = kDefaultColumnInfo[k] == 'T';
        g_ColumnInfo[k].nWidth = leadingDecimal(lenDefault, 4 * k, 4);
    }
    const std::string info = r.text("ADDRESS", "g_ColumnInfo", kDefaultColumnInfo);
    const std::string widths = r.text("ADDRESS", "g_ColumnInfoLen", lenDefault);
    for (int k = 0; k < kStoredAddressColumns; ++k) {
        // A short string is not padded: a missing letter means hidden, a
        // missing width 0.
        const auto at = static_cast<std::size_t>(k);
        g_ColumnInfo[k].bVisible = k < kAlwaysVisibleColumns || (at < info.size() && info[at] == 'T');
        g_ColumnInfo[k].nWidth = leadingDecimal(widths, 4 * at, 4);
    }

    g_nBottomIndexWhichOne = r.integer("BOTTOM", "g_nBottomIndexWhichOne", 0);
    const std::string rect = r.text("MAINWND", "g_rectMainWnd", kDefaultMainWnd);
    g_rectMainWnd.nWidth = leadingDecimal(rect, 0, 4);
    g_rectMainWnd.nHeight = leadingDecimal(rect, 4, 4);
    g_bMaximize = r.flag("MAXIZE", "g_bMaximize", false);
    g_bSimpleMode = r.flag("SIMPLE", "g_bSimpleMode", false);

    // The stored language is read, but the client always starts in the first
    // column; the mode in use is stored again at exit.
    (void)r.integer("LANGUAGE", "g_nLanguageMode", 1);
    g_nLanguageMode = 1;

    g_strOutlookPath = r.text("PATH", "g_strOutlookPath");
    g_strNationCode = r.text("FILTERCODE", "g_strNationCode");
    g_strInternationCode = r.text("FILTERCODE", "g_strInternationCode");
    for (int i = 0; i < kFilterNumCount; ++i)
        g_strFilterNum[i] = r.text("FILTERCODE", filterName(i).c_str());
}

std::string formatColumnInfo() {
    std::string text;
    for (int k = 0; k < kStoredAddressColumns; ++k) text += g_ColumnInfo[k].bVisible ? 'T' : 'F';
    return text;
}

std::string formatColumnInfoLen() {
    std::string text;
    for (int k = 0; k < kStoredAddressColumns; ++k) text += fourDigits(g_ColumnInfo[k].nWidth);
    return text;
}

std::string formatMainWnd() {
    return fourDigits(g_rectMainWnd.nWidth) + fourDigits(g_rectMainWnd.nHeight);
}

bool saveSettings(Registry& registry) {
    ProfileWriter w(registry);

    w.integer("OPTION", "g_nPopupWindowKind", g_nPopupWindowKind);
    w.integer("OPTION", "g_nDisplayTimingKind", g_nDisplayTimingKind);
    w.flag("OPTION", "g_bOwnAddress", g_bOwnAddress);
    w.flag("OPTION", "g_bOutlookAddress", g_bOutlookAddress);
    w.flag("OPTION", "g_bEmailNotification", g_bEmailNotification);
    w.flag("OPTION", "g_bExcelSpreadSheet", g_bExcelSpreadSheet);

    w.text("CUSTOMIZE", "g_strVipSound", g_strVipSound);
    w.text("CUSTOMIZE", "g_strNormalSound", g_strNormalSound);
    w.text("CUSTOMIZE", "g_strBlackSound", g_strBlackSound);
    w.integer("CUSTOMIZE", "g_nFilteringKind", g_nFilteringKind);
    w.flag("CUSTOMIZE", "g_bAutoOutlookStart", g_bAutoOutlookStart);
    w.flag("CUSTOMIZE", "g_bAutoScheduleImport", g_bAutoScheduleImport);
    w.integer("CUSTOMIZE", "g_nScheduleImportGap", g_nScheduleImportGap);
    w.flag("CUSTOMIZE", "g_bOutlookMailClient", g_bOutlookMailClient);
    w.flag("CUSTOMIZE", "g_bInternalIncoming", g_bInternalIncoming);
    w.flag("CUSTOMIZE", "g_bInternalOutgoing", g_bInternalOutgoing);
    w.flag("CUSTOMIZE", "g_bExternalIncoming", g_bExternalIncoming);
    w.flag("CUSTOMIZE", "g_bExternalOutgoing", g_bExternalOutgoing);
    w.integer("CUSTOMIZE", "g_nLogViewCount", g_nLogViewCount);

    w.integer("STATION", "g_nStationDisplayType", g_nStationDisplayType);
    w.flag("LOGVIEW", "g_bLogViewRecord", g_bLogViewRecord);

    w.text("ADDRESS", "g_ColumnInfo", formatColumnInfo());
    w.text("ADDRESS", "g_ColumnInfoLen", formatColumnInfoLen());

    w.integer("BOTTOM", "g_nBottomIndexWhichOne", g_nBottomIndexWhichOne);
    w.text("MAINWND", "g_rectMainWnd", formatMainWnd());
    w.flag("SIMPLE", "g_bSimpleMode", g_bSimpleMode);
    w.flag("MAXIZE", "g_bMaximize", g_bMaximize);
    w.integer("LANGUAGE", "g_nLanguageMode", g_nLanguageMode);
    w.text("PATH", "g_strOutlookPath", g_strOutlookPath);

    w.text("FILTERCODE", "g_strNationCode", g_strNationCode);
    w.text("FILTERCODE", "g_strInternationCode", g_strInternationCode);
    for (int i = 0; i < kFilterNumCount; ++i)
        w.text("FILTERCODE", filterName(i).c_str(), g_strFilterNum[i]);

    w.text("OPTION", "g_strDefaultFolder", g_strDefaultFolder);
    return w.ok();
}

}  // namespace velkor::client
