#pragma once
// The two file formats. Each writes a complete file to `path` (a temporary
// file the caller renames) and returns "" or the reason it failed; a cancel
// returns kExportCancelled.

#include "export/TableExport.h"

// Counts the rows written for the caller's progress and answers whether the
// export is to stop.
class ExportTicker {
public:
    ExportTicker(const ExportControl& control, const std::vector<ExportTable>& tables);
    // After each row; false once the caller asked to stop.
    bool Row();
    // The rows are all written; a workbook is packed next.
    void RowsDone(bool packing);
    bool Cancelled() const;

private:
    const ExportControl& m_control;
    std::size_t m_total = 0;
    std::size_t m_done = 0;
};

std::string WriteCsv(const std::string& path, const std::vector<ExportTable>& tables,
                     ExportTicker& ticker);
std::string WriteXlsx(const std::string& path, const std::vector<ExportTable>& tables,
                      ExportTicker& ticker);
