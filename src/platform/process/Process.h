#pragma once
// Starting after-run programs without a shell.
//
// An after-run entry names a program text (a program and perhaps some fixed
// arguments) and a file that is handed to it. The program text is cut into
// an argument vector the way a POSIX shell cuts words: blanks separate,
// single quotes keep everything literally, double quotes keep blanks and
// take a backslash only before " \ $ or `, and a backslash outside quotes
// keeps the next character literally. Nothing is expanded: no globbing, no
// variables, no command substitution, no redirection, no ";" or "|". The
// file is then appended as ONE further argument, verbatim, so a name with
// blanks or shell characters in it arrives exactly as written.
//
// A program is started with posix_spawnp (a bare name is looked up in PATH),
// with our environment and current directory, stdin from /dev/null, stdout
// and stderr shared with us and no other descriptor inherited. The caller
// waits for it a bounded time; one that is still running then goes on by
// itself and is reaped later by the process-wide TChildReaper, so no zombie
// is left behind.

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace mv {

// A program text that cannot be cut into arguments (an unmatched quote).
// The message quotes the text.
class EProcessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How long a job waits for one after-run program before going on.
inline constexpr std::chrono::milliseconds kProgramWait{5000};

// Cuts `text` into arguments as described above. Blank-only text gives an
// empty vector; "''" or "\"\"" give an empty argument. Throws EProcessError
// for an unmatched single or double quote.
std::vector<std::string> SplitProgramText(std::string_view text);

// What became of one program start.
struct TProgramOutcome {
    bool Started = false;       // a process was created
    std::string StartError;     // why not, when !Started (the system's error text)
    pid_t Pid = -1;             // when Started
    bool Finished = false;      // it ended within the wait (else it runs on, reaped later)
    bool Exited = false;        // Finished by exit(): ExitCode holds its status
    int ExitCode = 0;           // 0..255
    int Signal = 0;             // Finished and killed by this signal
    std::vector<std::string> Arguments;  // the argument vector used, argv[0] first

    // Not started, or finished with a non-zero status or by a signal. A
    // program still running after the wait has not failed (yet).
    bool Failed() const;
    // A short English reason for a failure, e.g. "No such file or directory",
    // "exit status 3", "killed by signal 9"; empty when not Failed().
    std::string Describe() const;
};

// Starts argv[0] with the given arguments and waits for it at most
// `maxWait`. Never throws for a program that cannot be started: the outcome
// says why. An empty vector or an empty argv[0] is reported as not started.
TProgramOutcome RunProgram(const std::vector<std::string>& argv,
                           std::chrono::milliseconds maxWait = kProgramWait);

// The after-run form: the arguments of `programText` (see SplitProgramText)
// followed by `fileArgument` as one argument. An empty `fileArgument` adds
// no argument (a printed report has no file to hand over). A program text
// that names no program, or has an unmatched quote, is reported as not
// started; the file is never run in place of a missing program.
TProgramOutcome RunProgram(std::string_view programText, std::string_view fileArgument,
                           std::chrono::milliseconds maxWait = kProgramWait);

}  // namespace mv
