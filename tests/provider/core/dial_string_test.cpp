// Dial strings: their classes, the call requests they become in each dialect,
// the speed-dial and redial forms of a new call, and the access codes of the
// current telephony location read from the registry.
#include "provider/core/dial_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "tests/support/temp_folder.h"

namespace velkor::core {
namespace {

using link::Dialect;
using platform::Hive;

// Request data written as the PBX sees it: 'text' for ASCII runs and hex
// pairs for everything else, e.g. "'  1' 12 30".
std::vector<std::uint8_t> wire(std::string_view form) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < form.size();) {
        if (form[i] == ' ') {
            ++i;
        } else if (form[i] == '\'') {
            const std::size_t end = form.find('\'', i + 1);
            out.insert(out.end(), form.begin() + static_cast<std::ptrdiff_t>(i + 1),
                       form.begin() + static_cast<std::ptrdiff_t>(end));
            i = end + 1;
        } else {
            out.push_back(
                static_cast<std::uint8_t>(std::stoi(std::string(form.substr(i, 2)), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

std::string show(const std::optional<CallRequest>& r) {
    if (!r) return "none";
    std::ostringstream out;
    out << std::hex << int(r->code) << ':';
    for (const std::uint8_t b : r->data) out << ' ' << int(b);
    return out.str();
}

// A request row: code 0 means no request at all.
std::optional<CallRequest> expected(std::uint8_t code, std::string_view data) {
    if (code == 0) return std::nullopt;
    return CallRequest{code, wire(data)};
}

// The location of these cases dials 9 for an outside line and has no
// long-distance access code.
const LocationPrefixes kOutsideNine{"", "9"};

// ---------------------------------------------------------------------------
// General classes

struct ClassCase {
    const char* destination;
    DialClass cls;
    const char* co;
    const char* number;
    std::uint8_t extendedCode;
    const char* extended;
    std::uint8_t legacyCode;
    const char* legacy;
};

const ClassCase kClassCases[] = {
    // Stations: left-justified in the extended dialect, right-justified in
    // the legacy one, longer numbers whole.
    {"201", DialClass::Station, "", "201", 0x55, "'201 '", 0x55, "' 201'"},
    {"2", DialClass::Station, "", "2", 0x55, "'2   '", 0x55, "'   2'"},
    {"12345", DialClass::Station, "", "12345", 0x55, "'12345'", 0x55, "'12345'"},
    // A specific CO line: 3 characters of line, the rest dialled.
    {"C001123", DialClass::CoLine, "001", "123", 0x57, "'  1123'", 0x57, "'  1' 12 30"},
    {"c001123", DialClass::CoLine, "001", "123", 0x57, "'  1123'", 0x57, "'  1' 12 30"},
    {"@012555", DialClass::CoLine, "012", "555", 0x57, "' 12555'", 0x57, "' 12' 55 50"},
    {"C001", DialClass::CoLine, "001", "", 0x57, "'  1'", 0x57, "'  1'"},
    {"C00", DialClass::Invalid, "", "", 0, "", 0, ""},
    // A CO group.
    {"G1", DialClass::Invalid, "", "", 0, "", 0, ""},
    {"g0991234", DialClass::CoGroup, "099", "1234", 0x56, "' 991234'", 0x56, "' 99' 12 34"},
    {"G120*#,T!0", DialClass::CoGroup, "120", "*#,T!0", 0x56, "'120*#,T!0'", 0x56,
     "'120' BC DE FA"},
    {"$0025", DialClass::CoGroup, "002", "5", 0x56, "'  25'", 0x56, "'  2' 50"},
    // Through the outside-line group after the location's access code.
    {"95551234", DialClass::OutsideAccess, "099", "5551234", 0x56, "' 995551234'", 0x56,
     "' 99' 55 51 23 40"},
    {"9", DialClass::OutsideAccess, "099", "", 0x56, "' 99'", 0x56, "' 99'"},
    {"default5551234", DialClass::Default, "099", "5551234", 0x56, "' 995551234'", 0x56,
     "' 99' 55 51 23 40"},
    {"DeFaulT0", DialClass::Default, "099", "0", 0x56, "' 990'", 0x56, "' 99' A0"},
    // Network calls.
    {"N", DialClass::Invalid, "", "", 0, "", 0, ""},
    {"n", DialClass::Invalid, "", "", 0, "", 0, ""},
    {"N123", DialClass::Network, "NET", "123", 0x57, "'NET123'", 0x57, "'NET' 12 30"},
    {"n07", DialClass::Network, "NET", "07", 0x57, "'NET07'", 0x57, "'NET' A7"},
    // One leading pulse, tone or wait modifier is not dialled.
    {"P201", DialClass::Station, "", "201", 0x55, "'201 '", 0x55, "' 201'"},
    {"t95551", DialClass::OutsideAccess, "099", "5551", 0x56, "' 995551'", 0x56, "' 99' 55 51"},
    {"wN5", DialClass::Network, "NET", "5", 0x57, "'NET5'", 0x57, "'NET' 50"},
    {"TC001123", DialClass::CoLine, "001", "123", 0x57, "'  1123'", 0x57, "'  1' 12 30"},
    {"PP201", DialClass::Station, "", "P201", 0x55, "'P201'", 0x55, "'P201'"},
    // Blanks are removed before anything else.
    {" 2 0 1 ", DialClass::Station, "", "201", 0x55, "'201 '", 0x55, "' 201'"},
    {"W C 0 0 1 1 2 3", DialClass::CoLine, "001", "123", 0x57, "'  1123'", 0x57, "'  1' 12 30"},
    {"9 555 1234", DialClass::OutsideAccess, "099", "5551234", 0x56, "' 995551234'", 0x56,
     "' 99' 55 51 23 40"},
    // Exactly three '*' or '.' in all: the address is taken whole, the
    // leading letter too.
    {"P10.0.0.7", DialClass::Station, "", "P10.0.0.7", 0x55, "'P10.0.0.7'", 0x55, "'P10.0.0.7'"},
    {"T1*2*3*4", DialClass::Station, "", "T1*2*3*4", 0x55, "'T1*2*3*4'", 0x55, "'T1*2*3*4'"},
    {"W1*2.3*4", DialClass::Station, "", "W1*2.3*4", 0x55, "'W1*2.3*4'", 0x55, "'W1*2.3*4'"},
    {"P1*2*3", DialClass::Station, "", "1*2*3", 0x55, "'1*2*3'", 0x55, "'1*2*3'"},
    {"P1.2.3.4.5", DialClass::Station, "", "1.2.3.4.5", 0x55, "'1.2.3.4.5'", 0x55, "'1.2.3.4.5'"},
    // Nothing to dial.
    {"", DialClass::Invalid, "", "", 0, "", 0, ""},
    {"   ", DialClass::Invalid, "", "", 0, "", 0, ""},
    {"P", DialClass::Invalid, "", "", 0, "", 0, ""},
    // Packed digits cannot carry a letter: the legacy PBX cannot be asked.
    {"C00112A", DialClass::CoLine, "001", "12A", 0x57, "'  112A'", 0, ""},
};

TEST(DialStringClassify, ClassesAndRequestsInBothDialects) {
    for (const ClassCase& c : kClassCases) {
        SCOPED_TRACE(std::string("destination \"") + c.destination + "\"");
        const Destination d = classify(c.destination, kOutsideNine);
        EXPECT_EQ(d.cls, c.cls);
        EXPECT_EQ(d.co, c.co);
        EXPECT_EQ(d.number, c.number);

        const auto ext = makeCallRequest(c.destination, kOutsideNine, Dialect::Extended, true);
        EXPECT_EQ(show(ext), show(expected(c.extendedCode, c.extended)));
        const auto legacy = makeCallRequest(c.destination, kOutsideNine, Dialect::Legacy, true);
        EXPECT_EQ(show(legacy), show(expected(c.legacyCode, c.legacy)));
    }
}

TEST(DialStringClassify, LocationCodes) {
    struct Case {
        LocationPrefixes prefixes;
        const char* destination;
        DialClass cls;
        const char* number;
    };
    const Case cases[] = {
        // The long-distance code is tried before the outside code.
        {{"91", "9"}, "915551234", DialClass::OutsideAccess, "5551234"},
        {{"91", "9"}, "9205", DialClass::OutsideAccess, "205"},
        {{"8", "0"}, "81234", DialClass::OutsideAccess, "1234"},
        {{"8", "0"}, "01234", DialClass::OutsideAccess, "1234"},
        // Empty codes match nothing.
        {{"", ""}, "95551234", DialClass::Station, "95551234"},
        // The whole code must be there.
        {{"", "00"}, "0123", DialClass::Station, "0123"},
        // A code ahead of the letter forms.
        {{"", "C"}, "C001123", DialClass::OutsideAccess, "001123"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.destination) + " with \"" + c.prefixes.longDistanceAccess +
                     "\" / \"" + c.prefixes.outsideAccess + "\"");
        const Destination d = classify(c.destination, c.prefixes);
        EXPECT_EQ(d.cls, c.cls);
        EXPECT_EQ(d.number, c.number);
    }
}

TEST(DialStringClassify, ReadsOnlyTheFirst128CharactersThenDropsBlanks) {
    const std::string head(127, '1');
    EXPECT_EQ(normalizeDialString(head + " 2"), head);
    EXPECT_EQ(normalizeDialString(head + "2 3"), head + "2");
    EXPECT_EQ(classify("C001" + std::string(200, '5'), {}).number, std::string(124, '5'));
}

// ---------------------------------------------------------------------------
// Forms of a new call

struct FormCase {
    const char* destination;
    std::optional<MakeCallForm> form;
    std::uint8_t code;
    const char* data;
};

const FormCase kFormCases[] = {
    // Speed dial kind 1: 3-character index, through a CO line request.
    {"spd:9123", MakeCallForm{MakeCallFormKind::SpeedDial1, "9123"}, 0x57, "' 99' DE '123'"},
    {"SPD:C001123", MakeCallForm{MakeCallFormKind::SpeedDial1, "C001123"}, 0x57, "'  1' DE '123'"},
    {"spd-1234", MakeCallForm{MakeCallFormKind::SpeedDial1, "1234"}, 0x57, "'   ' DE '123'"},
    // Speed dial kind 2: 4-character index, through a CO group request.
    {"spd:91234", MakeCallForm{MakeCallFormKind::SpeedDial2, "91234"}, 0x56, "' 99' DE '1234'"},
    {"Pspd:G0011234", MakeCallForm{MakeCallFormKind::SpeedDial2, "G0011234"}, 0x56,
     "'  1' DE '1234'"},
    {"s p d : $ 0 0 2 0 0 1 5", MakeCallForm{MakeCallFormKind::SpeedDial2, "$0020015"}, 0x56,
     "'  2' DE '0015'"},
    // An invalid text makes no request.
    {"spd:PG12", MakeCallForm{MakeCallFormKind::SpeedDial1, "PG12"}, 0, ""},
    // Redial, with or without the CO line or group to redial on.
    {"lnr", MakeCallForm{MakeCallFormKind::LastNumberRedial, ""}, 0x57, "'   ' DE D0"},
    {"LNR:C001", MakeCallForm{MakeCallFormKind::LastNumberRedial, "C001"}, 0x57, "'  1' DE D0"},
    {"lnr:g002", MakeCallForm{MakeCallFormKind::LastNumberRedial, "g002"}, 0x56, "'  2' DE D0"},
    {"snr", MakeCallForm{MakeCallFormKind::SavedNumberRedial, ""}, 0x57, "'   ' DE D1"},
    {"Wsnr/$003", MakeCallForm{MakeCallFormKind::SavedNumberRedial, "$003"}, 0x56, "'  3' DE D1"},
    {"snr:G003", MakeCallForm{MakeCallFormKind::SavedNumberRedial, "G003"}, 0x56, "'  3' DE D1"},
    // Other lengths are ordinary dial strings.
    {"spd:12", std::nullopt, 0x55, "'spd:12'"},
    {"spd:C0011234567", std::nullopt, 0x55, "'spd:C0011234567'"},
    {"lnr:", std::nullopt, 0x55, "'lnr:'"},
    {"snr1", std::nullopt, 0x55, "'snr1'"},
};

TEST(DialStringForms, SpeedDialAndRedialRequests) {
    for (const FormCase& c : kFormCases) {
        SCOPED_TRACE(std::string("destination \"") + c.destination + "\"");
        EXPECT_EQ(makeCallForm(c.destination), c.form);
        // The forms carry the same bytes in both dialects; the other strings
        // are dialled as stations (shown for the extended dialect).
        EXPECT_EQ(show(makeCallRequest(c.destination, kOutsideNine, Dialect::Extended, true)),
                  show(expected(c.code, c.data)));
        if (c.form) {
            EXPECT_EQ(show(makeCallRequest(c.destination, kOutsideNine, Dialect::Legacy, true)),
                      show(expected(c.code, c.data)));
        }
    }
}

TEST(DialStringForms, OnlyANewCallKnowsThem) {
    // Dial, redirect, pickup and blind transfer take "lnr" as a station.
    EXPECT_EQ(show(makeCallRequest("lnr", kOutsideNine, Dialect::Extended, false)),
              show(CallRequest{0x55, wire("'lnr '")}));
    EXPECT_EQ(show(makeCallRequest("spd:9123", kOutsideNine, Dialect::Legacy, false)),
              show(CallRequest{0x55, wire("'spd:9123'")}));
    EXPECT_EQ(classify("lnr", kOutsideNine).cls, DialClass::Station);
}

// ---------------------------------------------------------------------------
// Location prefixes

class LocationPrefixesTest : public ::testing::Test {
protected:
    std::string location(int n) const {
        return std::string(kLocationsKey) + "\\Location" + std::to_string(n);
    }
    void setList(std::uint32_t currentId, std::optional<std::uint32_t> version,
                 std::optional<std::uint32_t> entries) {
        ASSERT_TRUE(registry.writeDword(Hive::LocalMachine, kLocationsKey, "CurrentID", currentId));
        if (version) {
            ASSERT_TRUE(registry.writeDword(Hive::LocalMachine, kLocationsKey,
                                            "LocationListVersion", *version));
        }
        if (entries) {
            ASSERT_TRUE(
                registry.writeDword(Hive::LocalMachine, kLocationsKey, "NumEntries", *entries));
        }
    }
    // A location key with its ID (none: no ID value) and access codes.
    void addLocation(int n, std::optional<std::uint32_t> id, const std::string& longDistance,
                     const std::string& outside) {
        ASSERT_TRUE(registry.createKey(Hive::LocalMachine, location(n)));
        if (id) {
            ASSERT_TRUE(registry.writeDword(Hive::LocalMachine, location(n), "ID", *id));
        }
        ASSERT_TRUE(registry.writeString(Hive::LocalMachine, location(n), "LongDistanceAccess",
                                         longDistance));
        ASSERT_TRUE(
            registry.writeString(Hive::LocalMachine, location(n), "OutsideAccess", outside));
    }

    testing::TempFolder folder{"velkor-locations"};
    platform::Registry registry{folder.path()};
};

TEST_F(LocationPrefixesTest, VersionTwoNamesTheKeyAfterTheCurrentId) {
    setList(3, 2, 1);
    // The old search would find this one first.
    addLocation(0, 3, "7", "6");
    addLocation(3, std::nullopt, "8", "9");
    EXPECT_EQ(readLocationPrefixes(registry), (LocationPrefixes{"8", "9"}));
}

TEST_F(LocationPrefixesTest, OlderListsAreSearchedForTheCurrentId) {
    for (const std::optional<std::uint32_t> version :
         {std::optional<std::uint32_t>{}, std::optional<std::uint32_t>{1}}) {
        registry.deleteKey(Hive::LocalMachine, kLocationsKey);
        setList(7, version, 3);
        addLocation(0, 5, "1", "2");
        addLocation(1, 7, "", "0");
        addLocation(2, 7, "3", "4");
        EXPECT_EQ(readLocationPrefixes(registry), (LocationPrefixes{"", "0"}));
    }
}

TEST_F(LocationPrefixesTest, AMissingKeyOrIdEndsTheSearch) {
    setList(7, std::nullopt, 5);
    addLocation(0, 1, "1", "1");
    addLocation(2, 7, "8", "9");
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});

    addLocation(1, std::nullopt, "5", "5");
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});

    ASSERT_TRUE(registry.writeDword(Hive::LocalMachine, location(1), "ID", 6));
    EXPECT_EQ(readLocationPrefixes(registry), (LocationPrefixes{"8", "9"}));
}

TEST_F(LocationPrefixesTest, SearchStopsAfterNumEntriesAndFiftyKeys) {
    setList(7, std::nullopt, 2);
    addLocation(0, 1, "", "");
    addLocation(1, 2, "", "");
    addLocation(2, 7, "", "9");
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});
    setList(7, std::nullopt, 3);
    EXPECT_EQ(readLocationPrefixes(registry), (LocationPrefixes{"", "9"}));

    // Sixty entries claimed, fifty-one present: Location49 is the last one read.
    setList(149, std::nullopt, 60);
    for (int n = 0; n <= 50; ++n) addLocation(n, 100 + n, "", std::to_string(n));
    EXPECT_EQ(readLocationPrefixes(registry), (LocationPrefixes{"", "49"}));
    setList(150, std::nullopt, 60);
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});
}

