// The filter window "Filters" on a private copy of the demo database.
#include "ui/setup/FilterSelect.h"

#include "core/sites/FilterFile.h"
#include "core/sites/SiteQuery.h"
#include "platform/odbc/Odbc.h"
#include "platform/odbc/TestServices.h"
#include "UiTestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace mv::ui {
namespace {

using mv::test::TServices;

// The file dialogs answered by the test.
class TTestFilterSelect : public TfrmFilterSelect {
public:
    using TfrmFilterSelect::TfrmFilterSelect;
    QString OpenAnswer, SaveAnswer;
    int SaveAsked = 0;

protected:
    QString AskOpenFileName() override { return OpenAnswer; }
    QString AskSaveFileName() override
    {
        ++SaveAsked;
        return SaveAnswer;
    }
};

std::string Slurp(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class FilterWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::copy_file(TServices::Get()["MV_DEMO_DB"], FDir.File("copy.db"));
        FDb.Connect({TServices::Get()["MV_SQLITE_DSN"], "", "", FDir.File("copy.db")});
    }
    int FieldIndex(TfrmFilterSelect& w, const QString& field) { return w.cboFilterItem->findText(field); }
    void AddComparison(TfrmFilterSelect& w, const QString& field, int condition, const QString& value)
    {
        w.cboFilterItem->setCurrentIndex(FieldIndex(w, field));
        w.cboFilterCondition->setCurrentIndex(condition);
        w.cboFilterValue->setCurrentText(value);
        w.btnAdd->click();
    }
    QStringList DataStations(TfrmFilterSelect& w)
    {
        QStringList s;
        for (int i = 0; i < w.lstSiteSensors->topLevelItemCount(); ++i) s << w.lstSiteSensors->topLevelItem(i)->text(0);
        return s;
    }

    mv::test::TScratchDir FDir;
    odbc::TConnection FDb;
    test::TMessageRecorder FMessages;
};

TEST_F(FilterWindow, FieldsOfBothTablesWithTheirValues)
{
    FDb.Execute("UPDATE MV_SITES SET REPORTING_TIME = NULL");
    TTestFilterSelect w(nullptr, &FDb);
    EXPECT_EQ(w.windowTitle(), "Filters");
    ASSERT_EQ(w.cboFilterItem->count(), 13);
    EXPECT_EQ(w.cboFilterItem->itemText(0), "MV_SITES.STATION_ID");
    EXPECT_EQ(w.cboFilterItem->itemText(11), "MV_SITESENSORS.STE_STATION_ID");
    EXPECT_EQ(w.cboFilterValue->count(), 20);  // the first field's values
    EXPECT_EQ(w.cboFilterValue->itemText(0), "FTC01");
    w.cboFilterItem->setCurrentIndex(FieldIndex(w, "MV_SITES.REPORTING_TIME"));
    ASSERT_EQ(w.cboFilterValue->count(), 1);
    EXPECT_EQ(w.cboFilterValue->itemText(0), "<None Defined>");
    ASSERT_EQ(w.cboFilterCondition->count(), 6);
    EXPECT_EQ(w.cboFilterCondition->itemText(0), "  = ");
    EXPECT_EQ(w.cboFilterCondition->itemText(5), " LIKE ");
    EXPECT_EQ(w.edtFilterFile->toolTip(), "This file contains the filters specified in MVDesktop");
    EXPECT_TRUE(FMessages.Requests.empty());
}

TEST_F(FilterWindow, WithoutTheTablesTheErrorIsShownAndTheWindowOpens)
{
    FDb.Execute("DROP TABLE MV_SITESENSORS");
    TTestFilterSelect w(nullptr, &FDb);
    ASSERT_EQ(FMessages.Requests.size(), 1u);
    EXPECT_EQ(FMessages.Requests[0].Kind, TMessageKind::Error);
    EXPECT_TRUE(FMessages.Requests[0].Text.contains("MV_SITESENSORS", Qt::CaseInsensitive));
    EXPECT_EQ(w.cboFilterItem->count(), 11);  // MV_SITES was read
}

TEST_F(FilterWindow, AddQuotesTextAndLeavesNumbersBare)
{
    TTestFilterSelect w(nullptr, &FDb);
    AddComparison(w, "MV_SITES.BASIN", 0, "");  // a blank value adds nothing
    EXPECT_TRUE(w.edtText->toPlainText().isEmpty());
    w.edtText->setPlainText("  \n\n");
    AddComparison(w, "MV_SITES.BASIN", 0, "O'Brien Creek");
    AddComparison(w, "MV_SITES.PRIMARY_CHANNEL", 3, "10");
    EXPECT_EQ(w.edtText->toPlainText(), "MV_SITES.BASIN   =  'O''Brien Creek' AND \nMV_SITES.PRIMARY_CHANNEL   >=  10");
    EXPECT_FALSE(w.FileSaved());

    FDb.Execute("UPDATE MV_SITES SET BASIN = 'O''Brien Creek' WHERE STATION_ID IN ('KRN01', 'SLN01')");
    w.btnExec->click();
    // KRN01 has channel 8, SLN01 channel 10: only SLN01's four sensors.
    EXPECT_EQ(DataStations(w), (QStringList{"SLN01", "SLN01", "SLN01", "SLN01"}));
}

