#pragma once
// "上传记录": the runs in the operator's journal, newest first, and for the
// selected run its results (read a page at a time, filtered to the failed ones
// or searched by account number or name) and its requests; a run's results
// export as the results list shows them.

#include "journal/JournalReader.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

class CRequestListModel;
class CResultListModel;
class CRunListModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;

class CHistoryDlg : public QDialog {
    Q_OBJECT

public:
    using MessageSink = std::function<void(const std::string&)>;

    // Shows what `reader` reads; `showMessage` tells the operator of a failed export.
    CHistoryDlg(std::unique_ptr<journal::JournalReader> reader, MessageSink showMessage,
                QWidget* parent = nullptr);
    ~CHistoryDlg() override;

    // Shows the run in row `row` of the run list (newest first).
    void SelectRun(int row);
    // Applies the filter box and the search text now (the search also
    // applies itself a moment after the operator stops typing).
    void ApplyFilter();
    void ExportRun();

    QTableView* RunsView() const { return m_runsView; }
    QTableView* ResultsView() const { return m_resultsView; }
    QTableView* RequestsView() const { return m_requestsView; }
    const CResultListModel& Results() const { return *m_results; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // Keeps the dialog inside its screen's available area.
    void FitToScreen();
    // The failed-only box and the search text as the results list applies them.
    journal::ResultFilter CurrentFilter() const;
    void ShowRequestsIfVisible();

    std::unique_ptr<journal::JournalReader> m_reader;
    MessageSink m_showMessage;
    std::optional<std::int64_t> m_runId;
    bool m_requestsLoaded = false;

    CRunListModel* m_runs;
    CResultListModel* m_results;
    CRequestListModel* m_requests;
    QTableView* m_runsView;
    QTableView* m_resultsView;
    QTableView* m_requestsView;
    QTabWidget* m_tabs;
    QCheckBox* m_failedOnly;
    QLineEdit* m_search;
    QLabel* m_fileFacts = nullptr;
    QLabel* m_count;
    QPushButton* m_export;
    QTimer* m_searchDelay;
    bool m_fitting = false;
};
