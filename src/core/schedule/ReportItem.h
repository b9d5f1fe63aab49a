#pragma once

#include <array>
#include <string>

namespace mv {

// One entry of the report catalog: a report the scheduler can run, with the
// inputs it takes. Every schedule group carries its own copy.
class TReportItem {
public:
    std::string Key;           // identity of the entry; the schedule file stores it per group
    int ReportType = 0;        // kind of data read: 0 sensor data, 1 post-processed data
    std::string Title;         // shown to the operator and in status messages
    std::string FileName;      // report file, absolute or relative to the current or program folder
    bool Enabled = false;
    bool TimeRange = false;    // takes the parameters "StartTime" and "EndTime"
    int TimeRangeStyle = 0;    // carried along, not used by the scheduler
    bool Filter = false;       // takes a station filter
    bool SiteLists = false;    // takes the parameter "SiteList"
    bool SensorLists = false;  // takes the parameter "SensorList"
    std::string CategoryName;  // display name of the category
    int CategoryIndex = 0;     // carried along, not used by the scheduler
    std::string Category;      // identifier of the category
    int Prompt = 0;            // carried along, not used by the scheduler
    int SpecialType = 0;       // carried along; Params are read only when it is above 0
    std::array<std::string, 4> Params;
    // Summary information and file times of the report file, filled by the
    // report selection window.
    std::string PropTitle, PropSubject, PropAuthor, PropKeywords, PropComments;
    std::string PropFileName, PropCreated, PropSaved, PropAccessed;

    // Copies every field of `source`.
    void Assign(const TReportItem& source) { *this = source; }

    bool operator==(const TReportItem&) const = default;
};

} // namespace mv