TEST_F(FilterWindow, ExecuteListsPairsSortedAndRefusesASecondStatement)
{
    TTestFilterSelect w(nullptr, &FDb);
    w.btnExec->click();
    const QStringList all = DataStations(w);
    ASSERT_EQ(all.size(), 80);
    QStringList sorted = all;
    sorted.sort();
    EXPECT_EQ(all, sorted);

    w.edtText->setPlainText("MV_SITES.CITY = 'Greeley' OR \nMV_SITES.CITY = 'Lyons'");
    w.btnExec->click();
    EXPECT_EQ(w.lstSiteSensors->topLevelItemCount(), 16);

    for (const char* text : {"MV_SITES.CITY = = 'x'", "MV_SITES.CITY = 'Lyons'; DELETE FROM MV_SITES"}) {
        SCOPED_TRACE(text);
        w.edtText->setPlainText(text);
        w.btnExec->click();
        EXPECT_EQ(w.lstSiteSensors->topLevelItemCount(), 0);
    }
    EXPECT_TRUE(FMessages.Requests.empty());
    odbc::TStatement st(FDb);
    st.ExecuteDirect("SELECT COUNT(*) FROM MV_SITES");
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.Int64(0), 20);
}

TEST_F(FilterWindow, OkOnlyWithASavedFile)
{
    TTestFilterSelect w(nullptr, &FDb);
    QString name;
    // New, Add, OK: refused.
    w.btnNew->click();
    AddComparison(w, "MV_SITES.STATE", 0, "Kansas");
    w.btnOK->click();
    ASSERT_EQ(FMessages.Requests.size(), 1u);
    EXPECT_EQ(FMessages.Requests[0].Kind, TMessageKind::Information);
    EXPECT_EQ(FMessages.Requests[0].Text, "Please save the filter file before selecting it");
    EXPECT_EQ(w.result(), 0);
    EXPECT_FALSE(w.GetFilterFileName(name));

    // Save with no file name asks for one; a cancelled dialog saves nothing.
    w.btnSave->click();
    EXPECT_EQ(w.SaveAsked, 1);
    EXPECT_FALSE(w.FileSaved());
    w.SaveAnswer = QString::fromStdString(FDir.File("kansas.flt"));
    w.btnSaveAs->click();
    EXPECT_EQ(Slurp(FDir.File("kansas.flt")), "MV_SITES.STATE   =  'Kansas'\r\n");
    ASSERT_TRUE(w.GetFilterFileName(name));
    EXPECT_EQ(name, w.SaveAnswer);
    w.btnOK->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);

    // Typing after a save: refused until saved again, to the same file.
    w.setResult(0);
    w.edtText->appendPlainText("OR MV_SITES.STATE = 'Nebraska'");
    w.btnOK->click();
    EXPECT_EQ(FMessages.Requests.size(), 2u);
    w.btnSave->click();
    EXPECT_EQ(w.SaveAsked, 2);  // no dialog this time
    EXPECT_EQ(Slurp(FDir.File("kansas.flt")), "MV_SITES.STATE   =  'Kansas'\r\nOR MV_SITES.STATE = 'Nebraska'\r\n");
    w.btnOK->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
}

TEST_F(FilterWindow, OpenGivesTheFileWithoutASave)
{
    WriteTextLines(FDir.File("lyons.flt"), {"MV_SITES.CITY = 'Lyons'", "", "  "});
    TTestFilterSelect w(nullptr, &FDb);
    w.OpenAnswer = QString::fromStdString(FDir.File("lyons.flt"));
    w.btnOpen->click();
    EXPECT_EQ(w.edtText->toPlainText(), "MV_SITES.CITY = 'Lyons'\n\n  ");
    EXPECT_EQ(w.edtFilterFile->text(), w.OpenAnswer);
    QString name;
    ASSERT_TRUE(w.GetFilterFileName(name));
    EXPECT_EQ(name, w.OpenAnswer);
    w.btnExec->click();
    EXPECT_EQ(w.lstSiteSensors->topLevelItemCount(), 8);

    // A file that cannot be read: not saved, OK refused.
    w.OpenAnswer = QString::fromStdString(FDir.File("gone.flt"));
    w.btnOpen->click();
    EXPECT_FALSE(w.GetFilterFileName(name));
    // A file that cannot be written: not saved either.
    w.WriteFilterFile(QString::fromStdString(FDir.File("no/such/dir/x.flt")));
    EXPECT_FALSE(w.FileSaved());
}

}  // namespace
}  // namespace mv::ui
