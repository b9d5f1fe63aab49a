// Logon and parameter operations and the engine calls they end in.
#include "Recorder.h"

namespace {

using mv::ERpeError;
using mv::TRpe;
using mvtest::TRecordingTest;

using TLogon = TRecordingTest;
using TParams = TRecordingTest;

TEST_F(TLogon, NoWriteWhenTheReportAlreadyHasTheValue)
{
    Rec.SetLogon("MVDEMO", "", "op", "pw");
    TRpe rpe;
    Open(rpe);
    rpe.Connect().SetServerName("MVDEMO");
    rpe.Connect().SetUserID("op");
    rpe.Connect().SetPassword("new");
    EXPECT_EQ(Rec.CallsOf("RESetNthTableLogOnInfo"),
              std::vector<std::string>{"RESetNthTableLogOnInfo(1, 0, server=\"MVDEMO\", database=\"\", "
                                       "user=\"op\", password=\"new\", TRUE)"});
    EXPECT_EQ(Rec.CallsOf("REGetNTables").size(), 3u);
}

TEST_F(TLogon, ReportWithoutTablesGetsNothing)
{
    Rec.SetTables(0);
    TRpe rpe;
    Open(rpe);
    rpe.Connect().SetServerName("MVDEMO");
    rpe.Connect().SetPropagate(true);
    for (const std::string& c : Rec.Calls()) EXPECT_EQ(c, "REGetNTables(1)");
    EXPECT_EQ(rpe.Connect().ServerName(), "MVDEMO");
}

TEST_F(TLogon, NothingReachesTheEngineWithoutAReport)
{
    TRpe rpe;
    rpe.Connect().SetServerName("MVDEMO");
    rpe.Connect().SetPropagate(true);
    rpe.SetReportName(kReport + ".missing");
    rpe.Connect().SetUserID("op");
    EXPECT_TRUE(Rec.Calls(true).empty());
    EXPECT_EQ(rpe.Connect().UserID(), "op");
}

TEST_F(TLogon, PropagateReachesEverySubreportAndRestoresTheCurrentOne)
{
    Rec.AddSubreport("Rain", 4000, 2);
    Rec.AddSubreport("Notes", 8000, 0);  // no tables: no logon to set
    Rec.AddSubreport("Wind", 8000, 1);
    TRpe rpe;
    Open(rpe);
    rpe.Connect().SetServerName("MVDEMO");
    rpe.Subreports().SetNumber(1);
    Rec.ClearLog();
    rpe.Connect().SetPropagate(true);
    EXPECT_EQ(rpe.Subreports().Number(), 1);
    std::vector<std::string> sets = Rec.CallsOf("RESetNthTableLogOnInfo");
    // Four values, each to the main report and the two subreports with tables.
    ASSERT_EQ(sets.size(), 12u);
    const std::string mvdemo = ", 0, server=\"MVDEMO\", database=\"\", user=\"\", password=\"\", TRUE)";
    EXPECT_EQ(sets[0], "RESetNthTableLogOnInfo(1" + mvdemo);
    EXPECT_EQ(sets[1], "RESetNthTableLogOnInfo(2" + mvdemo);  // Rain, opened before
    EXPECT_EQ(sets[2], "RESetNthTableLogOnInfo(4" + mvdemo);  // Wind, opened now
    EXPECT_EQ(Rec.CallsOf("REOpenSubreport"),
              (std::vector<std::string>{"REOpenSubreport(1, \"Notes\")", "REOpenSubreport(1, \"Wind\")"}));
}

TEST_F(TParams, CountNumberAndItem)
{
    Rec.AddParam("StartTime", RE_PF_DATETIME, RE_DR_DISCRETE, "2024,01,01 00:00:00");
    Rec.AddParam("Linked", RE_PF_NUMBER, RE_DR_DISCRETE, nullptr, true, "Sub");
    Rec.AddParam("Span", RE_PF_NUMBER, RE_DR_RANGE);
    TRpe rpe;
    EXPECT_EQ(rpe.ParamFields().Count(), 0);
    EXPECT_EQ(rpe.ParamFields().Number(), -1);
    rpe.SetReportName(kReport);
    ASSERT_EQ(rpe.ParamFields().Count(), 3);
    struct {
        int Index;
        const char* Name;
        const char* Report;
        mv::TRpParamFieldType Type;
        mv::TRpParamInfoValueType ValueType;
        bool Linked;
        const char* Current;
    } const cases[] = {
        {0, "StartTime", "", mv::TRpParamFieldType::pfDateTime, mv::TRpParamInfoValueType::vtDiscrete, false,
         "2024,01,01 00:00:00"},
        {1, "Linked", "Sub", mv::TRpParamFieldType::pfNumber, mv::TRpParamInfoValueType::vtDiscrete, true, ""},
        {2, "Span", "", mv::TRpParamFieldType::pfNumber, mv::TRpParamInfoValueType::vtRange, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        rpe.ParamFields().SetNumber(c.Index);
        const auto& item = rpe.ParamFields().Item();
        EXPECT_EQ(item.Name(), c.Name);
        EXPECT_EQ(item.ReportName(), c.Report);
        EXPECT_EQ(item.ParamType(), c.Type);
        EXPECT_EQ(item.Info().ValueType(), c.ValueType);
        EXPECT_EQ(item.IsLinked(), c.Linked);
        EXPECT_EQ(item.CurrentValue(), c.Current);
    }
}

TEST_F(TParams, SameValueMakesNoWrite)
{
    Rec.AddParam("StartTime", RE_PF_DATETIME, RE_DR_DISCRETE, "2024,03,01 00:00:00");
    Rec.AddParam("Region", RE_PF_STRING, RE_DR_DISCRETE, "North");
    Rec.AddParam("Flag", RE_PF_BOOLEAN, RE_DR_DISCRETE, "True");
    struct {
        int Index;
        const char* Text;
        bool Writes;
    } const cases[] = {
        {0, "2024,03,01 00:00:00", false},
        {0, "2024,3,1   00:00:00.250", false},  // the same date-time written differently
        {0, "2024,03,01 00:00:01", true},
        {1, "North", false},
        {1, "North ", true},                   // texts compare exactly
        {2, "yes", false},                     // Booleans compare as values
        {2, "F", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TRpe rpe;
        Open(rpe);
        rpe.ParamFields().SetNumber(c.Index);
        Rec.ClearLog();
        rpe.ParamFields().Item().SetCurrentValue(c.Text);
        bool wrote = !Rec.CallsOf("REAddParameterCurrentValue").empty() ||
                     !Rec.CallsOf("RESetNthParameterField").empty();
        EXPECT_EQ(wrote, c.Writes);
    }
}

TEST_F(TParams, EmptyPresentValueIsNeverTheSame)
{
    Rec.AddParam("Region", RE_PF_STRING);
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetNumber(0);
    rpe.ParamFields().Item().SetCurrentValue("");
    EXPECT_EQ(Rec.CallsOf("REAddParameterCurrentValue").size(), 1u);
}

TEST_F(TParams, CurrentValueReplacesTheFirstOfSeveralValues)
{
    Rec.AddParam("Sites", RE_PF_STRING, RE_DR_DISCRETE, "A\nB\nC");
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetNumber(0);
    rpe.ParamFields().Item().SetCurrentValue("Z");
    EXPECT_EQ(Rec.ParamValues("Sites"), "Z\nB\nC");
}

TEST_F(TParams, CurrentValueKeepsTheFirst256Characters)
{
    Rec.AddParam("Note", RE_PF_STRING);
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetNumber(0);
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += static_cast<char>('a' + i % 26);
    rpe.ParamFields().Item().SetCurrentValue(longText);
    EXPECT_EQ(rpe.ParamFields().Item().CurrentValue(), longText.substr(0, 256));
    // The engine's value field holds 255 bytes and a NUL.
    EXPECT_EQ(Rec.ParamValues("Note"), longText.substr(0, 255));

    // Characters, not bytes: 300 two-byte characters keep 256 of them.
    std::string wide;
    for (int i = 0; i < 300; ++i) wide += "\xc3\xa9";
    rpe.ParamFields().Item().SetCurrentValue(wide);
    EXPECT_EQ(rpe.ParamFields().Item().CurrentValue(), wide.substr(0, 512));
}

TEST_F(TParams, RangeOnlyParameterStoresTheTextAndSendsNothing)
{
    Rec.AddParam("Span", RE_PF_NUMBER, RE_DR_RANGE);
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetNumber(0);
    Rec.ClearLog();
    rpe.ParamFields().Item().SetCurrentValue("12");
    EXPECT_TRUE(Rec.Calls().empty());
    EXPECT_EQ(rpe.ParamFields().Item().CurrentValue(), "12");
}

TEST_F(TParams, BooleanTakesItsValueOnlyThroughCurrentValue)
{
    Rec.AddParam("Flag", RE_PF_BOOLEAN);
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetNumber(0);
    Rec.ClearLog();
    EXPECT_EQ(rpe.ParamFields().Item().CurrentValues().Add("True"), -1);
    EXPECT_TRUE(Rec.Calls().empty());
    rpe.ParamFields().Item().SetCurrentValue(" yes");
    EXPECT_EQ(Rec.CallsOf("RESetNthParameterField"),
              std::vector<std::string>{"RESetNthParameterField(1, 0, \"Flag\", current=\"True\", set=1)"});
    EXPECT_TRUE(Rec.CallsOf("REAddParameterCurrentValue").empty());
    EXPECT_EQ(Rec.ParamValues("Flag"), "True");
}

TEST_F(TParams, LinkedParameterToleratesItsRefusals)
{
    Rec.AddParam("FromMain", RE_PF_NUMBER, RE_DR_DISCRETE, nullptr, true, "Sub");
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetNumber(0);
    auto& values = rpe.ParamFields().Item().CurrentValues();
    EXPECT_FALSE(values.Clear());
    EXPECT_EQ(values.Add("12"), -1);
    EXPECT_EQ(values.Count(), -1);
    EXPECT_EQ(rpe.LastErrorNumber(), 656);
}

TEST_F(TParams, ValuesAddedThroughCurrentValues)
{
    Rec.AddParam("Sites", RE_PF_STRING);
    Rec.AddParam("Level", RE_PF_NUMBER);
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetNumber(0);
    auto& sites = rpe.ParamFields().Item().CurrentValues();
    EXPECT_TRUE(sites.Clear());
    EXPECT_EQ(sites.Add("ST001"), 0);
    EXPECT_EQ(sites.Add("ST002"), 1);
    EXPECT_EQ(sites.Count(), 2);
    EXPECT_EQ(sites.Get(1), "ST002");
    rpe.ParamFields().SetNumber(1);
    EXPECT_EQ(rpe.ParamFields().Item().CurrentValues().Add("$(12.5)"), 0);
    EXPECT_EQ(Rec.ParamValues("Level"), "-12.5");
    try {
        rpe.ParamFields().Item().CurrentValues().Add("twelve");
        ADD_FAILURE();
    } catch (const ERpeError& e) {
        EXPECT_STREQ(e.what(),
                     "Error:305 Error converting string to ValueInfo - ParamFields[1].CurrentValues.Add <StrToValueInfo>");
    }
}

TEST_F(TParams, ValueTextsThatDoNotConvert)
{
    struct {
        const char* Name;
        int Type;
        const char* Text;
        const char* Message;
    } const cases[] = {
        {"N", RE_PF_NUMBER, "12a", "Error:292 Invalid Number Value"},
        {"C", RE_PF_CURRENCY, "1.2.3", "Error:293 Invalid Currency Value"},
        {"B", RE_PF_BOOLEAN, "  ", "Error:294 Invalid Boolean Value (Proper format: True/False)"},
        {"D", RE_PF_DATE, "2023,02,29", "Error:296 Invalid Date Value (Proper format: YYYY,MM,DD)"},
        {"Ch", RE_PF_CHAR, "", "Error:297 Invalid String Value"},
        {"DT", RE_PF_DATETIME, "2024,03,01", "Error:298 Invalid DateTime Value (Proper format: YYYY,MM,DD HH:MM:SS)"},
        {"T", RE_PF_TIME, "24:00:00", "Error:299 Invalid Time Value (Proper format: HH:MM:SS)"},
        {"I", RE_PF_INTEGER, "2147483648", "Error:292 Invalid Number Value"},
    };
    for (const auto& c : cases) Rec.AddParam(c.Name, c.Type);
    TRpe rpe;
    Open(rpe);
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        rpe.ParamFields().SetNumber(index);
        try {
            rpe.ParamFields().Item().SetCurrentValue(c.Text);
            ADD_FAILURE() << "converted";
        } catch (const ERpeError& e) {
            EXPECT_EQ(std::string(e.what()), std::string(c.Message) + " - ParamFields[" + std::to_string(index) +
                                                 "].SetCurrentValue <StrToValueInfo>");
        }
        ++index;
    }
    EXPECT_TRUE(Rec.CallsOf("REAddParameterCurrentValue").empty());
}

TEST_F(TParams, AllowDialogWritesOnlyAChange)
{
    TRpe rpe;
    Open(rpe);
    rpe.ParamFields().SetAllowDialog(false);
    rpe.ParamFields().SetAllowDialog(false);
    EXPECT_EQ(Rec.Calls(), (std::vector<std::string>{"REGetAllowPromptDialog(1)", "RESetAllowPromptDialog(1, FALSE)",
                                                     "REGetAllowPromptDialog(1)"}));
    EXPECT_FALSE(rpe.ParamFields().AllowDialog());
}

TEST_F(TParams, QueryTextAndReportsWithoutOne)
{
    TRpe rpe;
    Open(rpe);
    EXPECT_FALSE(rpe.SQL().Retrieve());  // the engine answers 515
    EXPECT_EQ(rpe.LastErrorNumber(), 515);
    Rec.SetSQL("SELECT site\r\nFROM readings\r\nWHERE t >= ?");
    ASSERT_TRUE(rpe.SQL().Retrieve());
    EXPECT_EQ(rpe.SQL().Query(), (std::vector<std::string>{"SELECT site", "FROM readings", "WHERE t >= ?"}));
}

}  // namespace