TEST_F(LocationPrefixesTest, MissingValuesMatchNothing) {
    // No list at all.
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});

    // Without a current location nothing is chosen, not even an ID of 0.
    ASSERT_TRUE(registry.writeDword(Hive::LocalMachine, kLocationsKey, "NumEntries", 1));
    addLocation(0, 0, "8", "9");
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});

    // The location without its codes.
    setList(0, std::nullopt, 1);
    ASSERT_TRUE(registry.deleteValue(Hive::LocalMachine, location(0), "OutsideAccess"));
    EXPECT_EQ(readLocationPrefixes(registry), (LocationPrefixes{"8", ""}));
    ASSERT_TRUE(registry.deleteValue(Hive::LocalMachine, location(0), "LongDistanceAccess"));
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});

    // Version 2 naming a key that is not there.
    setList(4, 2, 1);
    EXPECT_EQ(readLocationPrefixes(registry), LocationPrefixes{});
}

TEST_F(LocationPrefixesTest, CodesAreReadUpToOneHundredCharacters) {
    setList(1, 2, 1);
    addLocation(1, 1, std::string(150, '8'), std::string(100, '9'));
    EXPECT_EQ(readLocationPrefixes(registry),
              (LocationPrefixes{std::string(100, '8'), std::string(100, '9')}));
}

}  // namespace
}  // namespace velkor::core
