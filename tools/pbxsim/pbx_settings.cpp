// The station settings the PBX keeps (requests 0x7D..0x8A): a read is
// answered with the value, a write changes it and is answered with the new
// value; a write the PBX cannot take, or one a control command refuses, is
// rejected with its cause.
#include "provider/link/catalogue.h"
#include "tools/pbxsim/byte_text.h"
#include "tools/pbxsim/pbx.h"

namespace velkor::pbxsim {

const SettingBytes& Pbx::setting(std::uint16_t index, std::uint32_t kind) {
    auto it = m_settings.find(index);
    if (it == m_settings.end()) {
        std::array<SettingBytes, kSettingKinds> values;
        for (std::uint32_t k = 1; k <= kSettingKinds; ++k) values[k - 1] = defaultSetting(k);
        const StationConfig* station = m_config.station(index);
        const auto configured = station ? m_config.settings.find(station->number)
                                        : m_config.settings.end();
        if (configured != m_config.settings.end()) {
            for (const auto& [k, value] : configured->second) values[k - 1] = value;
        }
        it = m_settings.emplace(index, std::move(values)).first;
    }
    return it->second.at(kind - 1);
}

void Pbx::ctiSetting(const CtiRequest& r) {
    if (!m_config.station(r.station)) {
        reject(r.station, r.code, m_config.noStationCause);
        return;
    }
    const std::uint32_t kind = r.code - (kFirstSettingCode - 1);
    const auto refusal = m_settingRefusals.find({r.station, kind});
    if (refusal != m_settingRefusals.end() && !isSettingRead(kind, r.data)) {
        reject(r.station, r.code, refusal->second);
        return;
    }
    setting(r.station, kind);  // the station's values exist from here on
    const auto answer = applySetting(kind, m_settings[r.station][kind - 1], r.data);
    if (!answer) {
        reject(r.station, r.code, m_config.defaultCause);
        return;
    }
    sendCti(r.station, r.code, *answer);
}

Pbx::CallResult Pbx::settingsText(const std::string& number) {
    const StationConfig* station = m_config.stationByNumber(number);
    if (!station) return {false, "no station has number " + number};
    std::string text;
    for (std::uint32_t kind = 1; kind <= kSettingKinds; ++kind) {
        if (!text.empty()) text += ' ';
        text += std::string(settingKeyword(kind)) + "=" +
                hexText(setting(station->index, kind));
    }
    return {true, text};
}

Pbx::CallResult Pbx::refuseSetting(const std::string& number, const std::string& keyword,
                                   std::optional<std::uint8_t> cause) {
    const StationConfig* station = m_config.stationByNumber(number);
    if (!station) return {false, "no station has number " + number};
    const std::uint32_t kind = settingKindByKeyword(keyword);
    if (kind == 0) return {false, "no setting is called " + keyword};
    if (cause) {
        m_settingRefusals[{station->index, kind}] = *cause;
        return {true, keyword + " writes of " + number + " refused"};
    }
    m_settingRefusals.erase({station->index, kind});
    return {true, keyword + " writes of " + number + " taken"};
}

}  // namespace velkor::pbxsim
