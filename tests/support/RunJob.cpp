#include "support/RunJob.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tharvel::test {

std::vector<JobNotification> runJob(const std::shared_ptr<BackupJob>& job,
                                    const std::shared_ptr<NotificationQueue>& queue) {
    job->start();
    std::vector<JobNotification> notes;
    for (bool done = false; !done;) {
        queue->waitForEntries(std::chrono::seconds(1));
        for (auto& entry : queue->takeAll()) {
            EXPECT_FALSE(done) << "entry after the job-done entry";
            if (entry.jobDone)
                done = true;
            else
                notes.push_back(entry.note);
        }
    }
    EXPECT_TRUE(job->finished());
    return notes;
}

}  // namespace tharvel::test
