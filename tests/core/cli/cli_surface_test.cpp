// velmor-cli against the built-in surface, the example libraries and a script surface: every
// printed number checked against the surface's own formula worked out here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace velmor::test {
namespace {

// The even asphere of examples/surfaces/even_asphere.c, term by term in the library's order.
struct EvenAsphere {
    double c = 0.25, k = 0.0;
    double a[9] = {};

    bool Sag(double x, double y, double* sag) const {
        const double r2 = x * x + y * y;
        const double arg = 1.0 - (1.0 + k) * c * c * r2;
        if (arg < 0.0) return false;
        double s = c * r2 / (1.0 + std::sqrt(arg));
        double power = r2;
        for (int i = 1; i <= 8; ++i) {
            s += a[i] * power;
            power *= r2;
        }
        *sag = s;
        return true;
    }
    // d sag / d(r2).
    double Slope(double r2) const {
        const double kc2 = (1.0 + k) * c * c, s = std::sqrt(1.0 - kc2 * r2);
        double d = c / (1.0 + s) + c * r2 * kc2 / (2.0 * s * (1.0 + s) * (1.0 + s));
        double power = 1.0;
        for (int i = 1; i <= 8; ++i) {
            d += i * a[i] * power;
            power *= r2;
        }
        return d;
    }
};

// The asphere's settings as --set arguments, and the same values for the formula.
std::vector<std::string> AsphereArgs(EvenAsphere* surface) {
    surface->c = 0.1;
    surface->k = -0.5;
    surface->a[1] = 0.001;
    surface->a[2] = -2e-5;
    return {"--lib", LibPath("even_asphere"), "--set", "cv=0.1",        "--set", "k=-0.5",
            "--set", "param[1]=0.001",        "--set", "param[2]=-2e-5"};
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::string Fixed6(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

TEST(CliSurfaceTest, InfoNamesTheSurfaceItsVersionAndItsElements) {
    REQUIRE_CLI();
    const CliRun builtIn = RunCli({"info"});
    ASSERT_EQ(builtIn.status, 0) << builtIn.err;
    Lines lines = ParseLines(builtIn.out);
    EXPECT_EQ(lines["source"], "built-in");
    EXPECT_EQ(lines["record_version"], "0");
    EXPECT_EQ(lines["name"], "Even Array");
    EXPECT_EQ(lines["gradient_index"], "0");
    EXPECT_EQ(lines["param[1]"], "Number X");
    EXPECT_EQ(lines["xdata[8]"], "16th Order Term");
    EXPECT_FALSE(lines.Has("param[0]"));  // unnamed elements are left out

    // A record version 2 library, and a gradient-index medium.
    lines = ParseLines(RunCli({"--lib", LibPath("xy_polynomial3"), "info"}).out);
    EXPECT_EQ(lines["source"], "library");
    EXPECT_EQ(lines["record_version"], "2");
    EXPECT_EQ(lines["name"], "XY Polynomial");
    EXPECT_EQ(lines["param[4]"], "X*Y");
    lines = ParseLines(RunCli({"--lib", LibPath("grin_medium"), "info"}).out);
    EXPECT_EQ(lines["gradient_index"], "1");

    const CliRun json = RunCli({"--json", "--lib", LibPath("even_asphere"), "info"});
    ASSERT_EQ(json.status, 0);
    const auto object = nlohmann::json::parse(json.out);
    EXPECT_EQ(object["command"], "info");
    EXPECT_EQ(object["name"], "Even Asphere");
    EXPECT_EQ(object["gradient_index"], false);
    EXPECT_EQ(object["param"]["param[8]"], "Coeff on r 16");
    EXPECT_TRUE(object["xdata"].empty());
}

TEST(CliSurfaceTest, SagIsTheLibrarysAnswerToTheLastBit) {
    REQUIRE_CLI();
    EvenAsphere surface;
    const std::vector<std::string> base = AsphereArgs(&surface);
    for (const auto& [x, y] :
         std::vector<std::pair<double, double>>{{0.5, 0.25}, {-3.75, 2.5}, {0, 0}}) {
        const CliRun run = RunCli(With(base, {"sag", Fixed6(x), Fixed6(y)}));
        ASSERT_EQ(run.status, 0) << run.err;
        const Lines lines = ParseLines(run.out);
        double expected = 0;
        ASSERT_TRUE(surface.Sag(x, y, &expected));
        EXPECT_EQ(lines["valid"], "1");
        // "%.17g" reads back as the very double the library computed.
        EXPECT_EQ(lines.Number("sag"), expected) << lines["sag"];
        EXPECT_EQ(lines.Number("x"), x);
    }

    // Where the conic has no real value the library fails the sample.
    const CliRun outside = RunCli(With(base, {"sag", "20", "20"}));
    EXPECT_EQ(outside.status, 1);
    EXPECT_EQ(ParseLines(outside.out)["valid"], "0");
    EXPECT_FALSE(ParseLines(outside.out).Has("sag"));

    const CliRun json = RunCli(With(base, {"--json", "sag", "1.5", "-2"}));
    double expected = 0;
    ASSERT_TRUE(surface.Sag(1.5, -2, &expected));
    EXPECT_EQ(nlohmann::json::parse(json.out)["sag"].get<double>(), expected);
}

TEST(CliSurfaceTest, SagGridWalksRowsByRepeatedAddition) {
    REQUIRE_CLI();
    EvenAsphere surface;
    const std::vector<std::string> base = AsphereArgs(&surface);

    // y outer, x inner; 0.1 added ten times stays below 1, so eleven columns.
    const CliRun run = RunCli(With(base, {"sag-grid", "0", "1", "-0.5", "0.5", "0.1", "0.5"}));
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::array<double, 3>> expected;
    for (double y = -0.5; y <= 0.5; y += 0.5) {
        for (double x = 0; x <= 1; x += 0.1) {
            double sag = 0;
            ASSERT_TRUE(surface.Sag(x, y, &sag));
            expected.push_back({x, y, sag});
        }
    }
    ASSERT_EQ(expected.size(), 33u);
    std::istringstream in(run.out);
    std::string line;
    std::size_t i = 0;
    while (std::getline(in, line)) {
        ASSERT_LT(i, expected.size());
        double x = 0, y = 0, sag = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf\t%lf\t%lf", &x, &y, &sag), 3) << line;
        EXPECT_EQ(x, expected[i][0]) << line;
        EXPECT_EQ(y, expected[i][1]) << line;
        EXPECT_EQ(sag, expected[i][2]) << line;
        ++i;
    }
    EXPECT_EQ(i, expected.size());

    // Failed samples are marked, and counted in JSON as nulls.
    const std::vector<std::string> sphere = {"--lib", LibPath("apertured_sphere"), "--set",
                                             "param[1]=1"};
    const CliRun holes = RunCli(With(sphere, {"sag-grid", "0", "2", "0", "0", "0.5", "1"}));
    ASSERT_EQ(holes.status, 0);
    EXPECT_NE(holes.out.find("1.5\t0\t-\n"), std::string::npos) << holes.out;
    EXPECT_NE(holes.out.find("1\t0\t0."), std::string::npos) << holes.out;
    const auto json = nlohmann::json::parse(
        RunCli(With(sphere, {"--json", "sag-grid", "0", "2", "0", "0", "0.5", "1"})).out);
    EXPECT_EQ(json["points"], 5);
    EXPECT_EQ(json["failed"], 2);
    EXPECT_TRUE(json["samples"][4][2].is_null());

    // A negative step samples nothing instead of running without end; a tiny one is taken as
    // the main window's fields take it, 0.001.
    const CliRun none = RunCli({"sag-grid", "0", "1", "0", "1", "-0.5", "0.5"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    const CliRun fine = RunCli({"sag-grid", "0", "0.0025", "0", "0", "1e-9", "1"});
    EXPECT_EQ(std::count(fine.out.begin(), fine.out.end(), '\n'), 3) << fine.out;
}

TEST(CliSurfaceTest, TraceMeetsTheSurfaceAndRefractsBySnellsLaw) {
    REQUIRE_CLI();
    EvenAsphere surface;
    const CliRun run = RunCli(With(AsphereArgs(&surface), {"trace"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines["return"], "0");
    EXPECT_EQ(lines["status"], "RayTrace : return code = 0");

    // The initial ray of the program: through (1, -0.5, 0) along (-0.25, 0.2, 0.947).
    const double x0 = 1.0, y0 = -0.5, l0 = -0.25, m0 = 0.2, n0 = 0.947;
    const double x = lines.Number("x"), y = lines.Number("y"), z = lines.Number("z");
    const double t = lines.Number("path");
    EXPECT_NEAR(x, x0 + t * l0, 1e-12);
    EXPECT_NEAR(y, y0 + t * m0, 1e-12);
    EXPECT_NEAR(z, t * n0, 1e-12);
    double sag = 0;
    ASSERT_TRUE(surface.Sag(x, y, &sag));
    EXPECT_NEAR(z, sag, 1e-11);

    // The normal from the sag's gradient, against +z.
    const double slope = surface.Slope(x * x + y * y);
    const double px = 2 * x * slope, py = 2 * y * slope, norm = std::sqrt(px * px + py * py + 1);
    const double normal[3] = {px / norm, py / norm, -1 / norm};
    EXPECT_NEAR(lines.Number("ln"), normal[0], 1e-12);
    EXPECT_NEAR(lines.Number("mn"), normal[1], 1e-12);
    EXPECT_NEAR(lines.Number("nn"), normal[2], 1e-12);

    // n1 (d_in x N) = n2 (d_out x N) with n1 = 1.0 and n2 = 1.5 of the records.
    const double in[3] = {l0, m0, n0};
    const double out[3] = {lines.Number("l"), lines.Number("m"), lines.Number("n")};
    auto cross = [&](const double* d, int i) {
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        return d[j] * normal[k] - d[k] * normal[j];
    };
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(1.0 * cross(in, i), 1.5 * cross(out, i), 1e-12);

    // A ray that misses the surface: the library's code comes back, with status 1.
    const CliRun miss = RunCli(With(AsphereArgs(&surface), {"--set", "x=30", "trace"}));
    EXPECT_EQ(miss.status, 1);
    EXPECT_EQ(ParseLines(miss.out)["return"], "-1");
    EXPECT_EQ(ParseLines(miss.out)["status"], "RayTrace : return code = -1 (error)");
}

TEST(CliSurfaceTest, CallShowsTheFinalRecordsAsTheTablesDo) {
    REQUIRE_CLI();
    EvenAsphere surface;
    const CliRun run = RunCli(With(
        AsphereArgs(&surface), {"--set", "type=3", "--set", "x=0.5", "--set", "y=0.25", "call"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const Lines lines = ParseLines(run.out);
    double sag = 0;
    ASSERT_TRUE(surface.Sag(0.5, 0.25, &sag));
    EXPECT_EQ(lines["return"], "0");
    EXPECT_EQ(lines["sag1"], Fixed6(sag));
    EXPECT_EQ(lines["cv"], "0.100000");
    EXPECT_EQ(lines["type"], "3");
    EXPECT_EQ(lines["string[20]"], "");
    // return, record_version, 22 USER_DATA rows, 227 FIXED_DATA rows, in catalogue order.
    ASSERT_EQ(lines.ordered.size(), 2u + 22u + 227u);
    EXPECT_EQ(lines.ordered[2].first, "x");
    EXPECT_EQ(lines.ordered[23].first, "string[20]");
    EXPECT_EQ(lines.ordered[24].first, "type");
    EXPECT_EQ(lines.ordered.back().first, "glass[21]");

    // Record version 3: 5734 FIXED_DATA rows, the last one datasurf_values[4800].
    const CliRun four = RunCli({"--lib", LibPath("entry4_only"), "--set", "type=3", "call"});
    const Lines fourLines = ParseLines(four.out);
    EXPECT_EQ(fourLines["record_version"], "3");
    ASSERT_EQ(fourLines.ordered.size(), 2u + 22u + 5734u);
    EXPECT_EQ(fourLines.ordered.back().first, "datasurf_values[4800]");

    // A failing request: its code and status 1.
    const CliRun fails =
        RunCli(With(AsphereArgs(&surface), {"--set", "type=3", "--set", "x=40", "call"}));
    EXPECT_EQ(fails.status, 1);
    EXPECT_EQ(ParseLines(fails.out)["return"], "-1");

    const auto json = nlohmann::json::parse(
        RunCli(With(AsphereArgs(&surface),
                    {"--json", "--set", "type=3", "--set", "x=0.5", "--set", "y=0.25", "call"}))
            .out);
    EXPECT_EQ(json["return"], 0);
    EXPECT_EQ(json["user_data"]["sag1"], Fixed6(sag));
    EXPECT_EQ(json["fixed_data"].size(), 227u);
}

TEST(CliSurfaceTest, SetWritesRowsThroughTheTableTextForm) {
    REQUIRE_CLI();
    // Text forms of every kind of row: a number stops at the comma, an exponent is read, a
    // char field takes its text, a version-2 row exists only in a version-2 library.
    const CliRun run = RunCli({"--lib", LibPath("xy_polynomial3"), "--set", "x=1,5", "--set",
                               "param[200]=1e3", "--set", "comment[200]=lens A", "--set",
                               "int_data=0x1000", "--set", "type=99", "call"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines["x"], "1.000000");
    EXPECT_EQ(lines["param[200]"], "1000.000000");
    EXPECT_EQ(lines["comment[200]"], "lens A");
    EXPECT_EQ(lines["int_data"], "0x0000000000001000");

    ExpectRefused(RunCli({"--set", "comment[200]=x", "call"}), "comment[200]");
    ExpectRefused(RunCli({"--set", "sag3=1", "info"}), "no row \"sag3\"");
    // A text the table would mend is refused: nothing is changed quietly.
    ExpectRefused(RunCli({"--set", "x=123456789012345678901234567890123", "call"}), "0.000000");
    ExpectRefused(RunCli({"--set", "string[20]=much longer than twenty bytes", "call"}),
                  "string[20]");
    ExpectRefused(RunCli({"--set", "novalue", "info"}), "NAME=TEXT");
}

TEST(CliSurfaceTest, IndexOfAGradientIndexMedium) {
    REQUIRE_CLI();
    // Safe data of the medium: n = 1.6 - 0.002 r^2 + 0.001 z.
    const CliRun run = RunCli({"--lib", LibPath("grin_medium"), "index", "1", "2", "3"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Lines lines = ParseLines(run.out);
    EXPECT_EQ(lines.Number("index"), 1.6 + -0.002 * (1.0 * 1.0 + 2.0 * 2.0) + 0.001 * 3.0);
    EXPECT_EQ(lines.Number("dndx"), 2.0 * -0.002 * 1.0);
    EXPECT_EQ(lines.Number("dndy"), 2.0 * -0.002 * 2.0);
    EXPECT_EQ(lines.Number("dndz"), 0.001);
}

TEST(CliSurfaceTest, ScriptSurfaceSamplesAndTracesTheScript) {
    REQUIRE_CLI();
    CliTempDir dir;
    const std::string script = dir.File("asphere.txt");
    WriteFile(script,
              "c = 0.1;\nk = -0.5;\nrr = x*x + y*y;\nA = 1.0 - (1.0+k)*c*c*rr;\n"
              "z = c*rr / (1.0 + sqrt(A));\n");
    EvenAsphere surface;
    surface.c = 0.1;
    surface.k = -0.5;

    const CliRun sag = RunCli({"--script", script, "sag", "2", "-1.5"});
    ASSERT_EQ(sag.status, 0) << sag.err;
    double expected = 0;
    ASSERT_TRUE(surface.Sag(2, -1.5, &expected));
    EXPECT_NEAR(ParseLines(sag.out).Number("sag"), expected, 1e-15);

    // The script has no index and answers no record requests.
    EXPECT_EQ(RunCli({"--script", script, "index", "0", "0", "0"}).status, 1);
    ExpectRefused(RunCli({"--script", script, "call"}), "interpreter mode");
    EXPECT_EQ(ParseLines(RunCli({"--script", script, "info"}).out)["source"], "script");

    // The ray meets the script's surface; with equal indices it goes on unbent, and the
    // --n1 / --n2 fields (not the records) set the refraction.
    const Lines same =
        ParseLines(RunCli({"--script", script, "--n1", "1.5", "--n2", "1.5", "trace"}).out);
    EXPECT_EQ(same["return"], "0");
    double hitSag = 0;
    ASSERT_TRUE(surface.Sag(same.Number("x"), same.Number("y"), &hitSag));
    EXPECT_NEAR(same.Number("z"), hitSag, 1e-6);  // located by bisection
    EXPECT_NEAR(same.Number("l"), -0.25, 1e-9);
    EXPECT_NEAR(same.Number("m"), 0.2, 1e-9);
    EXPECT_NEAR(same.Number("n"), 0.947, 1e-9);
    const Lines bent = ParseLines(RunCli({"--script", script, "--n2", "1.7", "trace"}).out);
    EXPECT_EQ(bent["return"], "0");
    EXPECT_GT(std::fabs(bent.Number("l") - -0.25), 1e-4);
    EXPECT_NEAR(bent.Number("x"), same.Number("x"), 1e-12);  // the same hit point

    // A script that does not compile has no code: interpreter mode is refused.
    const std::string broken = dir.File("broken.txt");
    WriteFile(broken, "z = = 1;\n");
    ExpectRefused(RunCli({"--script", broken, "sag", "0", "0"}), "no intermediate code");
}

}  // namespace
}  // namespace velmor::test
