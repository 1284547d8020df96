#include "accounts/AccountUploader.h"

int CAccountUploader::UploadEach() { return 0; }

void CAccountUploader::RequestStop() { m_bStopRequested = true; }

void CAccountUploader::SetProgressListener(std::function<void(int, int)> listener) {
    m_progressListener = std::move(listener);
}
