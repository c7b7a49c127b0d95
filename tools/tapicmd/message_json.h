#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

#include "tapi.h"
#include "tapi_names.h"

namespace velkor::tapicmd {

// One LINE_* or PHONE_* message as a JSON object: the message's name, its
// raw fields, and the constants it carries decoded by name ("state":
// "LINECALLSTATE_OFFERING", "result": "LINEERR_OPERATIONFAILED" …).
nlohmann::json messageToJson(const LINEMESSAGE& message);

// A function result: its value and, for an error, its name.
void addResult(nlohmann::json& out, LONG result);

// A value "0x1f" for numbers that are no constant of a table.
std::string hexText(DWORD_PTR value);

// Names of every bit of `mask` in a table; bits it lacks as hexadecimal.
nlohmann::json bitNames(DWORD mask, const TapiCodeName* table, std::size_t count);

// `key` with the value of a field holding one constant, and `key`Name
// beside it when the table knows the value.
template <std::size_t N>
void addNamed(nlohmann::json& out, const std::string& key, DWORD value,
              const TapiCodeName (&table)[N]) {
    out[key] = value;
    if (const char* name = tapiCodeName(table, N, value)) out[key + "Name"] = name;
}

// `key` with the value of a mask of bits, and `key`Names listing each bit.
template <std::size_t N>
void addBits(nlohmann::json& out, const std::string& key, DWORD value,
             const TapiCodeName (&table)[N]) {
    out[key] = value;
    out[key + "Names"] = bitNames(value, table, N);
}

}  // namespace velkor::tapicmd
