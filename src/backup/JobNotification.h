#pragma once
#include <cstdint>
#include <string>

namespace tharvel {

// What a backup job reports to the run that started it.
struct JobNotification {
    enum Code : int32_t {
        StepBegins = 0,    // text: what is being backed up
        JobFailed = 1,     // text: the error's message
        DatabaseDone = 2,  // the database step ended successfully
        Progress = 10,     // value: percent of the step in hand
        LogLine = 100,     // text: a result line for the log
    };

    int32_t code = 0;
    int32_t value = 0;
    std::string text;

    bool operator==(const JobNotification&) const = default;
};

}  // namespace tharvel
