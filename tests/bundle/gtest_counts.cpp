#include "tests/bundle/gtest_counts.h"

namespace {

// The value of attribute `name` in the text of one start tag, or empty.
// GoogleTest escapes quotes and angle brackets inside values.
std::string_view Attribute(std::string_view tag, std::string_view name)
{
    for (size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const bool wordStart = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\n');
        const size_t eq = at + name.size();
        if (!wordStart || tag.substr(eq, 2) != "=\"") continue;
        const size_t end = tag.find('"', eq + 2);
        if (end == std::string_view::npos) return {};
        return tag.substr(eq + 2, end - eq - 2);
    }
    return {};
}

struct Case {
    bool open = false;
    bool counted = false;
    bool failed = false;
    bool skipped = false;
};

void Close(Case& c, TestCounts& counts)
{
    if (c.open && c.counted) {
        if (c.failed) {
            ++counts.failed;
        } else if (c.skipped) {
            ++counts.skipped;
        } else {
            ++counts.passed;
        }
    }
    c = Case{};
}

}  // namespace

TestCounts CountTestReport(std::string_view xml, bool* complete)
{
    TestCounts counts;
    Case current;
    *complete = false;
    size_t at = 0;
    while ((at = xml.find('<', at)) != std::string_view::npos) {
        // A failure's message travels in CDATA and may hold any text, tags too.
        if (xml.substr(at, 9) == "<![CDATA[") {
            const size_t end = xml.find("]]>", at + 9);
            if (end == std::string_view::npos) break;
            at = end + 3;
            continue;
        }
        const size_t end = xml.find('>', at);
        if (end == std::string_view::npos) break;
        const std::string_view tag = xml.substr(at + 1, end - at - 1);
        at = end + 1;
        const size_t nameEnd = tag.find_first_of(" \t\r\n/", 1);  // an end tag starts with its '/'
        const std::string_view name = tag.substr(0, nameEnd);
        const bool selfClosing = !tag.empty() && tag.back() == '/';
        if (name == "testcase") {
            Close(current, counts);
            current.open = true;
            current.counted = Attribute(tag, "status") != "notrun";
            current.skipped = Attribute(tag, "result") == "skipped";
            if (selfClosing) Close(current, counts);
        } else if (name == "/testcase") {
            Close(current, counts);
        } else if (name == "failure") {
            current.failed = true;
        } else if (name == "skipped") {
            current.skipped = true;
        } else if (name == "/testsuites") {
            Close(current, counts);
            *complete = true;
        }
    }
    Close(current, counts);
    return counts;
}

TestCounts JudgeProgram(const std::string* xml, long exitCode)
{
    TestCounts counts;
    bool complete = false;
    if (xml) counts = CountTestReport(*xml, &complete);
    if (!complete || (exitCode != 0 && counts.failed == 0)) ++counts.failed;
    return counts;
}
