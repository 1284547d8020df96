// "只上传新增账户": only the rows neither stored nor already held, in batches;
// the work is NewAccountsUpload's.

#include "upload/ResultWriter.h"
#include "upload/UploadRun.h"
#include "upload/UploadTexts.h"
#include "uploader/AccountUploader.h"
#include "uploader/NewAccountsUpload.h"

int CAccountUploader::UploadNew() {
    upload::Run run(m_runServices, m_hMainWnd, upload::kUploadNewMode, m_strWorkPath, false);
    if (!run.Claimed())
        return 0;
    const upload::ResultWriter writer(m_pReserveList, m_pBankList);
    return upload::WithinMemory(
        run, [&] { return upload::NewAccountsUpload(*this, run, writer).Run(); });
}
