#pragma once
#include <memory>
#include <vector>

#include "backup/BackupJob.h"
#include "backup/NotificationQueue.h"

namespace tharvel::test {

// Starts the job and returns its notifications once its job-done entry came,
// checking that the job-done entry comes last and only once.
std::vector<JobNotification> runJob(const std::shared_ptr<BackupJob>& job,
                                    const std::shared_ptr<NotificationQueue>& queue);

}  // namespace tharvel::test
