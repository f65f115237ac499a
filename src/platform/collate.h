// Locale-aware text comparison under the user's LC_COLLATE (the program calls
// setlocale(LC_COLLATE, "") once at start; tests run in the C locale unless
// they choose another).
#pragma once

#include <string>

namespace plinka::platform {

// <0, 0, >0 like strcmp, by the current collation. Case is significant.
int collate(const char* a, const char* b);

// A key whose byte order (strcmp) is the collation order of the text, so a
// sort can transform each text once and compare keys cheaply.
std::string collationKey(const char* text);

}  // namespace plinka::platform
