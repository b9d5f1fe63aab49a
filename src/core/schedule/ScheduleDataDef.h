#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/schedule/ReportItem.h"
#include "core/timing/DateTime.h"

namespace mv {

// One schedule group: which report runs, when and how often, over which
// data period, with which selection and parameters, where the output goes;
// plus the run state the scheduler keeps for it.
//
// Not copyable: a copy is made with Assign(), whose rules (lists appended,
// run flag left alone) differ from a plain copy.
class TVidUduzadevGroupItem {
public:
    // Defaults of a new group; BaseTime is today's date at 00:00 (from CurrentClock()).
    TVidUduzadevGroupItem();
    TVidUduzadevGroupItem(const TVidUduzadevGroupItem&) = delete;
    TVidUduzadevGroupItem& operator=(const TVidUduzadevGroupItem&) = delete;

    // Copies every field but Running from `source`; the four lists get the
    // source's lines appended after the lines they already hold.
    void Assign(const TVidUduzadevGroupItem& source);

    TReportItem Report;       // catalog entry of the group's report
    bool Enabled = false;     // runs on schedule; disabled groups are never queued
    TDateTime BaseTime = 0;   // the time of day the run grid is laid on; only the time is stored
    std::int8_t IntType = 3;  // 0 1 hour, 1 6 hours, 2 12 hours, 3 daily, 4 weekly, 5 monthly, 6 Interval
    TDateTime Interval = 0;   // duration in days for IntType 6 (whole days plus a fraction)
    std::string BeforeRun;    // kept with the group; nothing runs it
    std::string AfterRun;     // comma-separated programs run after each report
    std::string StartFrom = "Now"; // start of the next period: empty, a time keyword or a date-time text
    std::int32_t Output = 2;  // 0 none chosen, 1 printer, 2 file
    std::string Printer;      // printer name for Output 1
    std::string OutputDir;    // folder of the output file
    std::string OutputName;   // base name pattern of the output file, with date tokens
    std::string OutputPrefix; // kept with the group; not used in naming
    std::string OutputSuffix; // kept with the group; not used in naming
    std::int32_t OutputFormat = 0; // for Output 2: 0 PDF, 1 XLS, 2 HTM, 3 DOC, 4 CSV, 5 XML
    std::string TimeFrom;     // start of the data range: a time keyword or "As Entered Below:"
    std::string TimeTo;       // end of the data range, likewise
    TDateTime AbsTimeFrom = 0; // used when TimeFrom is "As Entered Below:"
    TDateTime AbsTimeTo = 0;   // used when TimeTo is "As Entered Below:"
    std::string Filter;       // filter file the editor narrows the station list with
    std::vector<std::string> Stations;      // station identifiers, one per line
    std::vector<std::string> Sensors;       // sensor names, parallel to Stations when sensor lists are used
    std::vector<std::string> OtherParams;   // "name=value" per ordinary report parameter
    std::vector<std::string> SpecialParams; // special parameter names; in practice empty or "pReportTime"
    std::string GroupName;    // "RptSchGroup:" + RGIndex; names the group's section in the schedule file
    std::int32_t RGIndex = 0; // group number shown to the operator, 1..999

    // Run state, never stored.
    TDateTime PeriodStart = 0; // start of the next period to report on
    TDateTime Period = 0;      // length of the current period in days
    TDateTime NextRun = 0;     // first run-grid time at or after PeriodStart; -1 without a schedule
    TDateTime CatchUpRun = 0;  // first run-grid time at or after the last full evaluation
    std::string EvaluatedFrom; // the StartFrom text PeriodStart was last evaluated from
    bool Running = false;      // a report job for this group is running

    bool operator==(const TVidUduzadevGroupItem&) const = default;
};

// The special parameter that makes a report take its period's date.
inline constexpr const char* kReportTimeParam = "pReportTime";

// A group whose report takes no time range and no "pReportTime" has no
// period of its own to continue from: its StartFrom becomes "Now".
void ApplyStartFromRule(TVidUduzadevGroupItem& group);

// The ordered groups of the scheduler; owns them. Indexes run 0..Count()-1
// in insertion order.
class TVidUduzadevGroups {
public:
    TVidUduzadevGroups();
    ~TVidUduzadevGroups();
    TVidUduzadevGroups(const TVidUduzadevGroups&) = delete;
    TVidUduzadevGroups& operator=(const TVidUduzadevGroups&) = delete;

    // Appends at index Count(); returns the group now owned here.
    TVidUduzadevGroupItem& Add(std::unique_ptr<TVidUduzadevGroupItem> group);
    // Throws std::out_of_range for an index outside 0..Count()-1.
    TVidUduzadevGroupItem& Items(int index) const;
    int Count() const { return static_cast<int>(FItems.size()); }
    // Destroys the group at `index` and moves the later ones down by one.
    void Delete(int index);
    // Deletes every group, from the last one down.
    void Clear();

private:
    void CheckIndex(int index) const;

    std::vector<std::unique_ptr<TVidUduzadevGroupItem>> FItems;
};

} // namespace mv
