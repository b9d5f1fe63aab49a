#pragma once

#include <stdexcept>
#include <string>

namespace mv {

// A failure of the report engine or of the binding's own checks. The
// message reads "Error:" followed by the number, one blank and the text,
// e.g. "Error:114 Report not found". Engine texts end with a line naming
// the failed call, e.g. "Execute <REStartPrintJob>"; lines are separated
// by CR LF.
class ERpeError : public std::runtime_error {
public:
    ERpeError(int number, const std::string& text)
        : std::runtime_error("Error:" + std::to_string(number) + " " + text),
          FNumber(number),
          FText(text) {}
    int Number() const { return FNumber; }
    const std::string& Text() const { return FText; }

private:
    int FNumber;
    std::string FText;
};

}  // namespace mv
