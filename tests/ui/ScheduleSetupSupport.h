#pragma once
// What the group editor tests share: a report chooser of our own with the
// entries of a real catalog file, message boxes answered from a script, and
// a fixture that opens the editor on a container.

#include "core/catalog/ReportCatalog.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/timing/Clock.h"
#include "ui/app/MessageBoxes.h"
#include "ui/setup/ReportChooser.h"
#include "ui/setup/ScheduleSetup.h"

#include <QComboBox>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

namespace mv::ui::test {

// Picks the report it is told to, and "discovers" the parameters listed for
// a report key in Files (a key not listed stands for a missing report file,
// which leaves both lists as they were). Discovery follows the selection
// window's rules: special names go to the special list or nowhere, linked
// parameters are not offered, values of parameters still declared are kept,
// the others dropped.
class TTestChooser final : public IReportChooser {
public:
    struct TParam {
        std::string Name;
        bool Linked = false;
    };

    bool ChooseReport() override {
        ++Choices;
        if (!Pick) return false;
        FSelected = *Pick;
        return true;
    }
    const TReportItem& SelectedReport() const override { return FSelected; }
    void DiscoverReportParameters(const TReportItem& entry, std::vector<std::string>& params,
                                  std::vector<std::string>& special) override {
        ++Discoveries;
        const auto file = Files.find(entry.Key);
        if (file == Files.end()) return;
        std::vector<std::string> seen;
        for (const TParam& p : file->second) {
            seen.push_back(Lower(p.Name));
            const bool isSpecial = (entry.TimeRange && (p.Name == "StartTime" || p.Name == "EndTime")) ||
                                   (entry.SiteLists && p.Name == "SiteList") ||
                                   (entry.SensorLists && p.Name == "SensorList") || p.Name == kReportTimeParam;
            if (p.Name == kReportTimeParam) {
                if (std::find(special.begin(), special.end(), p.Name) == special.end()) special.push_back(p.Name);
            } else if (!isSpecial && !p.Linked &&
                       std::none_of(params.begin(), params.end(),
                                    [&](const std::string& l) { return NameOf(l) == Lower(p.Name); })) {
                params.push_back(p.Name + "=");
            }
        }
        std::erase_if(params, [&](const std::string& l) {
            return std::find(seen.begin(), seen.end(), NameOf(l)) == seen.end();
        });
    }

    std::optional<TReportItem> Pick;  // none: the window is cancelled
    std::map<std::string, std::vector<TParam>> Files;
    int Choices = 0;
    int Discoveries = 0;

private:
    static std::string Lower(std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    static std::string NameOf(const std::string& line) { return Lower(line.substr(0, line.find('='))); }

    TReportItem FSelected;
};

// Records every message box and answers from Answers, then with Ok.
class TScriptedBoxes {
public:
    TScriptedBoxes() {
        FOld = SetMessageHandler([this](const TMessageRequest& r) {
            Requests.push_back(r);
            if (Answers.empty()) return QMessageBox::Ok;
            const QMessageBox::StandardButton a = Answers.front();
            Answers.pop_front();
            return a;
        });
    }
    ~TScriptedBoxes() { SetMessageHandler(FOld); }
    QStringList Texts() const {
        QStringList t;
        for (const TMessageRequest& r : Requests) t << r.Text;
        return t;
    }

    std::deque<QMessageBox::StandardButton> Answers;
    std::vector<TMessageRequest> Requests;

private:
    TMessageHandler FOld;
};

inline constexpr const char* kSavePrompt = "Save all current parameters?";

class SetupFixture : public ::testing::Test {
protected:
    TReportItem Report(const std::string& key) const {
        TReportItem r;
        Catalog.FindReport(key, r);
        return r;
    }
    // A group as the schedule file would have loaded it.
    TVidUduzadevGroupItem& AddGroup(int number, const std::string& reportKey = "DailyRain") {
        auto g = std::make_unique<TVidUduzadevGroupItem>();
        g->RGIndex = number;
        g->GroupName = "RptSchGroup:" + std::to_string(number);
        g->Report = Report(reportKey);
        g->AfterRun = "after-" + std::to_string(number);
        return Groups.Add(std::move(g));
    }
    std::unique_ptr<TfrmOptionSetup> Open() {
        auto d = std::make_unique<TfrmOptionSetup>(nullptr, Groups, Chooser,
                                                   [this](int topic) { HelpTopics.push_back(topic); });
        d->show();
        return d;
    }
    static QStringList SelectorTexts(const TfrmOptionSetup& d) {
        QStringList t;
        for (int i = 0; i < d.cbxGroup->count(); ++i) t << d.cbxGroup->itemText(i);
        return t;
    }

    TSimulatedClock Clock{EncodeDateTime(2024, 3, 1, 10, 35, 20, 0)};  // a Friday after the leap day
    TScopedClock UseClock{Clock};
    TReportCatalog Catalog{MV_TEST_DATA_DIR "/setup"};
    TVidUduzadevGroups Groups;
    TTestChooser Chooser;
    TScriptedBoxes Boxes;
    std::vector<int> HelpTopics;
};

}  // namespace mv::ui::test
