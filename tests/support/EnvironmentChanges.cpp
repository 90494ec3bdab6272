#include "tests/support/EnvironmentChanges.h"

#include <cstdlib>

EnvironmentChanges::~EnvironmentChanges()
{
    for (auto saved = m_saved.rbegin(); saved != m_saved.rend(); ++saved) {
        if (saved->second)
            setenv(saved->first.c_str(), saved->second->c_str(), 1);
        else
            unsetenv(saved->first.c_str());
    }
}

void EnvironmentChanges::set(const std::string& name, const std::string& value)
{
    const char* before = getenv(name.c_str());
    m_saved.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
}

void EnvironmentChanges::unset(const std::string& name)
{
    const char* before = getenv(name.c_str());
    m_saved.emplace_back(name, before ? std::optional<std::string>(before) : std::nullopt);
    unsetenv(name.c_str());
}
