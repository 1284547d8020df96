#pragma once
// An uploader wired to recording lists, a recording window and a scripted
// communication object, with account files written into a temporary work
// directory so that Load fills the records the uploads send.

#include "fakes/EventLog.h"
#include "fakes/RecordingMainWindow.h"
#include "fakes/RecordingReportList.h"
#include "fakes/ResponseBuilder.h"
#include "fakes/ScriptedCommunication.h"
#include "support/Common.h"
#include "upload/UploadRecords.h"
#include "uploader/AccountUploader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

inline constexpr const char* kSending = "正在发送数据,请稍侯...";

// `value` filled out with blanks (or cut) to exactly `width` bytes.
inline std::string Padded(const std::string& value, std::size_t width) {
    std::string out = value.substr(0, width);
    out.resize(width, ' ');
    return out;
}

// The wire bytes of `width` at `offset` of a record image, without trailing NULs.
inline std::string WireField(const std::string& image, std::size_t offset, std::size_t width) {
    std::string field = image.substr(offset, width);
    return field.substr(0, field.find('\0'));
}

// Response bytes accepting the request, with these result codes and texts.
inline std::string Response(const std::vector<std::string>& codes,
                            const std::vector<std::string>& texts = {}, int headerMode = 0) {
    ResponseScript script;
    script.headerMode = headerMode;
    script.resultCodes = codes;
    script.resultTexts = texts;
    return BuildResponse(script);
}

// The same response with header field 7 replaced (mode 0 layout).
inline std::string WithLength(std::string response, const std::string& length) {
    response.replace(9 + 2 + 64, 9, Padded(length, 9));
    return response;
}

// A response refusing the request with this return code and message (GBK).
inline std::string Refusal(const std::string& code, const std::string& message) {
    ResponseScript script;
    script.returnCode = code;
    script.returnMessage = message;
    script.resultCodes = {"0"};
    return BuildResponse(script);
}

struct UploadFixture : ::testing::Test {
    EventLog log;
    ScriptedCommunication comm;
    ScopedCommunication installed{&comm};
    RecordingMainWindow window;
    RecordingReportList bankList{7};
    RecordingReportList reserveList{5};
    CAccountUploader uploader{&bankList, &reserveList, &window};
    std::filesystem::path workDir;

    void SetUp() override {
        comm.log = &log;
        window.log = &log;
        std::random_device random;
        workDir = std::filesystem::temp_directory_path() /
                  ("qm-upload-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(workDir / "localconfig");
        CCommon::SetWorkPath(workDir.string());
    }
    void TearDown() override {
        CCommon::SetWorkPath("");
        std::error_code ignored;
        std::filesystem::remove_all(workDir, ignored);
    }

    void WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream out(workDir / "localconfig" / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // Reserve account i: "RSV<tag><i>" named "Reserve <tag><i>"; bank account i:
    // code "0102", number "6222<tag><i>", names "Bank holder <tag><i>" / "Bank <tag><i>".
    void WriteAccounts(int reserves, int banks, const std::string& tag = "") {
        std::string reserveBytes;
        for (int i = 0; i < reserves; ++i)
            reserveBytes += Padded("RSV" + tag + std::to_string(i), 18) +
                            Padded("Reserve " + tag + std::to_string(i), 30);
        std::string bankBytes;
        for (int i = 0; i < banks; ++i)
            bankBytes += Padded("0102", 4) + Padded("6222" + tag + std::to_string(i), 28) +
                         Padded("Bank holder " + tag + std::to_string(i), 30) +
                         Padded("Bank " + tag + std::to_string(i), 30) + Padded("", 30);
        WriteFile("agbfj.dat", reserveBytes);
        WriteFile("yhzh.dat", bankBytes);
    }

    // Loads the accounts and forgets what loading did, so that tests see only
    // the upload's own calls.
    void LoadAccounts(int reserves, int banks) {
        WriteAccounts(reserves, banks);
        ASSERT_EQ(uploader.Load(), 1) << uploader.LastError();
        comm.calls.clear();
        comm.statusTexts.clear();
        log.events.clear();
    }

    // Answers every request with one result per record, taking the codes in
    // turn from `codes` (the last repeats), each with text "T<code>".
    void AnswerWithCodes(std::vector<std::string> codes) {
        comm.responder = [codes, next = std::size_t{0}](const std::string& body) mutable {
            ResponseScript script;
            for (std::size_t i = 0; i < body.size() / kRequestWireLength; ++i) {
                const std::string& code = codes[std::min(next++, codes.size() - 1)];
                script.resultCodes.push_back(code);
                script.resultTexts.push_back("T" + code);
            }
            return BuildResponse(script);
        };
    }

    // Row `row` of a list: its result code and result text.
    static std::pair<std::string, std::string> Result(const RecordingReportList& list, int row) {
        return {list.Cell(row, 1), list.Cell(row, 2)};
    }
};
