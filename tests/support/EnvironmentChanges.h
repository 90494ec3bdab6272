// Variables of the test process's environment changed for a test and put back at its end.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

class EnvironmentChanges {
public:
    EnvironmentChanges() = default;
    ~EnvironmentChanges();
    EnvironmentChanges(const EnvironmentChanges&) = delete;
    EnvironmentChanges& operator=(const EnvironmentChanges&) = delete;

    void set(const std::string& name, const std::string& value);
    void unset(const std::string& name);

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};
