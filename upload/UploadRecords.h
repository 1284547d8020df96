#pragma once
// The records that cross the wire to the settlement system, in their in-memory
// form: byte-packed text fields of width+1 bytes (an "A" field: width bytes).
// Field numbers in the comments are wire order, from 1.

#include "protocol/WireFormat.h"

#include <cstddef>

struct UploadRequestRecord {
    char SeqNo[7];               // 1: position within the request, from "1"
    char Field2[17];             // 2
    char CommString1[9];         // 3: from the communication object
    char Field4[9];              // 4
    char ScopeMark[9];           // 5: "*" for a reserve account
    char Field6[41];             // 6
    char CommString2[9];         // 7: from the communication object
    char Field8[41];             // 8
    char Version[3];             // 9: "01"
    char RecordKind[3];          // 10: "01" reserve, "02" bank
    char ReserveAccountNo[26];   // 11
    char ReserveAccountName[81]; // 12
    char ReserveKind[3];         // 13: "01" for a reserve account
    char BankCode[5];            // 14
    char BankAccountNo[29];      // 15
    char AccountFullName[81];    // 16
    char BankFullName[81];       // 17
    char Field18[26];            // 18
    char Field19[5];             // 19
    char Field20[29];            // 20
    char SystemCode[17];         // 21: "SSCCRC" for a reserve account
    char SubsystemCode[17];      // 22: "JSXT" and twelve blanks for a reserve account
    char BusinessKind[3];        // 23: "70" for a reserve account
    char Field24[3];             // 24
    char Field25[3];             // 25
    char Field26[41];            // 26
};

struct ResponseHeader {
    char Field1[17];        // 1
    char Field2[11];        // 2
    char Field3[17];        // 3
    char Field4[17];        // 4
    char Field5[3];         // 5
    char ReturnCode[5];     // 6: "0000" when the request was accepted
    char DataLength[10];    // 7: bytes of result data after the header, decimal
    char Flag[1];           // 8: one byte copied as it is, no terminator
    char ReturnMessage[53]; // 9: shown when the request was refused
};

struct UploadResultRecord {
    UploadRequestRecord Request; // 1-26: the request fields echoed back
    char ResultCode[5];          // 27: 0 when the record was accepted
    char ResultText[41];         // 28
};

static_assert(sizeof(UploadRequestRecord) == 598);
static_assert(sizeof(ResponseHeader) == 134);
static_assert(sizeof(UploadResultRecord) == 644);
static_assert(offsetof(UploadRequestRecord, Field2) == 7);
static_assert(offsetof(UploadRequestRecord, CommString1) == 24);
static_assert(offsetof(UploadRequestRecord, ScopeMark) == 42);
static_assert(offsetof(UploadRequestRecord, CommString2) == 92);
static_assert(offsetof(UploadRequestRecord, Version) == 142);
static_assert(offsetof(UploadRequestRecord, RecordKind) == 145);
static_assert(offsetof(UploadRequestRecord, ReserveAccountNo) == 148);
static_assert(offsetof(UploadRequestRecord, ReserveAccountName) == 174);
static_assert(offsetof(UploadRequestRecord, ReserveKind) == 255);
static_assert(offsetof(UploadRequestRecord, BankCode) == 258);
static_assert(offsetof(UploadRequestRecord, BankAccountNo) == 263);
static_assert(offsetof(UploadRequestRecord, AccountFullName) == 292);
static_assert(offsetof(UploadRequestRecord, BankFullName) == 373);
static_assert(offsetof(UploadRequestRecord, Field18) == 454);
static_assert(offsetof(UploadRequestRecord, SystemCode) == 514);
static_assert(offsetof(UploadRequestRecord, SubsystemCode) == 531);
static_assert(offsetof(UploadRequestRecord, BusinessKind) == 548);
static_assert(offsetof(UploadRequestRecord, Field26) == 557);
static_assert(offsetof(ResponseHeader, ReturnCode) == 65);
static_assert(offsetof(ResponseHeader, DataLength) == 70);
static_assert(offsetof(ResponseHeader, Flag) == 80);
static_assert(offsetof(ResponseHeader, ReturnMessage) == 81);
static_assert(offsetof(UploadResultRecord, ResultCode) == 598);
static_assert(offsetof(UploadResultRecord, ResultText) == 603);

// Wire lengths.
inline constexpr std::size_t kRequestWireLength = protocol::kRequestRecordLength;
inline constexpr std::size_t kResponseHeaderWireLength = protocol::kReplyHeaderLength;
inline constexpr std::size_t kResultWireLength = protocol::kResultRecordLength;
