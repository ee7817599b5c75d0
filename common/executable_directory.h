#pragma once
// Where the running program lies: the default electrode file sits beside it.

#include <string>

// The directory of the running executable, with a trailing "/".
std::string ExecutableDirectory();
