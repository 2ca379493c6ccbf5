#pragma once

#include <iostream>

// Runs the whole batch from config.txt in the working directory; 0 after a
// complete run, -1 after a failed stage, when memory ran out, or when the
// console could not be written (said on errors).
int RunCircog(std::ostream& console = std::cout, std::ostream& errors = std::cerr);
