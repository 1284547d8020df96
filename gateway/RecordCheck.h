#pragma once
// Reads one request record and decides whether it is well formed.

#include "protocol/Layouts.h"
#include "protocol/SystemCodes.h"

#include <array>
#include <cstddef>
#include <string_view>

// The text of each field (1..26; index 0 unused): the bytes before the first
// NUL, without trailing blanks.
struct RequestFields {
    std::array<std::string_view, protocol::requestrecord::kLast + 1> field{};
    bool IsReserve() const {
        return field[protocol::requestrecord::kRecordKind] == protocol::kReserveRecord;
    }
};

RequestFields SplitRequestRecord(const char* wire);
// One field (1..26) of a record, as SplitRequestRecord gives it.
std::string_view RequestField(const char* wire, std::size_t number);

// 0 when the record is well formed, else the number of the first field found
// wrong. `position` counts from 0; `participant` and `gatewayId` are what the
// login handed out for fields 3 and 7.
int FirstBadField(const RequestFields& record, std::size_t position, std::string_view participant,
                  std::string_view gatewayId);
