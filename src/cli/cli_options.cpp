#include "cli/cli_options.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "cli/cli_output.h"
#include "core/app/sample_step.h"

namespace velmor::cli {

namespace {

constexpr char kHelp[] =
    R"(Usage: velmor-cli [SOURCE] [--session FILE] [--set NAME=TEXT]... [--n1 V] [--n2 V] [--json]
                  [LIBRARY HOST] COMMAND [ARGS]

The Velmor surface host without windows: the same records, surface provider, built-in
surface, script engine, sampler, mesh builder, STL writers and model readers as the program.

Source (at most one; without either the built-in "Even Array" surface answers):
  --lib PATH         load a surface library as "Open DLL ..." does (the records are reset
                     and the library receives the safe-data request twice)
  --script FILE      compile a script file as the Compile command does and sample it
                     (interpreter mode); a script without intermediate code is refused

Session (a file the window's "Store INI ..." or store-session wrote):
  --session FILE     apply the session first, as the window's "Load INI ..." does: its
                     source (a missing LIBRARY is also looked for beside the session), its
                     [RECORDS] rows and its n1 / n2; --lib, --script, --set, --n1 and --n2 then
                     apply on top, in order, and views takes the session's fields as its
                     defaults. A file that is no session (no [SESSION], a VERSION above 1,
                     binary, over 16 MiB, no regular file) and any part of it that cannot be
                     applied (a missing library or script, a row the record version lacks, a
                     text a field cannot hold, an unknown key) are refused (status 2); a
                     library that faults while loading ends with status 3

Library host (a library runs in the helper process velmor-surface-host beside this program,
so a library that crashes, hangs or exits ends the command with status 3 instead of ending
this program; what the library prints goes to stderr, each line prefixed "library: "):
  --in-process       load the library into this program instead (a crash of the library is
                     then a crash of velmor-cli)
  --timeout SECONDS  stop the library when one of its calls has not returned after SECONDS
                     (default 60; the clock restarts whenever a call returns)
  --memory-limit MB  the helper's data limit in MiB (default 4096; 0 for none)
  --no-fences        call the library with its records in ordinary memory instead of between
                     fence pages (LIBRARY_HOST FENCES=0), for a library that must read past
                     its records to run at all
  --allow-processes  let the library start processes, at most 64 at once, all ended with
                     the helper (LIBRARY_HOST ALLOW_PROCESSES=1); by default every start fails

Records and settings:
  --set NAME=TEXT    write one row of the initial records by its table name (x, sag1,
                     string[20], type, numb, n1, cv, param[3], xdata[12], glass[21], ...) through
                     the tables' text form; applied in order after the source is loaded
  --n1 V, --n2 V     the main window's "n1" / "n2" fields (the script surface's indices)
  --json             print one JSON object per command instead of lines
  --help             print this text

Commands:
  info               record version, surface name, gradient-index flag, named param and
                     xdata elements
  call               "Call DLL": the initial records go to the surface with the request in
                     their type and numb; prints the return code and every final USER_DATA and
                     FIXED_DATA row in its table text form
  trace [--path]     the single real ray: return code, status text and the final x y z l m n
                     ln mn nn path. For a gradient-index surface the ray then goes on through
                     the medium by the ray equation (Runge-Kutta steps of param[1], "Delta T";
                     n and grad n from request 6) to the plane z = thic, or z = the display z
                     maximum (10 for the default ranges) when thic is not above 0:
                     medium_steps, medium_x medium_y medium_z (the end point), medium_l
                     medium_m medium_n (the unit direction there), medium_opl (the optical
                     path length, the integral of n ds) and medium_end: plane, index failed,
                     left range, turned back, step limit (1000000 steps) or step length (param[1]
                     not above 0); medium_message says why when it is not plane. --path then
                     prints one line "X<TAB>Y<TAB>Z<TAB>N" per point of the path (the start and
                     each step; "medium_path" in JSON)
  sag X Y            one sag sample
  index X Y Z        one index sample (index dndx dndy dndz)
                     A sample fails for a non-zero answer, and for a value that is no finite
                     number: such a value is printed as given ("nan", "inf"; null in JSON)
                     with valid 0
  sag-grid XMIN XMAX YMIN YMAX DX DY
                     sag samples row by row (y outer, x inner), each coordinate growing from
                     its minimum by repeated addition of its step while it does not pass the
                     maximum; one line "X<TAB>Y<TAB>SAG" per point, SAG "-" for a failed sample
  compile FILE       the output-box text of the Compile command (CR LF line ends)
  listing FILE       compile, then the output-box text of the intermediate-code listing
  stl OUT (--ascii|--binary) [--range XMIN XMAX YMIN YMAX] [--step DX DY] [--pattern 0..3]
      [--failed-at-zero]
                     build the surface mesh as "Save STL" does and write it; defaults: ranges
                     [-10, 10], 3D steps 0.05, pattern 0 ("right triangle 1"); prints the
                     triangle count and the steps used (enlarged when the mesh would pass one
                     million triangles), the samples taken and failed. A triangle with a
                     failed sample for a corner is left out ("N of M samples failed: their
                     triangles are left out"); when every sample failed no file is written
                     and the status is 1. --failed-at-zero keeps the full grid instead, the
                     failed samples at z = 0
  load FILE          read an STL (ASCII or binary) or OBJ file with the 3D window's readers;
                     prints vertex, normal, face, group and material counts
  views OUT.png [--size PIXELS] [--range XMIN XMAX YMIN YMAX] [--step DX DY]
        [--display XMIN XMAX YMIN YMAX] [--display-z ZMIN ZMAX] [--display-n NMIN NMAX]
                     read the records back through their table text (six decimals), trace
                     the ray, build the surface map and draw the main window's four views as
                     "Update 2D" does, into one PNG of PIXELS x PIXELS laid out as
                     the main window lays them out (default 800, 64 to 8192); prints the
                     trace's return code, the ray status and the cursor read-out.
                     The options are the main window's fields: --range the analysis "min" /
                     "max" x and y (default -10 10 -10 10), --step "delta 2D" (default 0.025
                     0.025), --display the "display min" / "display max" x and y, --display-z
                     the display z range, --display-n "display n min" / "display n max";
                     with --n1 / --n2 as given. The picture is the window's after typing the
                     same fields and pressing "Reset Zoom" and "Update 2D": display ranges
                     not given are what "Reset Zoom" shows for the analysis ranges (x and y
                     read back from their three-decimal fields; n stays -2 2)
  store-session OUT.ini
                     write the session of what the command line built: the source (paths made
                     absolute), the initial record rows that differ from a fresh load of it
                     (the --set rows among them), n1 / n2 and the fields of --session
  check [--range XMIN XMAX YMIN YMAX] [--only NAME,...]
                     the library check: a battery of checks on the surface, one line
                     NAME<TAB>pass|warn|fail|skip<TAB>DETAIL per check (see below)
  compare REF [--range XMIN XMAX YMIN YMAX] [--step DX DY] [--tolerance T]
                     the surface against a reference: one line
                     QUANTITY<TAB>same|differs|skip<TAB>DETAIL per quantity (see below)
  snapshot OUT.json [--range XMIN XMAX YMIN YMAX] [--step DX DY]
                     write the answers compare uses into a snapshot file, to compare with
                     later ("compare OUT.json")

The library check runs in a helper process of its own (also with --in-process), with the
initial records as --set left them, over the ranges [-10, 10] (or --range) on a grid of
41 x 41 points; --only runs the named checks (comma-separated), in this order:
  name       request 0/0 answers 0 with printable code page 932 text terminated within 20 bytes
  names      every param and xdata name answer is terminated (warn: two elements share a name)
  safe-data  request 7 answers 0 and twice the same bytes; names the fields it sets
  records    requests 0/0, 0/2, 1, 2, 3, 4, 5 and 6 leave FIXED_DATA unchanged and write
             nothing past USER_DATA or the version's FIXED_DATA (warn: USER_DATA bytes 188-191)
  sag        request 3 on the grid: no success with a sag that is not finite (warn: a jump
             above 100 times the median of the neighbour differences)
  trace      request 5 from every grid point at z = 0 along the initial direction and three
             tilted ones: (a) hit on the ray, (b) path = distance to the hit, (c) hit on the
             sag, (d) unit normal parallel to the sag's normal (central differences of
             request 3), (e) unit outgoing direction in the plane of incidence obeying Snell's
             law with n1 and n2 (the law of reflection when n2 < 0; not for a gradient-index
             surface)
  paraxial   request 4 against request 5 for rays parallel to the axis 1e-4 of the range from
             it (warn)
  index      a gradient-index surface only: request 6 on 21 x 21 x 5 points between the sag and
             z = thic (or 1): finite, dndx dndy dndz against central differences of index
  medium     a gradient-index surface only: 41 rays across x and 41 across y (request 5 from
             z = 0 along the initial direction) through the medium as trace follows them, with
             the step param[1] and with half of it: request 6 answers along each path (fail),
             |T| stays n(R) where the drift does not fall with the step (fail: the gradient does
             not belong to the index), the end points of the two agree (warn: the step is too
             long for the gradient; also when |T| drifts by the step's own error)
  repeat     the same requests again in reverse order answer the same bit for bit
  threads    the sag and trace requests from 8 threads at once, 5 times each, answer as on one
             thread bit for bit (skip when the answers already change on one thread)
  speed      median and slowest time per call of requests 3, 5 and 6 (information)
Tolerances: positions and path 1e-9 x max(1, half the diagonal of the ranges); unit length,
Snell's law, plane of incidence and law of reflection 1e-9; normal direction 1e-6 rad
(parallel or antiparallel); index gradient 1e-4 relative; paraxial directions 1e-6; medium:
end points 1e-6 x the medium's depth, |T| against n(R) 1e-6 relative, paths of more than 50000
steps left out (warn); the medium's rays end at z = thic, or at the display z maximum "Reset
Zoom" gives for the ranges (10 for the default ones). A script (--script) runs only sag,
repeat and speed. A library that faults during a check (a signal, an exit, the time limit)
fails that check, is loaded again and the other checks go on. check
exits with 1 when a check failed (warnings do not count), with 3 when the library faulted
while loading. With --json: {"checks": [{"name", "result", "detail", "example": null or {"x",
"y", "z", "l", "m", "n" (the inputs of the request that failed), "expected", "got" (numbers,
arrays for vectors)}}], "summary": {"pass", "warn", "fail", "skip"}}.

compare sets the surface against REF, told apart by its content: a surface library (.so or
.dll, loaded as --lib loads one, in a helper process of its own, its records then given the
rows --set changed where its record version has them, mapped by name), a snapshot file, or
else a script (compiled as --script compiles one; --n1 / --n2 are its indices). Over the
analysis ranges and 2D steps (default -10 10 -10 10 and 0.025 0.025; a snapshot's own unless
--range / --step are given, and a snapshot of other ranges or steps is refused), in order:
  record-version, name, names, safe-data, rows
             what the records say: the record version, the name, the param and xdata names,
             the rows the safe-data request sets, the rows changed since the load (a reference
             library lists those its record version lacks); information, never a failure
  sag        every grid point: both answering, surface minus reference; answered by one side
             only, counted and the first named
  trace-result, trace-hit, trace-normal, trace-direction, trace-path
             the library check's ray set (its 41 x 41 grid along the initial direction and three
             tilted ones): the return codes, the distance between the hit points, the angle
             between the normals and between the outgoing directions, path; skipped when
             either side is a script (its trace leaves the normal at 0 by design)
  index, gradient
             a gradient-index surface: request 6 on the library check's slab (the surface's sag
             under its 21 x 21 grid, 5 levels up to thic or 1)
Each numeric line: the points compared, the largest difference and where, the RMS, the count
beyond the tolerance and what one side alone answered. Tolerances: positions (sag, hit, path)
1e-9 x max(1, half the diagonal of the ranges), directions 1e-9 rad, index and gradient 1e-9
relative (over max(1, |the reference's value|)); --tolerance T sets the position tolerance and
scales the others with it. compare exits with 1 when a quantity that is no information
differs, with 3 when either library faults (a fault of the reference names it so; in JSON the
"fault" object then has "library": "the reference library"). With --json, the library check's
shape: {"reference": {"path", "kind"}, "ranges", "tolerances": {"position", "angle",
"relative"}, "checks": [{"name", "result", "detail", "example" (null, or where the largest
difference lies: "x", "y", "z", "l", "m", "n" and the reference's value as "expected", the
surface's as "got", arrays for vectors), "information", and for the numeric ones "compared",
"largest", "rms", "tolerance", "beyond", "one_sided", "first_one_sided" (null or {"x", "y",
...}), "first_one_sided_by"}], "summary": {"same", "differs", "skip"}, "differs"}.

snapshot writes a JSON file (format "velmor-snapshot", version 1) with the surface's kind and
path, the ranges, what the records say, the sag grid (x, y, an ok digit and the sag of every
point), the ray set's answers, the index slab and the ray of the initial records. Numbers are
written so that they read back bit for bit; a value that is no finite number is null, its
place and bits listed under "nonfinite".

Numbers: a whole argument each ('.' decimal point). Ranges and steps are then taken as the
main window's fields take them: a step below 0.001 in magnitude becomes 0.001; a negative
step, or a range whose minimum is above its maximum, is refused (status 2) naming the
argument. A range may be a single value (one sample), except a display range.

Output: one NAME<TAB>VALUE line per value; doubles with "%.17g"; control characters inside
texts are written as \t, \n, \r or \xHH. compile and listing print the output-box text itself.

Exit status: 0 success; 1 when call or trace got a non-zero return code (printed), when
the trace's output is no finite number, when the path through a gradient-index medium ended
with index failed or step length, when sag or index failed its sample, when compile or listing
found no usable code, when a check failed, or when compare found a difference; 2 bad arguments
or files, or output that could not be written whole (standard output, the STL or PNG file),
with one line on stderr;
3 the library faulted (a signal such as SIGSEGV, an exit inside a call, or no answer within
the time limit; a read or write past one of its records, Velmor's shared memory overwritten,
the helper's connection to Velmor lost), also while loading, with one line on stderr naming
the fault, the request (type, numb and name) and its inputs x y z l m n; with --json the
printed object then carries "fault": {"kind": "signal"|"exit"|"timeout"|"stopped"|"host"|
"exception"|"record_overrun"|"shared_memory"|"connection", "signal": "SIGSEGV" or null,
"code": the signal number or exit status or null, "request", "numb", "request_name", "x",
"y", "z", "l", "m", "n" (null when the library overwrote them), "message"}, and for
"record_overrun" also "record": "USER_DATA"|"FIXED_DATA", "offset": the byte touched from
the record's first (negative before it), "access": "read"|"write"|"unknown".

Files: inputs must be regular files (a named pipe or device is refused, never waited on).
An output file replaces its target only once it is written whole; a target that exists and
is no regular file (a device such as /dev/null, a pipe, a directory) is refused.
)";

// Options that take one value, and the switches, wherever they stand.
bool TakesValue(std::string_view option) {
    return option == "--session" || option == "--lib" || option == "--script" ||
           option == "--set" || option == "--n1" || option == "--n2" || option == "--timeout" ||
           option == "--memory-limit";
}

// The longest time limit and data limit accepted: about eleven days and 1 TiB.
constexpr double kMaxTimeoutSeconds = 1e6;
constexpr int kMaxMemoryMb = 1 << 20;

}  // namespace

const char* HelpText() {
    return kHelp;
}

double ParseNumber(const std::string& text, const char* what) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    double value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
        throw CliError(std::string(what) + ": not a number: \"" + text + "\"");
    }
    return value;
}

double ParseStep(const std::string& text, const char* what) {
    const double step = LimitSampleStep(ParseNumber(text, what));
    if (step < 0) {
        throw CliError(std::string(what) + ": a step must not be negative, got \"" + text + "\"");
    }
    return step;
}

void CheckRange(double min, double max, const char* what, bool allowEmpty) {
    if (min < max || (allowEmpty && min == max)) return;
    throw CliError(std::string(what) + ": " + (min > max ? "reversed" : "empty") + " range from " +
                   FormatDouble(min) + " to " + FormatDouble(max));
}

int ParseInteger(const std::string& text, const char* what, int low, int high) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || error != std::errc() || stop != end || value < low || value > high) {
        throw CliError(std::string(what) + ": expected a whole number from " + std::to_string(low) +
                       " to " + std::to_string(high) + ", got \"" + text + "\"");
    }
    return value;
}

