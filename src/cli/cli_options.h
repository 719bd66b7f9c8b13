// The command line of velmor-cli: the surface source, the record settings, the output form,
// and one command with its arguments.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmor::cli {

// Bad arguments or files: the program ends with status 2 and this one-line message. (A fault of
// the surface library ends it with status 3, see cli_host.h.)
class CliError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CliOptions {
    // --session FILE: a session applied before the source, the rows and the fields below.
    std::string sessionPath;
    std::string libraryPath;  // --lib PATH
    std::string scriptPath;   // --script FILE
    // --set NAME=TEXT, in the order given.
    std::vector<std::pair<std::string, std::string>> sets;
    bool hasN1 = false, hasN2 = false;
    double n1 = 1.0, n2 = 1.5;  // --n1 / --n2: the "n1" / "n2" fields of the main window
    // How the library runs: in the helper process (the default) with its time limit per call
    // and its data limit, or --in-process.
    bool inProcess = false;       // --in-process
    double timeoutSeconds = 60;   // --timeout SECONDS
    long long memoryMb = 4096;    // --memory-limit MB (0: no limit)
    bool fences = true;           // --no-fences: records in ordinary memory
    bool allowProcesses = false;  // --allow-processes
    bool json = false;
    bool help = false;
    std::string command;
    std::vector<std::string> arguments;  // everything after the command that is no global option
};

// Global options may stand before or after the command. Throws CliError.
CliOptions ParseCommandLine(int argc, char** argv);

// The text of --help.
const char* HelpText();

// A whole argument as a finite double ('.' decimal point, optional sign and exponent).
// Throws CliError naming `what` when it is not one.
double ParseNumber(const std::string& text, const char* what);
// A sample step as the main window's "delta" fields take it: a number whose magnitude is below
// 0.001 becomes 0.001; then a negative step throws CliError naming `what`.
double ParseStep(const std::string& text, const char* what);
// Refuses a reversed range [min, max] with CliError naming `what` ("--range XMIN XMAX"); an
// empty one too unless `allowEmpty` (a range of one sample).
void CheckRange(double min, double max, const char* what, bool allowEmpty);
// A whole argument as an int within [low, high]. Throws CliError naming `what`.
int ParseInteger(const std::string& text, const char* what, int low, int high);

}  // namespace velmor::cli
