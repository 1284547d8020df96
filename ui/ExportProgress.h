#pragma once
// An export run on a worker thread while a progress dialog shows the rows
// written and offers a cancel; the window goes on painting meanwhile. The call
// returns once the worker has finished, so the data it reads stays valid.

#include "export/TableExport.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;

// Makes the tables on the worker thread (a journal query may take a while).
using ExportTablesMaker = std::function<std::vector<ExportTable>()>;

// Exports what `makeTables` gives to `path` (UTF-8), with a window-modal
// progress dialog over `parent`. Returns "" on success, kExportCancelled when
// the operator cancelled, or the message for the operator.
std::string ExportWithProgress(QWidget* parent, const std::string& path,
                               ExportTablesMaker makeTables);
