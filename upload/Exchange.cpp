#include "accounts/AccountUploader.h"

int CAccountUploader::Exchange(std::vector<UploadRequestRecord>& /*requests*/,
                               std::vector<UploadResultRecord>& /*results*/) {
    return -1;
}

void CAccountUploader::ClearBuffers() {
    m_requestBuf.RemoveAll();
    m_responseBuf.RemoveAll();
}
