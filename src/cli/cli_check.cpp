// velmor-cli check: the library check on the surface the source options chose.
#include <algorithm>
#include <cmath>

#include "cli/cli_commands.h"
#include "core/check/library_check.h"

namespace velmor::cli {

namespace {

constexpr const char* kUsage = "check [--range XMIN XMAX YMIN YMAX] [--only NAME,...]";

Json NumberJson(double value) {
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

// One value as a number, a vector as an array, nothing as null.
Json ValuesJson(const std::vector<double>& values) {
    if (values.empty()) return nullptr;
    if (values.size() == 1) return NumberJson(values[0]);
    Json array = Json::array();
    for (double value : values) array.push_back(NumberJson(value));
    return array;
}

Json ExampleJson(const std::optional<CheckExample>& example) {
    if (!example) return nullptr;
    const CheckExample& e = *example;
    Json object = Json::object();
    const std::pair<const char*, double> inputs[] = {{"x", e.x}, {"y", e.y}, {"z", e.z},
                                                     {"l", e.l}, {"m", e.m}, {"n", e.n}};
    for (const auto& [name, value] : inputs) object[name] = NumberJson(value);
    object["expected"] = ValuesJson(e.expected);
    object["got"] = ValuesJson(e.got);
    return object;
}

std::vector<std::string> CheckList(const std::string& text) {
    std::vector<std::string> names;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string name = text.substr(from, comma - from);
        if (!IsCheckName(name)) {
            std::string known;
            for (const char* check : kCheckNames) {
                if (!known.empty()) known += ", ";
                known += check;
            }
            throw CliError("--only: no check named \"" + name + "\" (the checks: " + known + ")");
        }
        names.push_back(name);
        if (comma == std::string::npos) return names;
        from = comma + 1;
    }
}

}  // namespace

int RunCheck(CliHost& host, const Arguments& args, Output& out) {
    CheckInput input;
    input.xmin = host.settings.xmin;
    input.xmax = host.settings.xmax;
    input.ymin = host.settings.ymin;
    input.ymax = host.settings.ymax;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--range") {
            if (i + 4 >= args.size()) {
                throw CliError(std::string("--range needs four numbers; usage: ") + kUsage);
            }
            input.xmin = ParseNumber(args[++i], "--range XMIN");
            input.xmax = ParseNumber(args[++i], "--range XMAX");
            input.ymin = ParseNumber(args[++i], "--range YMIN");
            input.ymax = ParseNumber(args[++i], "--range YMAX");
            CheckRange(input.xmin, input.xmax, "--range XMIN XMAX", false);
            CheckRange(input.ymin, input.ymax, "--range YMIN YMAX", false);
        } else if (word == "--only") {
            if (i + 1 >= args.size()) throw CliError("--only needs a list of checks");
            input.only = CheckList(args[++i]);
        } else {
            throw CliError("check: unexpected argument \"" + word + "\"; usage: " + kUsage);
        }
    }
    // The medium's rays end at the display z maximum "Reset Zoom" gives for the ranges (unless
    // thic is above 0).
    input.displayZMax = std::max({10.0, input.xmax, input.ymax});
    switch (host.source) {
        case SurfaceSource::kLibrary:
            input.source = CheckSource::kLibrary;
            break;
        case SurfaceSource::kScript:
            input.source = CheckSource::kScript;
            break;
        default:
            input.source = CheckSource::kBuiltIn;
            break;
    }
    input.libraryPath = host.sourcePath;
    input.helperPath = host.provider.LibraryHost().helperPath;
    input.wine = host.provider.LibraryHost().wine;
    input.limits = host.provider.LibraryHost().limits;
    input.outputSink = &host.libraryOutput;
    input.engine = &host.engine;
    input.initial = &host.provider.Initial();
    input.recordVersion = host.provider.RecordVersion();

    const CheckReport report = RunLibraryCheck(input);
    if (report.loadFault) throw CliFault(*report.loadFault);
    if (!report.loaded) throw CliError("check: " + report.loadError);
    if (out.IsJson()) {
        Json checks = Json::array();
        for (const CheckResult& check : report.checks) {
            checks.push_back({{"name", check.name},
                              {"result", CheckOutcomeText(check.outcome)},
                              {"detail", check.detail},
                              {"example", ExampleJson(check.example)}});
        }
        out.Object()["checks"] = std::move(checks);
        out.Object()["summary"] = {{"pass", report.pass},
                                   {"warn", report.warn},
                                   {"fail", report.fail},
                                   {"skip", report.skip}};
    } else {
        for (const CheckResult& check : report.checks) {
            out.Raw(check.name + "\t" + CheckOutcomeText(check.outcome) + "\t" +
                    EscapeControls(check.detail) + "\n");
        }
    }
    return report.fail > 0 ? 1 : 0;
}

}  // namespace velmor::cli
