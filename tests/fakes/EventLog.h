#pragma once
// One ordered record of what the fakes saw, so that tests can check the order
// of status texts, messages and calls across objects.

#include <string>
#include <vector>

struct EventLog {
    std::vector<std::string> events;
    void Add(std::string event) { events.push_back(std::move(event)); }
};