CliOptions ParseCommandLine(int argc, char** argv) {
    CliOptions options;
    bool haveCommand = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--help" || word == "-h") {
            options.help = true;
            continue;
        }
        if (word == "--json") {
            options.json = true;
            continue;
        }
        if (word == "--in-process") {
            options.inProcess = true;
            continue;
        }
        if (word == "--no-fences") {
            options.fences = false;
            continue;
        }
        if (word == "--allow-processes") {
            options.allowProcesses = true;
            continue;
        }
        if (TakesValue(word)) {
            if (i + 1 >= argc) throw CliError(word + " needs a value");
            const std::string value = argv[++i];
            if (word == "--session") {
                if (!options.sessionPath.empty()) throw CliError("--session given twice");
                if (value.empty()) throw CliError("--session needs a path");
                options.sessionPath = value;
            } else if (word == "--lib") {
                if (!options.libraryPath.empty()) throw CliError("--lib given twice");
                if (value.empty()) throw CliError("--lib needs a path");
                options.libraryPath = value;
            } else if (word == "--script") {
                if (!options.scriptPath.empty()) throw CliError("--script given twice");
                if (value.empty()) throw CliError("--script needs a path");
                options.scriptPath = value;
            } else if (word == "--set") {
                const std::size_t equals = value.find('=');
                if (equals == std::string::npos || equals == 0) {
                    throw CliError("--set needs NAME=TEXT, got \"" + value + "\"");
                }
                options.sets.emplace_back(value.substr(0, equals), value.substr(equals + 1));
            } else if (word == "--timeout") {
                options.timeoutSeconds = ParseNumber(value, "--timeout");
                if (!(options.timeoutSeconds > 0) || options.timeoutSeconds > kMaxTimeoutSeconds) {
                    throw CliError(
                        "--timeout: expected seconds above 0 and at most 1000000, got \"" + value +
                        "\"");
                }
            } else if (word == "--memory-limit") {
                options.memoryMb = ParseInteger(value, "--memory-limit", 0, kMaxMemoryMb);
            } else if (word == "--n1") {
                options.n1 = ParseNumber(value, "--n1");
                options.hasN1 = true;
            } else {
                options.n2 = ParseNumber(value, "--n2");
                options.hasN2 = true;
            }
            continue;
        }
        if (!haveCommand) {
            if (word.size() > 1 && word[0] == '-') throw CliError("unknown option " + word);
            options.command = word;
            haveCommand = true;
        } else {
            options.arguments.push_back(word);
        }
    }
    if (!options.libraryPath.empty() && !options.scriptPath.empty()) {
        throw CliError("--lib and --script exclude each other: choose one surface source");
    }
    if (!haveCommand && !options.help) throw CliError("no command given (see --help)");
    return options;
}

}  // namespace velmor::cli
