#pragma once
// Where the terminal front end's password comes from. Never the command line:
// arguments are visible to every user of the machine.

#include <istream>
#include <optional>
#include <string>

// Longest password read from a stream; more is refused rather than read forever.
inline constexpr std::size_t kMaxPasswordLength = 4096;

// The first line of `in`, without its line end ("\n" or "\r\n"); no line end at
// all is fine, and an empty stream gives the empty password. Unset when the
// line is longer than kMaxPasswordLength.
std::optional<std::string> ReadPasswordLine(std::istream& in);

// Asks on the controlling terminal with echo off. Unset when the process has no
// terminal to ask on.
std::optional<std::string> AskPasswordOnTerminal(const std::string& prompt);
