#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "provider/core/atd_directory.h"
#include "provider/core/contexts.h"
#include "provider/core/model.h"
#include "provider/devspecific/record_store.h"
#include "tapi.h"

namespace velkor::devspecific {

// What the status blocks are made of besides the line's own state.
struct StatusSources {
    // Bodies of SMDR_DATA and OTHER_DATA as the stores hand them out;
    // nullopt when the station does not subscribe to that kind.
    std::optional<std::vector<std::uint8_t>> callRecords;
    std::optional<std::vector<std::uint8_t>> otherData;
    // The ATD directory. Its blocks are left out (and stay pending) while the
    // session is not active or there is no directory.
    core::AtdDirectory* directory = nullptr;
    bool atdActive = false;
    // The PBX reports park numbers only on binary framing; on the one-station
    // STX/ETX link ALL_PARK_NUM stays pending.
    bool binaryFraming = true;
    // One 4-character park number per park slot of the PBX.
    std::vector<std::string> parkNumbers;
};

// The park numbers of a PBX with `count` park slots (at most 20): the first
// slot the PBX reported is the base, slot i holds base + i - 1, each written
// as the PBX writes them, right-justified in 4 characters. Before any slot
// was reported the numbers are 4 blanks; a base that is not a number gives
// the reported slots in the order they came.
std::vector<std::string> parkNumbers(std::span<const core::ParkSlot> reported, std::size_t count);

// TSPI_lineGetAddressStatus for the line's only address, into the caller's
// block whose dwTotalSize TAPI set.
//
// The fixed part: dwNumInUse 1, dwNumActiveCalls the number of the line's
// calls, dwAddressFeatures 0x3687 unless a call is dialling, ringing back,
// busy or connected, and the forwarding entry while forwarding is active.
// From offset 64 the device-specific blocks follow one another in their
// fixed order, each present under its condition:
//
//   SMDR_DATA     call-record subscriber      ALL_PARK_NUM  park numbers requested
//   OTHER_DATA    other-data subscriber       SMS_MESSAGE   short message received
//   STA_STATUS, COL_STATUS, STA_INFO, COL_INFO, STA_NUMBER   requested, ATD active
//   STATION_TYPE  station types requested
//
// Each block adds its size to dwNeededSize; a block that does not fit in
// dwTotalSize ends the call with LINEERR_STRUCTURETOOSMALL and that needed
// size, except OTHER_DATA, which is then skipped (the needed size still
// grows). The forwarding entry (24 bytes, on a 4-byte boundary after the
// blocks, its destination as wide text after it) is treated the same way.
// The one-shot requests behind the blocks are cleared only when the whole
// status was handed out, so that a caller who gets
// LINEERR_STRUCTURETOOSMALL and asks again with the needed size loses none.
//
// LINEERR_INVALPOINTER for a null block, LINEERR_STRUCTURETOOSMALL (nothing
// written) below the 64-byte fixed part. Nothing is written at or beyond
// dwTotalSize.
LONG fillAddressStatus(core::LineContext& line, const StatusSources& sources,
                       LINEADDRESSSTATUS* status);

// What the provider as a whole knows that the blocks depend on.
struct StatusEnvironment {
    bool atdActive = false;
    // Park slots of the PBX model; unknown model: the slots reported so far.
    std::size_t parkSlotCount = 0;
};

// The entry point behind TSPI_lineGetAddressStatus: the line of `hdLine`
// (LINEERR_INVALLINEHANDLE when unknown or not open), address 0 only
// (LINEERR_INVALADDRESSID), under the call-state lock, with the stores'
// records copied under their own locks.
LONG getAddressStatus(core::StationModel& model, RecordStore& stores, const StatusEnvironment& env,
                      HDRVLINE hdLine, DWORD addressId, LINEADDRESSSTATUS* status);

}  // namespace velkor::devspecific
