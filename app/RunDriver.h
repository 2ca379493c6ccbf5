#pragma once

#include <iostream>

// Runs the whole batch from config.txt in the working directory; 0 after a
// complete run, -1 after a failed stage.
int RunCircog(std::ostream& console = std::cout);
