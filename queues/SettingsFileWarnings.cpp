#include "queues/SettingsFileWarnings.h"

#include "queues/QueueSettings.h"

namespace {

const char* kindOf(bool isString)
{
    return isString ? "a string" : "an integer";
}

}

std::vector<std::string> settingsFileWarnings(const std::string& path, const StandIn::SettingsFileReading& reading)
{
    std::vector<std::string> warnings = reading.warnings;
    for (const auto& item : reading.items) {
        if (QueueSettings::isPaneEntry(item.key) && item.isString != QueueSettings::readsAsString(item.key))
            warnings.push_back(path + ": key \"" + item.key + "\" holds " + kindOf(item.isString) + " where the pane reads " + kindOf(!item.isString)
                + "; the pane takes it as absent");
    }
    return warnings;
}
