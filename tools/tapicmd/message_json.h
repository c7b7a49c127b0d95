#pragma once

#include <nlohmann/json.hpp>

#include "tapi.h"

namespace velkor::tapicmd {

// One LINE_* or PHONE_* message as a JSON object: the message's name, its
// raw fields, and the constants it carries decoded by name ("state":
// "LINECALLSTATE_OFFERING", "result": "LINEERR_OPERATIONFAILED" …).
nlohmann::json messageToJson(const LINEMESSAGE& message);

// A function result: its value and, for an error, its name.
void addResult(nlohmann::json& out, LONG result);

}  // namespace velkor::tapicmd
