#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/time/clock.h"
#include "provider/core/model.h"
#include "provider/core/session_replies.h"
#include "provider/link/handlers.h"

namespace velkor::core {

// One open phone device: what TSPI_phoneOpen was given and the station
// setting the PBX answered last.
struct PhoneContext {
    std::uint16_t station = 0;
    HTAPIPHONE htPhone = nullptr;
    PHONEEVENT eventProc = nullptr;
    // TSPI_phoneDevSpecific requests the PBX has not answered yet, oldest
    // first, each with the setting request it sent.
    struct Pending {
        DRV_REQUESTID id = 0;
        std::uint8_t code = 0;
    };
    std::deque<Pending> pending;
    // -1 until the first answer; then the kind 1..14 of the last setting answered.
    LONG dataKind = -1;
    std::string dataText;
};

// The phone devices of the stations. A phone device serves one purpose:
// reading and writing the station settings the PBX keeps (phone_settings.h).
// TSPI calls run on TAPI's threads under the provider's entry lock; answers
// and rejections arrive on the link's receiving thread.
class PhoneDevices final : public link::ReplyHandler, public link::RejectionHandler {
public:
    // The PBX confirms monitoring of a station well within this.
    static constexpr platform::Duration kMonitorWait = std::chrono::milliseconds(6000);
    // A read waits this long for the PBX's answer.
    static constexpr platform::Duration kReadWait = std::chrono::milliseconds(3000);

    PhoneDevices(StationModel& model, SessionReplies& replies, platform::Clock& clock);
    ~PhoneDevices() override;

    // TSPI_phoneOpen. A station whose line is closed is not monitored by
    // the PBX yet: the open asks for monitoring and waits for it.
    LONG open(DWORD deviceId, HTAPIPHONE htPhone, HDRVPHONE* hdPhone, PHONEEVENT eventProc);
    // TSPI_phoneClose. Requests still unanswered fail; monitoring the line
    // does not need stops.
    LONG close(HDRVPHONE hdPhone);
    // TSPI_phoneDevSpecific: `params` holds a setting command as 8-bit text,
    // ending at its NUL or at `size`. The request ID, completed by the PBX's
    // answer with 0 or by its rejection with PHONEERR_OPERATIONFAILED.
    LONG devSpecific(DRV_REQUESTID id, HDRVPHONE hdPhone, const void* params, DWORD size);
    // TSPI_phoneGetData: reads setting `dataId` (1..14) from the PBX and
    // copies its value text with the terminating NUL into `data`.
    LONG getData(HDRVPHONE hdPhone, DWORD dataId, void* data, DWORD size);
    // TSPI_phoneGetID and TSPI_phoneGetDevCaps.
    LONG getId(HDRVPHONE hdPhone, VARSTRING* id, std::string_view deviceClass);
    LONG getDevCaps(DWORD deviceId, PHONECAPS* caps);

    // PHONE_DEVSPECIFIC on every open phone (the PBX's system notice).
    void devSpecificAll(DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3);

    // Answers (0x7D..0x8A) and rejections (0xCD..0xDA) of the setting
    // requests; everything else is left alone.
    void onReply(const link::CtiMessage& message) override;
    void onRejection(const link::Rejection& rejection) override;

    // The setting the station's open phone holds (kind, text); nullopt when
    // its phone is closed.
    std::optional<std::pair<LONG, std::string>> lastAnswer(std::uint16_t station);
    // Whether the station's phone is open.
    bool isOpen(std::uint16_t station);

private:
    PhoneContext* findLocked(HDRVPHONE hdPhone);
    PhoneContext* stationLocked(std::uint16_t station);
    // The oldest pending request that sent `code`, taken off the list; 0 when none.
    static DRV_REQUESTID takePending(PhoneContext& phone, std::uint8_t code);
    bool readTakes(std::uint16_t station, std::uint8_t code) const;

    StationModel& m_model;
    SessionReplies& m_replies;
    platform::Clock& m_clock;

    std::mutex m_mutex;  // the contexts and the read
    std::condition_variable m_readEnded;
    std::map<std::uint16_t, std::unique_ptr<PhoneContext>> m_phones;
    // The one TSPI_phoneGetData in progress: the PBX's answer or rejection
    // of its request ends it.
    struct Read {
        bool inProgress = false;
        std::uint16_t station = 0;
        std::uint8_t code = 0;
        bool ended = false;
        bool answered = false;
    };
    Read m_read;
};

}  // namespace velkor::core
