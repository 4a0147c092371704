#include "support/RunJob.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tharvel::test {

std::vector<JobNotification> runJob(const std::shared_ptr<BackupJob>& job,
                                    const std::shared_ptr<NotificationQueue>& queue) {
    job->Start();
    std::vector<JobNotification> notes;
    for (bool done = false; !done;) {
        queue->WaitForEntries(std::chrono::seconds(1));
        for (auto& entry : queue->TakeAll()) {
            EXPECT_FALSE(done) << "entry after the job-done entry";
            if (entry.jobDone)
                done = true;
            else
                notes.push_back(entry.note);
        }
    }
    EXPECT_TRUE(job->Finished());
    return notes;
}

}  // namespace tharvel::test
