#pragma once

#include <string>
#include <vector>

#include "engine/RpeTypes.h"

namespace mv {

class TRpe;
class TRpeParamFields;
class TRpeParamFieldsItem;

// The current parameter's limits and options, read when it is made current.
class TRpeParamInfo {
public:
    TRpParamInfoValueType ValueType() const { return FValueType; }
    bool AllowMultipleValues() const { return FAllowMultipleValues; }
    bool IsNullable() const { return FIsNullable; }
    bool HasLimits() const { return FHasLimits; }
    const std::string& MinValue() const { return FMinValue; }  // value texts; empty without limits
    const std::string& MaxValue() const { return FMaxValue; }

private:
    friend class TRpeParamFields;
    friend class TRpeParamFieldsItem;
    TRpParamInfoValueType FValueType = TRpParamInfoValueType::vtDiscrete;
    bool FAllowMultipleValues = false, FIsNullable = false, FHasLimits = false;
    std::string FMinValue, FMaxValue;
};

// The current values of the current parameter (value texts, see
// RpeValueText.h). Clear, Add and Count go to the engine when the report is
// open; a parameter that takes no current values (a linked one) makes them
// return false / -1 / -1 without an exception.
class TRpeParamFieldCurrentValues {
public:
    TRpeParamFieldCurrentValues(TRpe& owner, TRpeParamFieldsItem& item) : FOwner(owner), FItem(item) {}

    bool Clear();
    // The new value's index; -1 for a Boolean parameter (which takes its value
    // only through Item.CurrentValue) and when the engine refuses it.
    int Add(const std::string& text);
    int Count();
    // Value `index` as the engine holds it.
    std::string Get(int index);
    // The texts added through this object since the last Clear.
    const std::vector<std::string>& Strings() const { return FStrings; }

private:
    friend class TRpeParamFields;
    friend class TRpeParamFieldsItem;
    TRpe& FOwner;
    TRpeParamFieldsItem& FItem;
    std::vector<std::string> FStrings;
};

// The parameter selected with ParamFields.Number.
class TRpeParamFieldsItem {
public:
    TRpeParamFieldsItem(TRpe& owner, TRpeParamFields& fields)
        : FOwner(owner), FFields(fields), FCurrentValues(owner, *this) {}

    const std::string& Name() const { return FName; }
    const std::string& ReportName() const { return FReportName; }  // owning subreport; empty: main
    TRpParamFieldType ParamType() const { return FParamType; }
    bool IsLinked() const { return FIsLinked; }
    const std::string& Prompt() const { return FPrompt; }
    const std::string& DefaultValue() const { return FDefaultValue; }
    const std::string& BrowseField() const { return FBrowseField; }
    const TRpeParamInfo& Info() const { return FInfo; }

    // At most 256 characters.
    const std::string& CurrentValue() const { return FCurrentValue; }
    // Keeps the first 256 characters and, unless the parameter takes only
    // ranges, makes the text the parameter's (first) current value; no write
    // when it already is. Raises 292 ... 299 for a text that does not convert.
    void SetCurrentValue(const std::string& text);

    TRpeParamFieldCurrentValues& CurrentValues() { return FCurrentValues; }

private:
    friend class TRpeParamFields;
    friend class TRpeParamFieldCurrentValues;
    TRpe& FOwner;
    TRpeParamFields& FFields;
    std::string FName, FReportName, FPrompt, FDefaultValue, FBrowseField, FCurrentValue;
    TRpParamFieldType FParamType = TRpParamFieldType::pfString;
    bool FIsLinked = false;
    TRpeParamInfo FInfo;
    TRpeParamFieldCurrentValues FCurrentValues;
};

// The report's parameters (main report and subreports).
class TRpeParamFields {
public:
    explicit TRpeParamFields(TRpe& owner) : FOwner(owner), FItem(owner, *this) {}

    // 0 when no report is named or its file does not exist.
    int Count();
    int Number() const { return FNumber; }  // -1: none selected
    // Makes parameter `index` (0-based) current and reads its definition.
    void SetNumber(int index);
    TRpeParamFieldsItem& Item() { return FItem; }

    bool AllowDialog();
    // False: the engine never asks for missing values.
    void SetAllowDialog(bool value);

private:
    friend class TRpeParamFieldsItem;
    friend class TRpeParamFieldCurrentValues;
    TRpe& FOwner;
    int FNumber = -1;
    bool FAllowDialog = true;
    TRpeParamFieldsItem FItem;
};

}  // namespace mv
