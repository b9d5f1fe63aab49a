#pragma once
// "&Help" and "&Contents": the help file beside the program, in a CHM
// viewer when one is installed, else the HTML help in the desktop's browser.

#include <functional>
#include <string>
#include <vector>

namespace mv {
class TStatusLog;
}

namespace mv::ui {

inline constexpr int kHelpTableOfContents = 1;
inline constexpr int kHelpIndex = 2;
// Topics the editor's controls carry; any other number shows the contents.
inline constexpr int kHelpTopicSetup = 13;
inline constexpr int kHelpTopicOutputFile = 17;
inline constexpr int kHelpTopicAfterRun = 18;

// The HTML page of the folder "help" that shows `command` (a command above
// or a topic number).
std::string HelpPage(int command);

// The command line that shows `helpFile` (".../MVVidUduzadev.chm") for
// `command`: a CHM viewer found by `findProgram` (a name to a full path, or
// empty) with the file; else xdg-open with the HTML help in the folder
// "help" beside it (index.html for the table of contents, keywords.html for
// the index, HelpPage for a topic). Empty when nothing can show it.
std::vector<std::string> HelpCommandLine(const std::string& helpFile, int command,
                                         const std::function<std::string(const std::string&)>& findProgram);

// Starts the viewer without a shell and without waiting for it; a failure
// is posted as a status message that says what to install.
void OpenHelp(const std::string& helpFile, int command, TStatusLog& log);

}  // namespace mv::ui
