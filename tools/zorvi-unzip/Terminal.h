// The terminal side of zorvi-unzip: questions on standard input, a progress bar
// on standard error.
#pragma once

#include <cstdio>
#include <string>

namespace zorvi::cli {

bool StdinIsTerminal();
bool StderrIsTerminal();
/// Standard output passes bytes unchanged (Windows translates line feeds otherwise).
void SetStandardOutputBinary();

/// Asks on standard error and reads a line; true for an answer beginning with y.
bool AskYesNo(const std::string& question);
/// Asks on standard error and reads a line without echoing it (where the system allows).
std::string AskPassword(const std::string& question);

/// A one-line bar redrawn in place on standard error.
class TProgressBar {
public:
    void Show(int percent);
    /// Removes the bar so that a normal line can be printed.
    void Clear();

private:
    bool shown_ = false;
    int last_ = -1;
};

} // namespace zorvi::cli
