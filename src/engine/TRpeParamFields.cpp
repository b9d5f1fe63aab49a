#include "engine/TRpeParamFields.h"

#include "engine/RpeValueText.h"
#include "engine/TRpe.h"

namespace mv {

namespace {

REValueInfo NewValue()
{
    REValueInfo v{};
    v.StructSize = sizeof v;
    return v;
}

TRpParamInfoValueType ValueTypeOfKind(uint16_t kind)
{
    switch (kind) {
    case RE_DR_RANGE: return TRpParamInfoValueType::vtRange;
    case RE_DR_DISCRETEANDRANGE: return TRpParamInfoValueType::vtDiscreteAndRange;
    default: return TRpParamInfoValueType::vtDiscrete;
    }
}

}  // namespace

// ---- ParamFields ------------------------------------------------------------------

int TRpeParamFields::Count()
{
    if (!FOwner.CanOpenJob()) return 0;
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.CurrentJob();
    int16_t n = FOwner.FEngine.GetNParameterFields(job);
    FOwner.Check(n >= 0, job, "ParamFields.Count <REGetNParameterFields>");
    return n;
}

void TRpeParamFields::SetNumber(int index)
{
    FNumber = index;
    if (!FOwner.CanOpenJob()) return;
    FOwner.OpenPrintJob();
    TRpeEngine& e = FOwner.FEngine;
    const RE_JOB job = FOwner.CurrentJob();
    const std::string ctx = "ParamFields.SetIndex(" + std::to_string(index) + ") <";
    const auto n = static_cast<int16_t>(index);

    REParameterFieldInfo pf{};
    pf.StructSize = sizeof pf;
    FOwner.Check(e.GetNthParameterField(job, n, &pf) != 0, job, ctx + "REGetNthParameterField>");
    TRpeParamFieldsItem& it = FItem;
    it.FName = rpe::FieldText(pf.Name, sizeof pf.Name);
    it.FReportName = rpe::FieldText(pf.ReportName, sizeof pf.ReportName);
    it.FPrompt = rpe::FieldText(pf.Prompt, sizeof pf.Prompt);
    it.FParamType = static_cast<TRpParamFieldType>(pf.ValueType);
    it.FIsLinked = pf.IsLinked != 0;
    it.FInfo = TRpeParamInfo();
    it.FInfo.FValueType = ValueTypeOfKind(pf.DiscreteOrRangeKind);
    it.FInfo.FAllowMultipleValues = pf.AllowMultipleValues != 0;
    it.FCurrentValues.FStrings.clear();

    it.FDefaultValue.clear();
    if (pf.DefaultValueSet) {
        REValueInfo v = NewValue();
        FOwner.Check(e.ConvertPFInfoToVInfo(pf.DefaultValue, pf.ValueType, &v) != 0, 0,
                     ctx + "REConvertPFInfoToVInfo>");
        it.FDefaultValue = rpe::ValueToText(v);
    }
    it.FCurrentValue.clear();
    if (pf.CurrentValueSet) {
        REValueInfo v = NewValue();
        FOwner.Check(e.ConvertPFInfoToVInfo(pf.CurrentValue, pf.ValueType, &v) != 0, 0,
                     ctx + "REConvertPFInfoToVInfo>");
        it.FCurrentValue = rpe::ValueToText(v);
    }

    const char* name = pf.Name;
    const char* report = pf.ReportName;
    REValueInfo minValue = NewValue(), maxValue = NewValue();
    FOwner.Check(e.GetParameterMinMaxValue(job, name, report, &minValue, &maxValue) != 0, job,
                 ctx + "REGetParameterMinMaxValue>");
    REParameterValueInfo vi{};
    vi.StructSize = sizeof vi;
    FOwner.Check(e.GetParameterValueInfo(job, name, report, &vi) != 0, job, ctx + "REGetParameterValueInfo>");
    it.FInfo.FIsNullable = vi.IsNullable != 0;
    it.FInfo.FHasLimits = vi.HasLimits != 0;
    if (vi.HasLimits) {
        it.FInfo.FMinValue = rpe::ValueToText(minValue);
        it.FInfo.FMaxValue = rpe::ValueToText(maxValue);
    }
    int16_t kind = e.GetNthParameterType(job, n);
    FOwner.Check(kind >= 0, job, ctx + "REGetNthParameterType>");
    char browse[2 * RE_NAME_LEN + 2] = {};
    FOwner.Check(e.GetParameterBrowseField(job, name, report, browse, sizeof browse) != 0, job,
                 ctx + "REGetParameterBrowseField>");
    it.FBrowseField = rpe::FieldText(browse, sizeof browse);
}

bool TRpeParamFields::AllowDialog()
{
    if (!FOwner.CanOpenJob()) return FAllowDialog;
    FOwner.OpenPrintJob();
    FAllowDialog = FOwner.FEngine.GetAllowPromptDialog(FOwner.CurrentJob()) != 0;
    return FAllowDialog;
}

void TRpeParamFields::SetAllowDialog(bool value)
{
    FAllowDialog = value;
    if (!FOwner.CanOpenJob()) return;
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.CurrentJob();
    if ((FOwner.FEngine.GetAllowPromptDialog(job) != 0) == value) return;
    FOwner.Check(FOwner.FEngine.SetAllowPromptDialog(job, value ? 1 : 0) != 0, job,
                 "SetAllowDialog <RESetAllowPromptDialog>");
}

// ---- Current values -----------------------------------------------------------------

bool TRpeParamFieldCurrentValues::Clear()
{
    FStrings.clear();
    if (!FOwner.CanOpenJob()) return true;
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.CurrentJob();
    return FOwner.Check(
        FOwner.FEngine.ClearParameterCurrentValuesAndRanges(job, FItem.FName.c_str(), FItem.FReportName.c_str()) != 0,
        job, "Clear <REClearParameterCurrentValuesAndRanges>", {RE_ERR_NOTCURRENTVALUES});
}

int TRpeParamFieldCurrentValues::Add(const std::string& text)
{
    if (FItem.FParamType == TRpParamFieldType::pfBoolean) return -1;
    if (!FOwner.CanOpenJob()) {
        FStrings.push_back(text);
        return static_cast<int>(FStrings.size()) - 1;
    }
    std::optional<REValueInfo> value = rpe::TextToValue(text, static_cast<uint16_t>(FItem.FParamType));
    if (!value)
        FOwner.Raise(305, "Error converting string to ValueInfo - ParamFields[" +
                              std::to_string(FItem.FFields.FNumber) + "].CurrentValues.Add <StrToValueInfo>");
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.CurrentJob();
    if (!FOwner.Check(FOwner.FEngine.AddParameterCurrentValue(job, FItem.FName.c_str(), FItem.FReportName.c_str(),
                                                              &*value) != 0,
                      job, "Add <REAddParameterCurrentValue>", {RE_ERR_NOTCURRENTVALUES}))
        return -1;
    FStrings.push_back(text);
    return static_cast<int>(FStrings.size()) - 1;
}

int TRpeParamFieldCurrentValues::Count()
{
    if (!FOwner.CanOpenJob()) return static_cast<int>(FStrings.size());
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.CurrentJob();
    int16_t n = FOwner.FEngine.GetNParameterCurrentValues(job, FItem.FName.c_str(), FItem.FReportName.c_str());
    if (!FOwner.Check(n >= 0, job, "Count <REGetNParameterCurrentValues>", {RE_ERR_NOTCURRENTVALUES})) return -1;
    return n;
}

std::string TRpeParamFieldCurrentValues::Get(int index)
{
    if (!FOwner.CanOpenJob())
        return index >= 0 && static_cast<size_t>(index) < FStrings.size() ? FStrings[static_cast<size_t>(index)]
                                                                           : std::string();
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.CurrentJob();
    REValueInfo v = NewValue();
    FOwner.Check(FOwner.FEngine.GetNthParameterCurrentValue(job, FItem.FName.c_str(), FItem.FReportName.c_str(),
                                                            static_cast<int16_t>(index), &v) != 0,
                 job, "CurrentValues.Get <REGetNthParameterCurrentValue>");
    return rpe::ValueToText(v);
}

// ---- Item.CurrentValue ------------------------------------------------------------------

void TRpeParamFieldsItem::SetCurrentValue(const std::string& text)
{
    FCurrentValue = rpe::CutToCharacters(text, 256);
    if (!FOwner.CanOpenJob()) return;
    FOwner.OpenPrintJob();
    if (FInfo.FValueType == TRpParamInfoValueType::vtRange) return;

    TRpeEngine& e = FOwner.FEngine;
    const RE_JOB job = FOwner.CurrentJob();
    const int index = FFields.FNumber;
    REParameterFieldInfo pf{};
    pf.StructSize = sizeof pf;
    FOwner.Check(e.GetNthParameterField(job, static_cast<int16_t>(index), &pf) != 0, job,
                 "SetCurrentValue <REGetNthParameterField>");
    std::string present;
    if (pf.CurrentValueSet) {
        REValueInfo v = NewValue();
        FOwner.Check(e.ConvertPFInfoToVInfo(pf.CurrentValue, pf.ValueType, &v) != 0, 0,
                     "SetCurrentValue <REConvertPFInfoToVInfo>");
        present = rpe::ValueToText(v);
    }
    if (rpe::SameValue(pf.ValueType, present, FCurrentValue)) return;

    std::optional<REValueInfo> value = rpe::TextToValue(FCurrentValue, pf.ValueType);
    if (!value) {
        int number = rpe::ConversionErrorNumber(pf.ValueType);
        FOwner.Raise(number, rpe::ConversionErrorText(number) + " - ParamFields[" + std::to_string(index) +
                                 "].SetCurrentValue <StrToValueInfo>");
    }
    uint16_t type = pf.ValueType;
    FOwner.Check(e.ConvertVInfoToPFInfo(&*value, &type, pf.CurrentValue) != 0, 0,
                 "SetCurrentValue <REConvertVInfoToPFInfo>");
    pf.CurrentValueSet = 1;

    if (pf.ValueType == RE_PF_BOOLEAN) {
        FOwner.Check(e.SetNthParameterField(job, static_cast<int16_t>(index), &pf) != 0, job,
                     "SetCurrentValue <RESetNthParameterField>");
        return;
    }
    const char* name = FName.c_str();
    const char* report = FReportName.c_str();
    int count = FCurrentValues.Count();
    std::vector<REValueInfo> values;
    for (int i = 0; i < count; ++i) {
        REValueInfo v = NewValue();
        FOwner.Check(e.GetNthParameterCurrentValue(job, name, report, static_cast<int16_t>(i), &v) != 0, job,
                     "SetCurrentValue <REGetNthParameterCurrentValue>");
        values.push_back(v);
    }
    if (values.empty()) {
        values.push_back(*value);
    } else {
        values[0] = *value;
        if (!FCurrentValues.Clear()) return;
    }
    for (const REValueInfo& v : values) {
        if (!FOwner.Check(e.AddParameterCurrentValue(job, name, report, &v) != 0, job,
                          "Add <REAddParameterCurrentValue>", {RE_ERR_NOTCURRENTVALUES}))
            return;
    }
}

}  // namespace mv
