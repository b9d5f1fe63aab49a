#include "ui/app/HelpViewer.h"

#include "core/runtime/StatusLog.h"
#include "platform/process/Process.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>

namespace mv::ui {

std::string HelpPage(int command) {
    switch (command) {
    case kHelpIndex: return "keywords.html";
    case kHelpTopicSetup: return "editing-groups.html";
    case kHelpTopicOutputFile: return "output-names.html";
    case kHelpTopicAfterRun: return "groups.html";
    default: return "index.html";
    }
}

std::vector<std::string> HelpCommandLine(const std::string& helpFile, int command,
                                         const std::function<std::string(const std::string&)>& findProgram) {
    if (QFileInfo::exists(QString::fromStdString(helpFile))) {
        for (const char* viewer : {"xchm", "kchmviewer"}) {
            const std::string path = findProgram(viewer);
            if (!path.empty()) return {path, helpFile};
        }
    }
    const auto slash = helpFile.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string("./") : helpFile.substr(0, slash + 1);
    const std::string page = dir + "help/" + HelpPage(command);
    const std::string opener = findProgram("xdg-open");
    if (opener.empty() || !QFileInfo::exists(QString::fromStdString(page))) return {};
    return {opener, page};
}

void OpenHelp(const std::string& helpFile, int command, TStatusLog& log) {
    const auto argv = HelpCommandLine(helpFile, command, [](const std::string& name) {
        return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
    });
    if (argv.empty()) {
        log.PostStatus("The help cannot be shown: neither " + helpFile +
                       " with a CHM viewer (xchm) nor the HTML help beside it with xdg-open is available.");
        return;
    }
    const TProgramOutcome outcome = RunProgram(argv, std::chrono::milliseconds(0));
    if (!outcome.Started) log.PostStatus("The help viewer " + argv[0] + " cannot be started: " + outcome.StartError);
}

}  // namespace mv::ui
