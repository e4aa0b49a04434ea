// The test bundle's helper for run-tests.cmd, which needs nothing but cmd.exe:
//
//   bundle_tools system <file>                  writes the machine's facts
//   bundle_tools run <seconds> <program> <name> runs a test program
//   bundle_tools count <xml> <exit code> <name> prints "P F S <verdict line>"
//
// run starts the program with its report going to results\<name>.xml and its
// output to results\<name>.txt, ends it at the time limit, and exits with its
// exit code. count reads the report and prints the passed, failed and skipped
// counts for the batch file to add up, then the line it shows.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/bundle/gtest_counts.h"
#include "tests/bundle/run_program.h"
#include "tests/bundle/system_facts.h"

namespace {

int WriteSystem(const char* path)
{
    std::ofstream out(path, std::ios::binary);
    out << DescribeSystem();
    out.close();
    if (!out) {
        std::fprintf(stderr, "bundle_tools: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

// The arguments come from run-tests.cmd: a relative path and a name, ASCII.
std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

int Run(const char* secondsText, const std::string& program, const std::string& name)
{
    const unsigned long seconds = std::strtoul(secondsText, nullptr, 10);
    if (seconds == 0 || seconds > 24 * 3600) return 2;
    const std::wstring commandLine =
        L"\"" + Widen(program) + L"\" --gtest_output=xml:results\\" + Widen(name) + L".xml";
    return static_cast<int>(RunTestProgram(commandLine, L"results\\" + Widen(name) + L".txt", seconds));
}

int Count(const char* xmlPath, const char* exitText, const char* name)
{
    std::ifstream in(xmlPath, std::ios::binary);
    std::string xml;
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        xml = text.str();
    }
    const long exitCode = std::strtol(exitText, nullptr, 10);
    const TestCounts counts = JudgeProgram(in ? &xml : nullptr, exitCode);
    std::printf("%d %d %d %s %s: %d passed, %d failed, %d skipped", counts.passed, counts.failed, counts.skipped,
                counts.failed ? "FAIL" : "ok  ", name, counts.passed, counts.failed, counts.skipped);
    if (exitCode == kTimedOutExitCode) {
        std::printf(" (stopped at the time limit)");
    } else if (!in) {
        std::printf(" (exit code %ld, no test report: crashed or did not start)", exitCode);
    } else if (exitCode != 0) {
        std::printf(" (exit code %ld)", exitCode);
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "system" && argc == 3) return WriteSystem(argv[2]);
    if (command == "run" && argc == 5) return Run(argv[2], argv[3], argv[4]);
    if (command == "count" && argc == 5) return Count(argv[2], argv[3], argv[4]);
    std::fprintf(stderr, "usage: bundle_tools system <file>\n"
                         "       bundle_tools run <seconds> <program.exe> <name>\n"
                         "       bundle_tools count <report.xml> <exit code> <program name>\n");
    return 2;
}
