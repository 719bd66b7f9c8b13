// velmor-cli: the Velmor surface host without windows, for scripts and continuous
// integration. Every number it prints comes from the program's own code paths.
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <string>
#include <vector>

#include "core/app/windows_text.h"
#endif

#include "cli/cli_commands.h"
#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/cli_output.h"

int main(int argc, char** argv) {
    using namespace velmor::cli;
#ifdef SIGXFSZ
    // A file-size limit then shows as a failed write that the command reports, instead of
    // ending the program with a file cut short.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef _WIN32
    // The same bytes as on Linux ("\n" line ends), and the arguments in UTF-8 whatever the
    // system's code page.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    std::vector<std::string> words = velmor::CommandLineArguments();
    std::vector<char*> utf8;
    for (std::string& word : words) utf8.push_back(word.data());
    utf8.push_back(nullptr);
    argc = static_cast<int>(words.size());
    argv = utf8.data();
#endif
    try {
        const CliOptions options = ParseCommandLine(argc, argv);
        if (options.help) {
            PrintOut(HelpText());
            CloseStandardOutput();
            return 0;
        }
        const CommandFunction command = FindCommand(options.command);
        if (command == nullptr) {
            throw CliError("unknown command \"" + options.command + "\" (see --help)");
        }
        CliHost host;
        Output out(options.json, options.command);
        try {
            PrepareSurface(host, options);
            const int status = command(host, options.arguments, out);
            ThrowIfFaulted(host);
            out.Finish();
            CloseStandardOutput();
            return status;
        } catch (const CliFault& fault) {
            // What the library printed comes first, then the one line of the fault. The fault
            // decides the status; standard output that could not be written whole as well gets
            // its own line before it.
            host.libraryOutput.Finish();
            try {
                if (out.IsJson()) {
                    out.Object()["fault"] = FaultJson(fault.Fault());
                    if (!fault.Which().empty()) out.Object()["fault"]["library"] = fault.Which();
                }
                out.Finish();
                CloseStandardOutput();
            } catch (const OutputError& error) {
                std::fprintf(stderr, "velmor-cli: %s\n", error.what());
            }
            std::fprintf(stderr, "velmor-cli: library fault: %s\n",
                         EscapeControls(fault.what()).c_str());
            return 3;
        }
    } catch (const OutputError& error) {
        std::fprintf(stderr, "velmor-cli: %s\n", error.what());
        return 2;
    } catch (const CliError& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "velmor-cli: %s\n", EscapeControls(error.what()).c_str());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "velmor-cli: out of memory\n");
        return 2;
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "velmor-cli: %s\n", EscapeControls(error.what()).c_str());
        return 2;
    }
}
