#pragma once
// Whole numbers on the simulator's command line: digits only, within bounds.

#include <string>

// Sets `value` and returns true when `text` is 1-12 decimal digits whose value
// lies in [low, high].
bool ParseOptionNumber(const std::string& text, long long low, long long high, long long& value);
