#pragma once
// The operator's journal as the front ends hold it: it records every run it
// observes (upload::IRunObserver), with the session and the files last loaded.
// Calls come from the uploading thread and return at once. A journal that
// cannot write never fails these calls: it keeps one problem text for the
// operator instead (TakeProblem).

#include "accounts/LoadedFiles.h"
#include "upload/RunObserver.h"

#include <chrono>
#include <string>

namespace journal {

// Who uploads to which gateway; known after a login.
struct SessionFacts {
    std::string operatorName;
    std::string gatewayAddress;
    int gatewayPort = 0;
};

class IJournal : public upload::IRunObserver {
public:
    virtual void SetSession(const SessionFacts& session) = 0;
    virtual void FilesLoaded(const LoadedFiles& files) = 0;
    // The text of a problem that stopped the journal, the first time only
    // (one message per session); empty otherwise. A problem may come after
    // the run that met it has ended: the journal writes behind the upload.
    virtual std::string TakeProblem() = 0;
    // Waits up to `timeout` for the journal to finish writing the last run;
    // true when it has (or has given up on it, with a problem to take).
    virtual bool WaitForRun(std::chrono::milliseconds timeout) = 0;
};

} // namespace journal
