// What run-tests.cmd records about the machine it ran on (results\system.txt),
// so that a report sent back tells which Windows, code page, display scaling
// and locale the results came from, and whether they came from Wine.
#pragma once

#include <string>

// The facts as CRLF-ended "Name: value" lines of ASCII text.
std::string DescribeSystem();
