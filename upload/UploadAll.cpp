#include "accounts/AccountUploader.h"

int CAccountUploader::UploadAll() { return 0; }

bool CAccountUploader::IsUploading() const { return m_bUploading; }
