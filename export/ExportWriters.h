#pragma once
// The two file formats. Each writes a complete file to `path` (a temporary
// file the caller renames) and returns "" or the reason it failed.

#include "export/TableExport.h"

std::string WriteCsv(const std::string& path, const std::vector<ExportTable>& tables);
std::string WriteXlsx(const std::string& path, const std::vector<ExportTable>& tables);
