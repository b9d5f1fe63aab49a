// The group editor's printer list against the test print server, whose
// queues are FilePDF (the default), EnginePDF, BindingPDF, RuntimePDF and
// UiPDF.
#include "ScheduleSetupSupport.h"
#include "UiTestSupport.h"

#include <QComboBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace mv::ui {
namespace {

class ScheduleSetupPrinterTest : public test::SetupFixture {
protected:
    void TearDown() override { SetApplicationPrinter(""); }
    static QStringList Printers(const TfrmOptionSetup& d) {
        QStringList names;
        for (int i = 0; i < d.cboPrinters->count(); ++i) names << d.cboPrinters->itemText(i);
        return names;
    }
};

TEST_F(ScheduleSetupPrinterTest, EachGroupShowsItsOwnPrinterOrTheDefault) {
    AddGroup(1).Printer = "uipdf";  // names compare without regard to case
    Groups.Items(0).Output = 1;
    AddGroup(2).Printer = "Removed Since";
    auto d = Open();
    for (const char* queue : {"FilePDF", "EnginePDF", "BindingPDF", "RuntimePDF", "UiPDF"})
        EXPECT_TRUE(Printers(*d).contains(queue)) << queue;
    EXPECT_TRUE(d->rdoOutputPrinter->isChecked());
    EXPECT_EQ(d->cboPrinters->currentText(), "UiPDF");

    d->cbxGroup->setCurrentIndex(1);
    d->cbxGroupChange();
    EXPECT_EQ(d->cboPrinters->currentText(), "FilePDF");
    d->btnNew->click();
    EXPECT_EQ(d->cboPrinters->currentText(), "FilePDF");

    d->cbxGroup->setCurrentIndex(0);
    d->cbxGroupChange();
    d->cboPrinters->setCurrentText("RuntimePDF");
    d->btnSave->click();
    EXPECT_EQ(Groups.Items(0).Printer, "RuntimePDF");
}

TEST_F(ScheduleSetupPrinterTest, PrintDialogChoosesTheApplicationPrinter) {
    AddGroup(1).Printer = "UiPDF";
    Groups.Items(0).Output = 1;
    auto d = Open();
    EXPECT_EQ(ApplicationPrinter(), "FilePDF");

    // Cancelled: the group's choice stays.
    test::WhenModal([](QWidget* w) {
        ASSERT_NE(qobject_cast<QPrintDialog*>(w), nullptr);
        qobject_cast<QDialog*>(w)->reject();
    });
    d->btnSetupPrinter->click();
    EXPECT_EQ(d->cboPrinters->currentText(), "UiPDF");
    EXPECT_FALSE(d->IsSaved());
    EXPECT_EQ(ApplicationPrinter(), "FilePDF");

    // Accepted with another printer: it becomes the current printer.
    test::WhenModal([](QWidget* w) {
        QComboBox* chosen = nullptr;
        for (QComboBox* c : w->findChildren<QComboBox*>())
            if (c->findText("EnginePDF") >= 0) chosen = c;
        ASSERT_NE(chosen, nullptr);
        chosen->setCurrentIndex(chosen->findText("EnginePDF"));
        qobject_cast<QDialog*>(w)->accept();
    });
    d->btnSetupPrinter->click();
    EXPECT_EQ(ApplicationPrinter(), "EnginePDF");
    EXPECT_EQ(d->cboPrinters->currentText(), "EnginePDF");
}

}  // namespace
}  // namespace mv::ui
