#include "accounts/AccountUploader.h"

void CAccountUploader::UpdateLists(int, std::vector<UploadResultRecord>&, int*, int*) {}
int CAccountUploader::ClearResults() { return 1; }
