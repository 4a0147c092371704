#pragma once
#include <memory>
#include <vector>

#include "backup/NotificationQueue.h"
#include "backup/TBackUpThread.h"

namespace tharvel::test {

// Starts the job and returns its notifications once its job-done entry came,
// checking that the job-done entry comes last and only once.
std::vector<TNotifyStrunct> runJob(const std::shared_ptr<TBackUpThread>& job,
                                   const std::shared_ptr<NotificationQueue>& queue);

}  // namespace tharvel::test
